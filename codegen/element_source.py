"""Emits the source of one element class: one-line bodies that call the pattern written once in fenmo.
What a property contributes comes from its generator (kinds.py)."""

from cpp_types import F
from element_header import each, in_field_order, names
from printer import cpp, lines

import constrainables

P_ = f"{F}::pattern"
BASE = f"{F}::ModelElement::Impl"


def constructors(c):
    fields = in_field_order(c)
    plain_init = ", ".join([f"{BASE}(model, id)"] + each(c, "member_init", fields))
    builder_init = ", ".join([f"{BASE}(*builder.m_owner, id)"] +
                             [init for p in fields for init in each(c, "init_from_builder", [p]) + each(c, "member_init", [p])])
    return cpp("""
        $X::Impl::Impl(const $F::Model& model, $UUID id) : $plain_init {}

        $X::Impl::Impl(BuilderImpl& builder, $UUID id)
            : $builder_init {
            $body
        }

        void $X::Impl::cascadeCreation(BuilderImpl& builder) {
            $cascade
        }
        """, **names(c, plain_init=plain_init, builder_init=builder_init, body=lines(each(c, "builder_body", c.stored)),
                     cascade=lines(each(c, "link", c.stored), each(c, "cascade", c.stored)) or "(void)builder;"))


def hooks(c):
    """The framework's hooks, each written once for all classes over the property list; those in the
    class's `custom` list are the class's own."""
    slots = c.any_property("contains")
    relay = f"{BASE}::{{hook}}(element, property);"
    associate = f"if (!{P_}::tryAssociate<Properties>(*this, element, property)) " if slots else ""
    element_hook = f"const {F}::ModelElement& element, const {F}::meta::Property& property"
    definitions = {
        "hasPropertyValue": (
            f"bool $X::Impl::hasPropertyValue($PROPERTY property, $TAG tag) const",
            lines("bool result = false;",
                  f"if ({P_}::tryHas<Properties>(*this, property, result)) return result;",
                  f"return {BASE}::hasPropertyValue(property, tag);")),
        "getPropertyValue": (
            f"$VALUE $X::Impl::getPropertyValue($PROPERTY property, $TAG tag)",
            lines(f"if (auto get = {P_}::getterFor<Properties, Impl>(property)) return get(*this, tag);",
                  f"return {BASE}::getPropertyValue(property, tag);")),
        "setPropertyValue": (
            f"void $X::Impl::setPropertyValue($PROPERTY property, const $VALUE& value, $TAG tag)",
            f"if (!{P_}::trySet<Properties>(*this, property, value, tag)) {BASE}::setPropertyValue(property, value, tag);"),
        "doDestroy": (
            "void $X::Impl::doDestroy(bool notify, bool disassociate)",
            lines(f"{P_}::destroyContained<Properties>(*this, notify, disassociate);" if slots else "",
                  f"{BASE}::doDestroy(notify, disassociate);")),
        "inverseAdd": (
            f"void $X::Impl::inverseAdd({element_hook})", associate + relay.format(hook="inverseAdd")),
        "inverseRemove": (
            f"void $X::Impl::inverseRemove({element_hook})",
            (f"if (!{P_}::tryDissociate<Properties>(*this, property)) " if slots else "")
            + relay.format(hook="inverseRemove")),
        "basicAssociate": (
            f"void $X::Impl::basicAssociate({element_hook})", associate + relay.format(hook="basicAssociate")),
        "basicDisassociateAll": (
            "void $X::Impl::basicDisassociateAll()", f"{P_}::releaseSlotsInOrder<Properties>(*this);" if slots else ""),
        "inverseContainsProxyTo": (
            f"bool $X::Impl::inverseContainsProxyTo({element_hook}) const",
            f"return {BASE}::inverseContainsProxyTo(element, property);"),
        "disassociateIncoming": ("void $X::Impl::disassociateIncoming()", ""),
        # Direct readers bypass the reflective reads, so a class that writes those by hand hands out none.
        "fieldReaders": (
            f"bool $X::Impl::fieldReaders($PROPERTY property, {F}::query::detail::PropertyAccess& readers) const",
            f"return {BASE}::fieldReaders(property, readers);" if {"hasPropertyValue", "getPropertyValue"} & set(c.custom)
            else f"return {F}::query::detail::tryReaders<Properties>(property, readers) || "
                 f"{BASE}::fieldReaders(property, readers);"),
        "convertReferencesToProxies": (
            f"void $X::Impl::convertReferencesToProxies(bool, boost::optional<{F}::ProxyId>&)", ""),
    }
    out = []
    for hook, (signature, body) in definitions.items():
        if hook not in c.custom:
            out.append(cpp("""
                $signature {
                    $body
                }
                """, signature=cpp(signature, **names(c)), body=cpp(body, **names(c))))
    return "\n".join(out)


