#include <fenmo/ModelImpl.hpp>
#include <fenmo/Transaction.hpp>
#include <fenmo/Value.hpp>

#include <stdexcept>

namespace fenmo {

Transaction::Transaction(Transaction&& other) noexcept
    : m_model(std::exchange(other.m_model, nullptr)), m_depth(other.m_depth) {}

Transaction& Transaction::operator=(Transaction&& other) noexcept {
    if (this != &other) {
        abandon();
        m_model = std::exchange(other.m_model, nullptr);
        m_depth = other.m_depth;
    }
    return *this;
}

Transaction::~Transaction() { abandon(); }

void Transaction::commit(const boost::optional<Value>&) {
    if (!m_model) throw std::logic_error("the transaction is no longer open");
    if (m_model->transactionDepth() != m_depth) throw std::logic_error("transactions must end innermost first");
    // Whatever happens while committing (a listener may throw), the transaction is over.
    Model keep(std::exchange(m_model, nullptr), false);
    keep->commit(m_depth);
}

void Transaction::abandon() {
    if (!m_model) return;
    Model keep(std::exchange(m_model, nullptr), false);
    keep->abandon(m_depth);
}

}  // namespace fenmo
