// The initialisation export the host calls after loading the library, and the instantiations of the
// host's string-array template that the library exports for hosts handing lists of names across.

#include <arvelle/scripting/Namespaces.hpp>

#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>

namespace {

// The one-time guard: the first caller registers while later ones wait; a failure leaves it open.
std::mutex g_guard;
bool g_registered = false;

}  // namespace

extern "C" void QorinInitialize_arvelle() {
    if (plexo::omGetPlexoUsingUSM()) {
        tav::fenmo::qorin::registerScriptingNamespaces();
        return;
    }
    std::unique_lock<std::mutex> lock;
    try {
        lock = std::unique_lock<std::mutex>(g_guard);
    } catch (const std::system_error&) {
        std::abort();  // the guard itself failed: nothing can be registered safely
    }
    if (g_registered) return;
    tav::fenmo::qorin::registerScriptingNamespaces();  // an exception leaves the guard open for a retry
    g_registered = true;
}

template class __attribute__((visibility("default"))) plexo::StringArray<char16_t>;
