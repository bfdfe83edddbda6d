#pragma once
// What the parts of libplexo share and hosts do not see.

#include <plexo/ClassSystem.hpp>

#include <vector>

namespace plexo::detail {

// Makes `client` the current one for the scope.
class ClientScope {
public:
    explicit ClientScope(Client& client) noexcept;
    ClientScope(const ClientScope&) = delete;
    ClientScope& operator=(const ClientScope&) = delete;
    ~ClientScope();

private:
    Client* m_previous;
};

// Checks the count of inputs against the signature, invokes, and returns the outputs the method
// produced (at most max(nOutputs, 1)). `underConstruction` (taken over) is output 0 when the call begins.
// Every failure leaves as a HostError.
std::vector<Array> invokeMethod(PlexoMethodInfo& method, int nOutputs, int nInputs,
                                const HostArray* const* inputs, HostArray* underConstruction = nullptr);

}  // namespace plexo::detail
