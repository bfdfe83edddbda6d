#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Transaction.hpp>
#include <fenmo/Value.hpp>

namespace fenmo {

Transaction::Transaction(Transaction&& other) noexcept
    : m_model(std::exchange(other.m_model, nullptr)),
      m_depth(other.m_depth),
      m_serial(other.m_serial),
      m_joined(other.m_joined) {}

Transaction& Transaction::operator=(Transaction&& other) noexcept {
    if (this != &other) {
        abandon();
        m_model = std::exchange(other.m_model, nullptr);
        m_depth = other.m_depth;
        m_serial = other.m_serial;
        m_joined = other.m_joined;
    }
    return *this;
}

Transaction::~Transaction() { abandon(); }

void Transaction::commit() {
    commit(boost::none);
}

void Transaction::commit(const boost::optional<Value>&) {
    if (!m_model) throw InvalidOperationException({u"the transaction is no longer open"});
    if (!m_model->isOpen(m_depth, m_serial)) {
        // Ended already, by the abandon of a transaction around it.
        Model gone(std::exchange(m_model, nullptr), false);
        throw InvalidOperationException({u"the transaction is no longer open"});
    }
    if (m_model->transactionDepth() != m_depth)
        throw InvalidOperationException({u"transactions must end innermost first"});
    // Whatever happens while committing (a listener may throw), the transaction is over.
    Model keep(std::exchange(m_model, nullptr), false);
    if (!m_joined) keep->commit(m_depth);
}

void Transaction::abandon() {
    if (!m_model) return;
    Model keep(std::exchange(m_model, nullptr), false);
    if (!m_joined && keep->isOpen(m_depth, m_serial)) keep->abandon(m_depth);
}

}  // namespace fenmo
