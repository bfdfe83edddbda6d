#pragma once
// The intrusive, atomically counted base of every element implementation.

#include <fenmo/Export.hpp>
#include <atomic>
#include <climits>
#include <cstdint>

FENMO_API_BEGIN

namespace fenmo {

class Model;
class AbstractCollection;
namespace meta {
class Class;
}

class ElementImpl {
public:
    // Written into the count while an implementation is being destroyed, so that references taken and
    // dropped by its members during destruction can never bring the count back to zero.
    static constexpr std::int32_t REFCOUNT_DELETING = INT32_MIN / 2;

    // Called, when set, as an element is invalidated, once for the element itself (collection null) and
    // once per collection it owns; lets a host drop whatever it keeps for them (script objects, caches).
    using Callback = void (*)(ElementImpl& element, AbstractCollection* collection);
    static std::atomic<Callback> m_callback;

    ElementImpl(const ElementImpl&) = delete;
    ElementImpl& operator=(const ElementImpl&) = delete;

    void addRef() const noexcept { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    std::int32_t refCount() const noexcept { return m_refCount.load(std::memory_order_relaxed); }
    // True while the element belongs to its model: from its announcement until it is destroyed.
    bool isValid() const noexcept { return (m_flags & kValid) != 0; }
    bool isProxy() const noexcept { return (m_flags & kProxy) != 0; }

    virtual ~ElementImpl();
    virtual Model getModel() const = 0;
    virtual const meta::Class& getMetaClass() const = 0;
    // Drops one reference; the last one deletes the implementation.
    virtual void removeRef() const noexcept;
    // Marks the element invalid; its handles stay non-null but test false.
    virtual void invalidate();

protected:
    ElementImpl() noexcept = default;
    // The first step of every implementation's destructor.
    void markDeleting() noexcept { m_refCount.exchange(REFCOUNT_DELETING, std::memory_order_acq_rel); }

    static constexpr std::uint8_t kValid = 1;
    static constexpr std::uint8_t kProxy = 2;
    static constexpr std::uint8_t kDestroying = 4;

    mutable std::atomic<std::int32_t> m_refCount{0};
    std::uint8_t m_flags = 0;
};

}  // namespace fenmo

FENMO_API_END
