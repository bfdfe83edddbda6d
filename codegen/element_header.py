"""Emits the header of one element class: handle, Impl, Storage, Changes and builders. What a property
contributes comes from its generator (kinds.py)."""

from cpp_types import BUILDER, CHANGES, F, PROPERTY, STORAGE, TAG, UUID, VALUE
from printer import cpp, lines

import constrainables


def names(c, **more):
    return dict(X=c.name, F=F, UUID=UUID, BUILDER=BUILDER, PROPERTY=PROPERTY, TAG=TAG, VALUE=VALUE, STORAGE=STORAGE,
                CHANGES=CHANGES, **more)


def in_field_order(c):
    """The stored properties in the order their fields are declared: one-byte fields last, where they
    share the padding of the wider ones instead of each taking a word."""
    return sorted(c.stored, key=lambda p: p.generator.small_field())


def each(c, question, properties=None):
    """The lines the generators of the class's properties (or of `properties`) give for `question`."""
    out = []
    for p in c.properties if properties is None else properties:
        answer = getattr(p.generator, question)()
        out += answer if isinstance(answer, list) else [answer] if answer else []
    return out


def handle_class(c):
    return cpp("""
        // A counted reference to a $X element.
        class $X : public $F::ElementHandle<$X> {
        public:
            class Impl;
            class Builder;
            class BuilderWrapper;
            class Constrainables;

            $X() noexcept = default;

            // A new element with no property set, announced in a transaction of its own.
            static $X create(const $F::Model& model, $UUID id);
            static const $F::meta::Class& metaClass();

            $statics

        private:
            friend class Impl;
            $X(Impl* impl, bool addRef) noexcept;
            using $F::ModelElement::release;
            using $F::ModelElement::swap;
            using $F::ModelElement::addRef;
            using $F::ModelElement::removeRef;
        };
        """, **names(c, statics=constrainables.handle_declarations(c)))


def framework_overrides(c):
    """The framework's virtual operations the class implements (invalidate only with collections)."""
    invalidate = "void invalidate() override;" if c.any_property("collection") else ""
    return cpp("""
        ~Impl() override;
        const $F::meta::Class& getMetaClass() const override;
        $invalidate
        bool hasPropertyValue($PROPERTY property, $TAG tag) const override;
        $VALUE getPropertyValue($PROPERTY property, $TAG tag) override;
        void setPropertyValue($PROPERTY property, const $VALUE& value, $TAG tag) override;
        void doDestroy(bool notify, bool disassociate) override;
        void inverseAdd(const $F::ModelElement& element, $PROPERTY property) override;
        void inverseRemove(const $F::ModelElement& element, $PROPERTY property) override;
        bool inverseContainsProxyTo(const $F::ModelElement& element, $PROPERTY property) const override;
        void basicAssociate(const $F::ModelElement& element, $PROPERTY property) override;
        void disassociateIncoming() override;
        void convertReferencesToProxies(bool otherModelsOnly, boost::optional<$F::ProxyId>& id) override;
        void basicDisassociateAll() override;
        $CHANGES* createChanges() const override;
        $STORAGE* createStorage() const override;
        void copyValue($STORAGE* storage, std::size_t index) const override;
        void copyStateFromStorage($STORAGE* storage) override;
        $F::meta::Property getPropertyByIndex(std::size_t index) override;
        bool fieldReaders($PROPERTY property, $F::query::detail::PropertyAccess& readers) const override;""",
               invalidate=invalidate, **names(c))


