#pragma once
// What one outermost commit, undo or redo changed, as told to a model's listeners.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>

#include <functional>
#include <memory>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

struct PropertyChange {
    meta::Property property;
    Value oldValue;
    Value newValue;
};

struct ElementChange {
    ModelElement element;
    std::vector<PropertyChange> properties;  // in property index order
};

class ChangeReport {
public:
    enum class Cause { Commit, Undo, Redo };

    ChangeReport(Cause cause, std::vector<ModelElement> created, std::vector<ModelElement> destroyed,
                 std::vector<ElementChange> modified)
        : m_cause(cause),
          m_created(std::move(created)),
          m_destroyed(std::move(destroyed)),
          m_modified(std::move(modified)) {}

    Cause cause() const noexcept { return m_cause; }
    const std::vector<ModelElement>& created() const noexcept { return m_created; }
    const std::vector<ModelElement>& destroyed() const noexcept { return m_destroyed; }
    const std::vector<ElementChange>& modified() const noexcept { return m_modified; }
    bool empty() const noexcept { return m_created.empty() && m_destroyed.empty() && m_modified.empty(); }

private:
    Cause m_cause;
    std::vector<ModelElement> m_created;
    std::vector<ModelElement> m_destroyed;
    std::vector<ElementChange> m_modified;
};

// Keeps a listener registered; destroying or resetting it removes the listener.
class ListenerToken {
public:
    ListenerToken() = default;
    explicit ListenerToken(std::function<void()> remove) : m_remove(std::move(remove)) {}
    ListenerToken(ListenerToken&& other) noexcept : m_remove(std::move(other.m_remove)) { other.m_remove = nullptr; }
    ListenerToken& operator=(ListenerToken&& other) noexcept {
        reset();
        m_remove = std::move(other.m_remove);
        other.m_remove = nullptr;
        return *this;
    }
    ~ListenerToken() { reset(); }
    void reset() {
        if (m_remove) std::exchange(m_remove, nullptr)();
    }

private:
    std::function<void()> m_remove;
};

}  // namespace fenmo

FENMO_API_END
