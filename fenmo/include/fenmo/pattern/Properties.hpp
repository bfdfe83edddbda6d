#pragma once
// Descriptors of an element class's properties, one small type per property, and the list that
// dispatches reflective calls, snapshots and builders to them. Generated classes name their properties
// with these; the behaviour shared by all classes is written once here.

#include <fenmo/Export.hpp>
#include <fenmo/Builder.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/pattern/Conversion.hpp>
#include <fenmo/pattern/Slots.hpp>

#include <boost/optional.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <type_traits>

FENMO_API_BEGIN

namespace fenmo::pattern {

// The meta::Property handle of a property, kept by the library's meta-package.
using PropertyHandle = const meta::Property& (*)();

// Whether a reflective write needs the privileged tag (properties without public mutator).
using ::fenmo::Access;

template <class M>
struct MemberOf;
template <class C, class F>
struct MemberOf<F C::*> {
    using Class = C;
    using Type = F;
};

// What every property descriptor knows: the property's handle.
template <PropertyHandle Handle>
struct PropertyOf {
    static const meta::Property& handle() { return Handle(); }
    // The property's implementation, looked up on first use: reflective calls compare it by identity.
    // Constant-initialized, so that reading it takes neither a guard nor a call (tables of the class's
    // properties hold its address).
    static inline std::atomic<const meta::Property::Impl*> s_impl{nullptr};
    static const meta::Property::Impl& impl() {
        const meta::Property::Impl* property = s_impl.load(std::memory_order_acquire);
        if (!property) {
            property = Handle().get();
            s_impl.store(property, std::memory_order_release);
        }
        return *property;
    }
};

// A stored property: its field and its index.
template <auto Field, std::size_t Index, PropertyHandle Handle>
struct FieldProperty : PropertyOf<Handle> {
    using Owner = typename MemberOf<decltype(Field)>::Class;
    using FieldType = typename MemberOf<decltype(Field)>::Type;
    static constexpr std::size_t index = Index;
    static constexpr bool stored = true;
    static FieldType& field(Owner& o) noexcept { return o.*Field; }
    static const FieldType& field(const Owner& o) noexcept { return o.*Field; }
};

// A scalar field whose snapshot is a copy of the field itself.
template <auto Field, std::size_t Index, PropertyHandle Handle>
struct ScalarField : FieldProperty<Field, Index, Handle> {
    using Base = FieldProperty<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;

    static Value get(Owner& o, const ReflectionPrivateTag&) { return toValue(Base::impl(), Base::field(o)); }
    static void snapshot(const Owner& o, Stored& s) { s = Base::field(o); }
    static void restore(Owner& o, const Stored& s) { Base::field(o) = s; }
    static void exchange(Owner& o, Stored& s) noexcept {
        // The field type's own swap (an optional's swaps the held values in place, no temporary).
        using std::swap;
        swap(Base::field(o), s);
    }
    static bool same(const Owner& o, const Stored& s) { return Base::field(o) == s; }
    static Value old(Stored& s) { return toValue(Base::impl(), s); }
};

// A scalar held as boost::optional<T>: set or not set.
template <auto Field, std::size_t Index, PropertyHandle Handle, auto Setter, Access access = Access::Public>
struct OptionalValue : ScalarField<Field, Index, Handle> {
    using Base = ScalarField<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;
    using T = typename Stored::value_type;

    static bool has(const Owner& o) { return Base::field(o).has_value(); }
    static bool set(Owner& o, const Value& v, const ReflectionPrivateTag& tag) {
        if (access == Access::Privileged && !tag.isPrivileged()) return false;
        (o.*Setter)(fromValue<T>(Base::impl(), v));
        return true;
    }
};

// A scalar that always has a value (a new element has the zero value).
template <auto Field, std::size_t Index, PropertyHandle Handle, auto Setter>
struct PlainValue : ScalarField<Field, Index, Handle> {
    using Base = ScalarField<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;