def impl_class(c):
    operations = [f"virtual void {o.name}(const {o.argument_type}& {o.argument_name});" for o in c.operations]
    invokers = [f"static std::unique_ptr<{F}::meta::AbstractMethodInvoker> make{o.name[0].upper() + o.name[1:]}"
                f"Invoker(const {F}::meta::Operation& operation);" for o in c.operations]
    descriptors = ",\n".join(p.generator.descriptor() for p in c.properties) + ">;"
    return cpp("""
        class $X::Impl : public $F::ModelElement::Impl {
        public:
            class Storage;
            class Changes;
            class BuilderImpl;
            template <class B>
            class BuilderBase;

            // The indices of the stored properties, as registered with the metamodel.
            struct Index {
                $indices
            };

            $public

            $overrides

        protected:
            Impl(const $F::Model& model, $UUID id);
            Impl(BuilderImpl& builder, $UUID id);
            void cascadeCreation(BuilderImpl& builder);
            $protected

        private:
            friend class $X;
            $private

            $fields

        public:
            // The class's properties in index order, for the operations written once for all classes.
            using Properties = $F::pattern::PropertyList<
                $descriptors
        };
        """, **names(
        c,
        indices=lines([f"static constexpr std::size_t {p.name} = {p.index};" for p in c.stored]),
        public=lines(each(c, "impl_public"), [f"{m};" for m in c.methods]),
        overrides=lines(framework_overrides(c), each(c, "impl_virtual"), invokers),
        protected=lines(each(c, "impl_protected"), operations),
        private=lines([f"friend class {f};" for f in c.friends],
                             f"{c.name} This() const;",
                             f"static {c.name} handle(Impl* impl, bool addRef) noexcept {{ return {c.name}(impl, addRef); }}",
                      each(c, "impl_private"), [f"{m};" for m in c.private_methods]),
        fields=lines(each(c, "field", in_field_order(c))),
        descriptors=descriptors))


def storage_classes(c):
    return cpp("""
        // The old values of the properties a transaction changed.
        class $X::Impl::Storage : public $F::pattern::SnapshotStorage<$X::Impl::Properties> {
        public:
            Storage($UUID id, const $F::Model& model, const $F::meta::Class& metaClass, std::size_t count);
            ~Storage() override;
            bool revertUnchanged($F::ModelElement::Impl* element) override;
            $VALUE getOldValue($PROPERTY property, $TAG tag) override;
        };

        // Which properties a transaction changed.
        class $X::Impl::Changes : public $CHANGES {
        public:
            using $CHANGES::Changes;
        };
        """, **names(c))


def builder_impl_class(c):
    fields = [f"{p.generator.builder_field_type()} {p.field}{{}};" for p in in_field_order(c)]
    return cpp("""
        // The values a builder of $X collects.
        class $X::Impl::BuilderImpl {
        public:
            virtual ~BuilderImpl();
            $store
            bool isSet(std::size_t index) const { return m_owner->isSet(index); }
            // Registers a builder with the orchestration this builder belongs to.
            void addBuilder($BUILDER* builder) const;

        protected:
            explicit BuilderImpl($BUILDER& owner) noexcept : m_owner(&owner) {}
            std::size_t doSetOrAdd($PROPERTY property, const $VALUE& value);
            std::size_t doSetOrAdd($PROPERTY property, std::unique_ptr<$BUILDER>& nested);

        private:
            friend class $X::Impl;
            $readers
            $BUILDER* m_owner;
            $fields
        };
        """, **names(c, store=lines(each(c, "builder_store", c.stored)),
                     readers=lines(each(c, "builder_readers", c.stored)), fields=lines(fields)))


