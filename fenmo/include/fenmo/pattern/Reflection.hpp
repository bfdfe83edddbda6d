#pragma once
// The element operations every class implements the same way, over its property list: reflective
// access, snapshots, index look-up, and what an element does with its slots as it is destroyed.
// Each returns whether one of the class's own properties answered, so the class can fall back on its base.

#include <fenmo/Export.hpp>
#include <fenmo/pattern/Properties.hpp>
#include <fenmo/pattern/Snapshot.hpp>

#include <atomic>

FENMO_API_BEGIN

namespace fenmo::pattern {

template <class Props, class Owner>
bool tryHas(const Owner& o, const meta::Property& property, bool& result) {
    return Props::visit(property, [&](auto p) { result = decltype(p)::has(o); });
}

// The reader of one of the class's own properties, or null: the caller builds the value in place.
template <class Owner>
using Getter = Value (*)(Owner&, const ReflectionPrivateTag&);

template <class P, class Owner>
Value callGet(Owner& o, const ReflectionPrivateTag& tag) {
    return P::get(o, tag);
}

// The reader of a property looked for along the class's list: derived properties, and stored ones the
// table below cannot answer. Out of line, so that the table's path stays a leaf of a few instructions.
template <class Props, class Owner>
[[gnu::noinline]] Getter<Owner> getterAlongList(const meta::Property& property) {
    Getter<Owner> getter = nullptr;
    Props::visit(property, [&](auto p) { getter = &callGet<decltype(p), Owner>; });
    return getter;
}

template <class Props, class Owner>
Getter<Owner> getterFor(const meta::Property& property) {
    // A stored property is found by its index in one step, then checked by identity; a derived one, a
    // property of another class sharing the index, or one whose implementation is not looked up yet is
    // looked for along the list (which looks it up).
    struct Entry {
        Getter<Owner> get = nullptr;
        const std::atomic<const meta::Property::Impl*>* impl = nullptr;
    };
    static constexpr auto byIndex = Props::template tableByIndex<Entry>([](auto p) {
        using P = decltype(p);
        return Entry{&callGet<P, Owner>, &P::s_impl};
    });
    const meta::Property::Impl* impl = property.get();
    if (impl && impl->getIndex() < byIndex.size()) {
        const Entry& entry = byIndex[impl->getIndex()];
        if (entry.impl && entry.impl->load(std::memory_order_relaxed) == impl) return entry.get;
    }
    return getterAlongList<Props, Owner>(property);
}

template <class Props, class Owner>
bool trySet(Owner& o, const meta::Property& property, const Value& value, const ReflectionPrivateTag& tag) {
    bool handled = false;
    Props::visit(property, [&](auto p) { handled = decltype(p)::set(o, value, tag); });
    return handled;
}

template <class Props, class Owner>
bool tryCopyValue(const Owner& o, SnapshotStorage<Props>& storage, std::size_t index) {
    return Props::visitIndex(index, [&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::snapshot(o, storage.template slot<P>(), storage.journalBelow()); })
            P::snapshot(o, storage.template slot<P>(), storage.journalBelow());
        else
            P::snapshot(o, storage.template slot<P>());
    });
}

// Changed properties in ascending index order (a snapshot usually holds one or two).
template <class Props, class Owner>
void restoreChanged(Owner& o, SnapshotStorage<Props>& storage) {
    storage.bits().forEachSet([&](std::size_t index) {
        Props::visitIndex(index, [&](auto p) {
            using P = decltype(p);
            if (auto* old = storage.template find<P>()) P::restore(o, *old);
        });
    });
}

template <class Props, class Owner>
void clearUnchanged(SnapshotStorage<Props>& storage, const Owner& o) {
    storage.bits().forEachSet([&](std::size_t index) {
        Props::visitIndex(index, [&](auto p) {
            using P = decltype(p);
            if (auto* old = storage.template find<P>(); old && P::same(o, *old)) storage.clearModified(P::index);
        });
    });
}

template <class Props>
bool tryOldValue(SnapshotStorage<Props>& storage, const meta::Property& property, Value& result) {
    bool answered = false;
    Props::visit(property, [&](auto p) {
        using P = decltype(p);
        if constexpr (P::stored) {
            if (!storage.isChanged(P::index)) return;
            if (auto* old = storage.template find<P>()) {
                result = P::old(*old);
                answered = true;
            }
        }
    });
    return answered;
}

template <class Props>
bool tryPropertyByIndex(std::size_t index, meta::Property& result) {
    return Props::visitIndex(index, [&](auto p) { result = decltype(p)::handle(); });
}

// Containment slots, in index order: destroyed with their owner, or linked by the framework.
template <class Props, class Owner>
void destroyContained(Owner& o, bool notify, bool disassociate) {
    Props::forEachStored([&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::destroyContained(o, notify, disassociate); })
            P::destroyContained(o, notify, disassociate);
    });
}

template <class Props, class Owner>
bool tryAssociate(Owner& o, const ModelElement& element, const meta::Property& property) {
    bool handled = false;
    Props::visit(property, [&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::associate(o, element); }) {
            P::associate(o, element);
            handled = true;
        }
    });
    return handled;
}

template <class Props, class Owner>
bool tryDissociate(Owner& o, const meta::Property& property) {
    bool handled = false;
    Props::visit(property, [&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::dissociate(o); }) {
            P::dissociate(o);
            handled = true;
        }
    });
    return handled;
}

// Lets go of every contained element, last slot first (destructor and final clean-up).
template <class Props, class Owner>
void releaseSlots(Owner& o) noexcept {
    Props::forEachStoredReversed([&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::release(o); }) P::release(o);
    });
}

template <class Props, class Owner>
void releaseSlotsInOrder(Owner& o) noexcept {
    Props::forEachStored([&](auto p) {
        using P = decltype(p);
        if constexpr (requires { P::release(o); }) P::release(o);
    });
}

// The reader of one key of a keyed map: a getter of the element class Y.
template <class Y, auto Getter>
decltype(auto) keyOf(const ModelElement::Impl& element) {
    return (static_cast<const typename Y::Impl&>(element).*Getter)();
}

}  // namespace fenmo::pattern

FENMO_API_END