    static bool has(const Owner&) { return true; }
    static bool set(Owner& o, const Value& v, const ReflectionPrivateTag&) {
        (o.*Setter)(plainFromValue<Stored>(Base::impl(), v));
        return true;
    }
};

// A single element held by handle. Shared by containment slots and plain references.
template <auto Field, std::size_t Index, PropertyHandle Handle>
struct ElementProperty : FieldProperty<Field, Index, Handle> {
    using Base = FieldProperty<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;

    static bool has(const Owner& o) { return static_cast<bool>(Base::field(o)); }
    static void snapshot(const Owner& o, Stored& s) { s = Base::field(o); }
    static void restore(Owner& o, const Stored& s) { Base::field(o) = s; }
    static void exchange(Owner& o, Stored& s) noexcept { std::swap(Base::field(o), s); }
    static bool same(const Owner& o, const Stored& s) { return Base::field(o).get() == s.get(); }
    // The element held before the change, also when the change destroyed it, so that a listener learns
    // which element left.
    static Value old(Stored& s) {
        if (s.get()) return Value(ValueMeta(s->getMetaClass().get(), ValueKind::Single), ModelElement(s));
        return valueOf(s);
    }
    // Through the class's getter (which repairs and resolves) when proxies are to be resolved.
    template <auto Getter>
    static Value read(Owner& o, const ReflectionPrivateTag& tag) {
        return tag.resolveProxies() ? valueOf((o.*Getter)()) : valueOf(Base::field(o));
    }
    // Typed by the element's own class when it holds a valid element, else by the declared type.
    static Value valueOf(const Stored& element) {
        if (element.get() && element->isValid())
            return Value(ValueMeta(element->getMetaClass().get(), ValueKind::Single), ModelElement(element));
        return Value(ValueMeta(Base::impl().typeImpl(), ValueKind::Optional));
    }
};

// A containment slot: the owner contains the element it holds.
template <auto Field, std::size_t Index, PropertyHandle Handle, auto Setter, auto Getter>
struct ContainmentSlot : ElementProperty<Field, Index, Handle> {
    using Base = ElementProperty<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;

    static Value get(Owner& o, const ReflectionPrivateTag& tag) {
        return Base::template read<Getter>(o, tag);
    }
    static bool set(Owner& o, const Value& v, const ReflectionPrivateTag& tag) {
        Stored element = elementFromValue<Stored>(Base::impl(), v);
        Stored& slot = Base::field(o);
        // Replacing a proxy by the real element it stands for is no change.
        if (!tag.resolveProxies() && element && !element->isProxy() && slot && slot->isProxy()) slot.reset();
        (o.*Setter)(element);
        return true;
    }
    // Association hooks: the framework links or unlinks the element itself.
    static void associate(Owner& o, const ModelElement& element) {
        o.notifyModifying(Index);
        Base::field(o) = handleCast<Stored>(element);
    }
    static void dissociate(Owner& o) {
        o.notifyModifying(Index);
        Base::field(o).reset();
    }
    static void destroyContained(Owner& o, bool notify, bool disassociate) {
        Stored& slot = Base::field(o);
        if (!slot) return;
        o.notifyModifying(Index);
        ModelElement::Impl::destroyRecursively(slot, notify, false, disassociate);
        slot.reset();
    }
    static void release(Owner& o) noexcept { releaseSlot(o, Base::field(o)); }
};

// A reference to one element, with setter and getter written by the class (opposite bookkeeping).
template <auto Field, std::size_t Index, PropertyHandle Handle, auto Setter, auto Getter>
struct ReferenceSlot : ElementProperty<Field, Index, Handle> {
    using Base = ElementProperty<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Stored = typename Base::FieldType;

