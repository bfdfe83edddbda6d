#pragma once
// A move-only scope of changes: committed explicitly, abandoned (rolled back) by its destructor.

#include <fenmo/Export.hpp>
#include <fenmo/Model.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>

FENMO_API_BEGIN

namespace fenmo {

class Value;

class Transaction {
public:
    Transaction() noexcept = default;
    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&& other) noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // Abandons the transaction if it is still open.
    ~Transaction();

    // Ends the transaction keeping its changes. Transactions end innermost first; committing one that
    // is not the innermost open one, or is no longer open, fails with "InvalidOperation".
    void commit();
    // The same, naming what the transaction produced (none for plain edits).
    void commit(const boost::optional<Value>& result);
    // Ends the transaction undoing its changes, as its destructor would.
    void abandon();
    bool isOpen() const noexcept { return m_model != nullptr; }

private:
    friend class Model::Impl;
    Transaction(Model::Impl* model, std::size_t depth, std::uint64_t serial, bool joined = false) noexcept
        : m_model(model), m_depth(depth), m_serial(serial), m_joined(joined) {}

    Model::Impl* m_model = nullptr;
    std::size_t m_depth = 0;
    // Tells this transaction's level from a later one at the same depth, once this one has ended.
    std::uint64_t m_serial = 0;
    // Joined the level of the operation around it: ending it ends nothing, that operation keeps or
    // takes back the changes with its own.
    bool m_joined = false;
};

}  // namespace fenmo

FENMO_API_END