def builder_base_class(c):
    take = cpp("""
        
        B& take($PROPERTY property, std::unique_ptr<$BUILDER>& nested) {
            setOrAdd(property, nested);
            return self();
        }""", **names(c)) if c.any_property("takes_nested") else ""
    return cpp("""
        // The builder of $X with its typed setters; X::Builder completes it.
        template <class B>
        class $X::Impl::BuilderBase : public $BUILDER, public $X::Impl::BuilderImpl {
        public:
            BuilderBase() : BuilderBase(std::size_t{$bits}) {}
            explicit BuilderBase(const $F::Model& model) : BuilderBase(model, std::size_t{$bits}) {}
            using $BUILDER::isSet;

            $setters

            $X create$X($UUID id) { return create$X(false, id); }

            void setOrAdd($PROPERTY property, std::unique_ptr<$BUILDER>& nested) override {
                std::size_t index = this->doSetOrAdd(property, nested);
                if (index == SIZE_MAX) $BUILDER::setOrAdd(property, nested);
                else markSet(index);
            }
            void setOrAdd($PROPERTY property, const $VALUE& value) override {
                std::size_t index = this->doSetOrAdd(property, value);
                if (index == SIZE_MAX) $BUILDER::setOrAdd(property, value);
                else markSet(index);
            }

        protected:
            BuilderBase(const $F::Model& model, std::size_t bits)
                : $BUILDER(model, bits), BuilderImpl(static_cast<$BUILDER&>(*this)) {}
            explicit BuilderBase(std::size_t bits) : $BUILDER(bits), BuilderImpl(static_cast<$BUILDER&>(*this)) {}
            $F::ModelElement doCreate(bool unannounced, $UUID id) override { return create$X(unannounced, id); }

        private:
            B& self() noexcept { return static_cast<B&>(*this); }
            $take
            $X create$X(bool unannounced, $UUID id) {
                return $F::pattern::createFromBuilder<$X>(
                    *this, unannounced, [&] { return Impl::handle(new Impl(static_cast<BuilderImpl&>(*this), id), true); },
                    [&](Impl& created) { created.cascadeCreation(*this); });
            }
        };

        class $X::Builder final : public $X::Impl::BuilderBase<$X::Builder> {
        public:
            Builder() = default;
            explicit Builder(const $F::Model& model) : BuilderBase(model) {}
            const $F::meta::Class& getMetaClass() const override { return $X::metaClass(); }
        };

        // Passes a builder of $X to the create-into operations; it does not own the builder.
        class $X::BuilderWrapper {
        public:
            BuilderWrapper($BUILDER* builder) noexcept : m_builder(builder) {}
            ~BuilderWrapper() = default;
            $BUILDER* get() const noexcept { return m_builder; }
            $BUILDER* operator->() const noexcept { return m_builder; }

        private:
            $BUILDER* m_builder;
        };

        inline $X::$X(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {}
        """, **names(c, bits=c.count + 1, setters=lines(each(c, "builder_setters", c.stored)), take=take))


def header(schema, c, banner):
    includes = "\n".join(f"#include <arvelle/treeNode/{r}.hpp>" for r in c.related)
    return cpp("""
        $banner
        #pragma once

        #include <arvelle/treeNode/Enums.hpp>
        #include <arvelle/treeNode/Schema.hpp>
        #include <arvelle/nativeTypes/HostTypes.hpp>

        #include <fenmo/Builder.hpp>
        #include <fenmo/DoubleKeyElementMap.hpp>
        #include <fenmo/ElementSequence.hpp>
        #include <fenmo/Enumerator.hpp>
        #include <fenmo/PrimitiveSet.hpp>
        #include <fenmo/meta/Operation.hpp>
        #include <fenmo/pattern/Creation.hpp>
        #include <fenmo/pattern/Reflection.hpp>
        #include <fenmo/query/Query.hpp>

        #include <boost/optional.hpp>

        #include <cstddef>
        #include <initializer_list>
        #include <memory>
        #include <string>
        #include <utility>
        #include <vector>

        namespace tav::fenmo::treeNode {

        $forward
        $handle
        }  // namespace tav::fenmo::treeNode

        // The classes this one refers to, once its handle is complete.
        $includes

        namespace tav::fenmo::treeNode {

        $impl
        $storage
        $builder_impl
        $builder_base
        $constrainables
        }  // namespace tav::fenmo::treeNode
        """, banner=banner, constrainables=constrainables.constrainables_class(c),
               forward=lines([f"class {r};" for r in c.related], "" if c.related else None), handle=handle_class(c), includes=includes, impl=impl_class(c),
               storage=storage_classes(c), builder_impl=builder_impl_class(c), builder_base=builder_base_class(c))