    static Value get(Owner& o, const ReflectionPrivateTag& tag) {
        return Base::template read<Getter>(o, tag);
    }
    static bool set(Owner& o, const Value& v, const ReflectionPrivateTag&) {
        (o.*Setter)(elementFromValue<Stored>(Base::impl(), v));
        return true;
    }
};

// How a collection snapshot decides that the collection is unchanged. Non-empty old contents are
// kept as a copy; none is kept for empty contents.
struct SameWhenEmptyOrSingleSame {
    template <class C>
    static bool same(const C& current, const C* old) {
        std::size_t before = old ? old->size() : 0;
        if (before != current.size()) return false;
        if constexpr (requires { current.sameVersionAs(*old); })
            if (old && current.sameVersionAs(*old)) return true;
        return before == 0 || (before == 1 && old->firstElement() == current.firstElement());
    }
};
struct SameWhenBothEmpty {
    template <class C>
    static bool same(const C& current, const C* old) {
        return !old && current.empty();
    }
};

// Collections that record a transaction's edits instead of having their old contents copied.
template <class C>
concept JournaledCollection = requires {
    typename C::Journal;
};

// What a snapshot keeps of collection C: its journal, or a copy of non-empty old contents (none
// standing for empty contents).
template <class C>
struct KeptCollection {
    using Type = std::optional<C>;
};
template <JournaledCollection C>
struct KeptCollection<C> {
    using Type = typename C::Journal;
};

// A collection owned by the element (sequence, keyed map or set of primitive values).
template <auto Field, std::size_t Index, PropertyHandle Handle, class SameRule, bool primitive = false>
struct OwnedCollection : FieldProperty<Field, Index, Handle> {
    using Base = FieldProperty<Field, Index, Handle>;
    using Owner = typename Base::Owner;
    using Collection = typename Base::FieldType;
    static constexpr bool journaled = JournaledCollection<Collection>;
    using Stored = typename KeptCollection<Collection>::Type;

    static bool has(const Owner& o) { return !Base::field(o).empty(); }
    static Value get(Owner& o, const ReflectionPrivateTag& tag) {
        if constexpr (!primitive) {
            if (tag.resolveProxies()) Base::field(o)._resolveProxies();
            return Value::createElementCollectionValue(Base::handle(), Base::field(o));
        } else {
            return Value::createPrimitiveCollectionValue(Base::handle(), Base::field(o));
        }
    }
    static bool set(Owner&, const Value&, const ReflectionPrivateTag&) { return false; }
    static void snapshot(const Owner& o, Stored& s, detail::JournalBase* below) {
        const Collection& current = Base::field(o);
        if constexpr (journaled)
            s.start(current, below);
        else if (current.empty())
            s.reset();
        else
            s.emplace(current);
    }
    static void restore(Owner& o, Stored& s) {
        Collection& current = Base::field(o);
        if constexpr (journaled) {
            if (!s.isMark())
                s.rewind(current);
            else if (auto* journal = static_cast<Stored*>(o.collectionJournal(Index)))
                journal->rewind(current, s.markEdits(), s.markCleared());
        } else {
            current._basicCopyValues(s ? &*s : nullptr);
        }
    }
    static void exchange(Owner& o, Stored& s) {
        Collection& current = Base::field(o);
        if constexpr (journaled) {
            s.exchange(current);
        } else if (!s) {
            if (current.empty()) return;
            s.emplace(current);
            current._basicCopyValues(nullptr);
        } else {
            Collection now(current);
            current._basicCopyValues(&*s);
            s->_basicCopyValues(&now);
            if (s->empty()) s.reset();
        }
    }
    static bool same(const Owner& o, const Stored& s) {
        if constexpr (journaled)
            return s.template unchanged<SameRule>(Base::field(o));
        else
            return SameRule::same(Base::field(o), s ? &*s : nullptr);
    }
    // The old contents as a value that holds its entries itself: a report may be kept after the history
    // has let go of the snapshot, so it must not view it.
    static Value old(Stored& s) {
        if constexpr (journaled) {
            Collection contents = s.collection() ? s.otherContents() : Collection(Base::handle());
            return listValue(contents);
        } else {
            if (!s) s.emplace(Base::handle());
            return listValue(*s);
        }
    }
    static Value listValue(const Collection& contents) {
        Value view = primitive ? Value::createPrimitiveCollectionValue(Base::handle(), contents)
                               : Value::createElementCollectionValue(Base::handle(), contents);
        return Value::ofList(view.getType(), view.getFlags(), contents.toValues());
    }
};

// A derived property: computed by the class, never stored, without index.
template <PropertyHandle Handle>
struct DerivedProperty : PropertyOf<Handle> {
    static constexpr std::size_t index = 0;
    static constexpr bool stored = false;
    using Stored = std::monostate;
};

// A derived property of scalar type, read through a getter the class writes; read-only.
template <auto Getter, PropertyHandle Handle>
struct DerivedValue : DerivedProperty<Handle> {
    using DerivedProperty<Handle>::impl;
    template <class Owner>
    static bool has(const Owner&) {
        return true;
    }
    template <class Owner>
    static Value get(Owner& o, const ReflectionPrivateTag&) {
        return toValue(impl(), (o.*Getter)());
    }
    template <class Owner>
    static bool set(Owner&, const Value&, const ReflectionPrivateTag&) {
        throw CannotSetReadOnlyPropertyException({impl().getQualifiedName()});
    }
};

// A derived property of element type with getter, test and setter written by the class.
template <auto Getter, auto Has, auto Setter, PropertyHandle Handle>
struct DerivedElement : DerivedProperty<Handle> {
    using DerivedProperty<Handle>::impl;
    template <class Owner>
    static bool has(const Owner& o) {
        return (o.*Has)();
    }
    template <class Owner>
    static Value get(Owner& o, const ReflectionPrivateTag&) {
        auto element = (o.*Getter)();
        if (element.get() && element->isValid())
            return Value(ValueMeta(element->getMetaClass().get(), ValueKind::Single), ModelElement(element));
        return Value(ValueMeta(impl().typeImpl(), ValueKind::Optional));
    }
    template <class Owner>
    static bool set(Owner& o, const Value& v, const ReflectionPrivateTag&) {
        using Y = decltype((o.*Getter)());
        (o.*Setter)(elementFromValue<Y>(impl(), v));
        return true;
    }
};

// The properties of one class, in index order (derived ones where the schema places them).
template <class... Ps>
struct PropertyList {
    static constexpr std::size_t storedCount = ((Ps::stored ? 1 : 0) + ... + 0);