def element_operations(c):
    release = f"{P_}::releaseSlots<Properties>(*this);" if c.any_property("contains") else ""
    invalidate = cpp("""
        void $X::Impl::invalidate() {
            if (Callback callback = m_callback.load(std::memory_order_acquire)) {
                $calls
            }
            $BASE::invalidate();
        }
        """, BASE=BASE, calls=lines(each(c, "invalidate", c.stored)), **names(c)) if c.any_property("collection") else ""
    return cpp("""
        $X::Impl::~Impl() {
            markDeleting();
            $release
        }

        const $F::meta::Class& $X::Impl::getMetaClass() const { return schema::$X::metaClass(); }

        $invalidate
        $hooks
        $CHANGES* $X::Impl::createChanges() const {
            return new Changes(getUuid(), getModel(), getMetaClass(), $count);
        }

        $STORAGE* $X::Impl::createStorage() const {
            return new Storage(getUuid(), getModel(), getMetaClass(), $bits);
        }

        void $X::Impl::copyValue($STORAGE* storage, std::size_t index) const {
            if (!$P_::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index)) $BASE::copyValue(storage, index);
        }

        void $X::Impl::copyStateFromStorage($STORAGE* storage) {
            $P_::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
            $BASE::copyStateFromStorage(storage);
        }

        $F::meta::Property $X::Impl::getPropertyByIndex(std::size_t index) {
            $F::meta::Property result;
            if ($P_::tryPropertyByIndex<Properties>(index, result)) return result;
            return $BASE::getPropertyByIndex(index);
        }

        $X $X::Impl::This() const { return $X(const_cast<Impl*>(this), true); }

        // ---- Storage

        $X::Impl::Storage::Storage($UUID id, const $F::Model& model, const $F::meta::Class& metaClass, std::size_t count)
            : SnapshotStorage(id, model, metaClass, count) {}

        $X::Impl::Storage::~Storage() = default;

        bool $X::Impl::Storage::revertUnchanged($F::ModelElement::Impl* element) {
            $P_::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
            return $STORAGE::revertUnchanged(element);
        }

        $VALUE $X::Impl::Storage::getOldValue($PROPERTY property, $TAG tag) {
            $VALUE result;
            if ($P_::tryOldValue<Properties>(*this, property, result)) return result;
            return $STORAGE::getOldValue(property, tag);
        }
        """, P_=P_, BASE=BASE, release=release, invalidate=invalidate, hooks=hooks(c), count=c.count, bits=c.count + 1,
               **names(c))


def builder_bodies(c):
    value_cases = [cpp("""
        if (p == $handle().get()) {
            $store;
            return $index;
        }""", handle=p.handle_fn, store=p.generator.store_value(), index=f"Index::{p.name}")
        for p in c.stored if p.generator.store_value()]
    nested_cases = each(c, "store_nested", c.stored)
    return cpp("""
        // ---- Builder

        $X::Impl::BuilderImpl::~BuilderImpl() = default;

        void $X::Impl::BuilderImpl::addBuilder($BUILDER* builder) const {
            if (auto* orchestrator = m_owner->getOrchestrator()) orchestrator->addBuilder(builder);
        }

        std::size_t $X::Impl::BuilderImpl::doSetOrAdd($PROPERTY property, const $VALUE& value) {
            $values
            return SIZE_MAX;
        }

        std::size_t $X::Impl::BuilderImpl::doSetOrAdd($PROPERTY property, std::unique_ptr<$BUILDER>& nested) {
            $nested
            return SIZE_MAX;
        }
        $definitions

        std::unique_ptr<$BUILDER> make${X}Builder(const $F::Model& model) { return std::make_unique<$X::Builder>(model); }
        """, values=lines("const auto* p = property.get();", value_cases) if value_cases
               else "(void)property;\n(void)value;",
               nested=lines(nested_cases) or "(void)property;\n(void)nested;",
               definitions=lines(each(c, "builder_definitions", c.stored)), **names(c))


def invokers(c):
    out = []
    for o in c.operations:
        out.append(cpp("""
            std::unique_ptr<$F::meta::AbstractMethodInvoker> $X::Impl::make${Name}Invoker(
                const $F::meta::Operation& operation) {
                return std::make_unique<$F::meta::Invoker<$X, $Argument>>(operation, &Impl::$operation);
            }
            """, Name=o.name[0].upper() + o.name[1:], Argument=o.argument_type, operation=o.name, **names(c)))
    return "\n".join(out)


def source(schema, c, banner):
    return cpp("""
        $banner
        #include <arvelle/treeNode/$X.hpp>
        #include <arvelle/treeNode/BuilderFactories.hpp>

        #include <fenmo/query/Readers.hpp>

        namespace tav::fenmo::treeNode {

        $X $X::create(const $F::Model& model, $UUID id) {
            return $P_::createInModel<$X>(model, [&] { return $X(new Impl(model, id), true); });
        }

        const $F::meta::Class& $X::metaClass() { return schema::$X::metaClass(); }

        $constructors
        $accessors

        $operations
        $invokers
        $builder

        $queries
        }  // namespace tav::fenmo::treeNode
        """, banner=banner, P_=P_, queries=constrainables.definitions(c), constructors=constructors(c), accessors="\n\n".join(each(c, "bodies")),
               operations=element_operations(c), invokers=invokers(c), builder=builder_bodies(c), **names(c))