    // Calls f(P{}) for the property whose handle is `property` (by identity); false if none is.
    template <class F>
    static bool visit(const meta::Property& property, F&& f) {
        const meta::Property::Impl* p = property.get();
        if (!p) return false;
        const std::size_t i = p->getIndex();
        return ((matches<Ps>(p, i) ? (f(Ps{}), true) : false) || ...);
    }
    // A table indexed by property index: make(P{}) for each stored property, T{} where none is.
    template <class T, class Make>
    static constexpr auto tableByIndex(Make make) {
        constexpr std::size_t size =
            std::max({std::size_t{0}, (Ps::stored ? std::size_t{Ps::index} + 1 : 0)...});
        std::array<T, size> table{};
        ((Ps::stored ? (void)(table[Ps::stored ? Ps::index : 0] = make(Ps{})) : (void)0), ...);
        return table;
    }
    // Calls f(P{}) for the stored property of index i.
    template <class F>
    static bool visitIndex(std::size_t i, F&& f) {
        return (visitStored<Ps>(i, f) || ...);
    }
    // Calls f(P{}) for each stored property in index order.
    template <class F>
    static void forEachStored(F&& f) {
        (forStored<Ps>(f), ...);
    }
    template <class F>
    static void forEachStoredReversed(F&& f) {
        int dummy = 0;
        (void)((forStored<Ps>(f), dummy) = ... = 0);
    }

    // Position of P among the stored alternatives of a snapshot (1-based; 0 is "no value").
    template <class P>
    static constexpr std::size_t slotOf() {
        std::size_t position = 0, found = 0;
        ((++position, found = std::is_same_v<P, Ps> ? position : found), ...);
        return found;
    }
    using Variant = std::variant<std::monostate, typename Ps::Stored...>;

private:
    template <class P>
    static bool matches(const meta::Property::Impl* p, std::size_t i) {
        if constexpr (P::stored)
            return i == P::index && p == &P::impl();
        else
            return p == &P::impl();
    }
    template <class P, class F>
    static bool visitStored(std::size_t i, F& f) {
        if constexpr (P::stored) {
            if (P::index != i) return false;
            f(P{});
            return true;
        } else {
            return false;
        }
    }
    template <class P, class F>
    static void forStored(F& f) {
        if constexpr (P::stored) f(P{});
    }
};

}  // namespace fenmo::pattern

FENMO_API_END
