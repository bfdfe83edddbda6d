"""Emits the header of one element class: handle, Impl, Storage, Changes and builders."""

from cpp_types import (BUILDER, CHANGES, F, PROPERTY, STORAGE, TAG, UUID, VALUE, builder_field_type, field_type,
                       optional, param)


def handle_class(c):
    return f"""
// A counted reference to a {c.name} element.
class {c.name} : public {F}::ElementHandle<{c.name}> {{
public:
    class Impl;
    class Builder;
    class BuilderWrapper;
    class Constrainables;

    {c.name}() noexcept = default;

    // A new element with no property set, announced in a transaction of its own.
    static {c.name} create(const {F}::Model& model, {UUID} id);
    static const {F}::meta::Class& metaClass();

private:
    friend class Impl;
    {c.name}(Impl* impl, bool addRef) noexcept;
    using {F}::ModelElement::release;
    using {F}::ModelElement::swap;
    using {F}::ModelElement::addRef;
    using {F}::ModelElement::removeRef;
}};
"""


def accessors(schema, c, p):
    """(public lines, protected lines, private lines) of the Impl for one property."""
    pub, prot, priv = [], [], []
    P, Y = p.cap, p.type
    cat = p.category
    if cat == "optional":
        pub.append(f"    const {optional(p)}& get{P}() const noexcept {{ return {p.field}; }}")
        pub.append(f"    bool has{P}() const noexcept {{ return {p.field}.has_value(); }}")
        (pub if p.public_mutator else prot).append(f"    void set{P}(const {optional(p)}& value);")
    elif cat == "plain":
        ret = f"const {p.cpp}&" if p.cpp == "std::u16string" else p.cpp
        pub.append(f"    {ret} get{P}() const noexcept {{ return {p.field}; }}")
        virtual = "virtual " if p.virtual_setter else ""
        if not p.virtual_setter:
            pub.append(f"    {virtual}void set{P}({param(p.cpp)} value);")
    elif cat == "containment":
        pub.append(f"    {Y} get{P}();")
        pub.append(f"    bool has{P}() const noexcept {{ return static_cast<bool>({p.field}); }}")
        pub.append(f"    void set{P}(const {Y}& value);")
        pub.append(f"    {Y} createInto{P}({Y}::BuilderWrapper builder, {UUID} id);")
        priv.append(f"    void basicSet{P}(const {Y}& value);")
    elif cat == "reference":
        pub.append(f"    {Y} get{P}();")
        pub.append(f"    bool has{P}() const noexcept {{ return static_cast<bool>({p.field}); }}")
        pub.append(f"    void set{P}(const {Y}& value);")
        priv.append(f"    void basicSet{P}(const {Y}& value);")
    elif cat in ("sequence", "map", "set"):
        ct = field_type(schema, p)
        pub.append(f"    const {ct}& get{P}() const;")
        pub.append(f"    {ct}& get{P}Mutable();")
        pub.append(f"    bool has{P}() const noexcept {{ return !{p.field}.empty(); }}")
        if cat == "sequence" and p.composite:
            pub.append(f"    {Y} createInto{P}({Y}::BuilderWrapper builder, {UUID} id);")
    elif cat == "derived_value":
        pub.append(f"    {p.cpp} get{P}() const;")
    elif cat == "derived_element":
        pub.append(f"    {Y} get{P}();")
        pub.append(f"    bool has{P}() const;")
        pub.append(f"    void set{P}(const {Y}& value);")
    return pub, prot, priv


def descriptor(schema, c, p):
    """The pattern descriptor of a property in the class's property list."""
    P, h = p.cap, f"&{p.handle_fn}"
    cat = p.category
    if cat == "optional":
        access = "" if p.public_mutator else f", {F}::pattern::Access::Privileged"
        return f"{F}::pattern::OptionalValue<&Impl::{p.field}, {p.index}, {h}, &Impl::set{P}{access}>"
    if cat == "plain":
        return f"{F}::pattern::PlainValue<&Impl::{p.field}, {p.index}, {h}, &Impl::set{P}>"
    if cat == "containment":
        return f"{F}::pattern::ContainmentSlot<&Impl::{p.field}, {p.index}, {h}, &Impl::set{P}, &Impl::get{P}>"
    if cat == "reference":
        return f"{F}::pattern::ReferenceSlot<&Impl::{p.field}, {p.index}, {h}, &Impl::set{P}, &Impl::get{P}>"
    if cat in ("sequence", "map"):
        return f"{F}::pattern::OwnedCollection<&Impl::{p.field}, {p.index}, {h}, {F}::pattern::SameWhenEmptyOrSingleSame>"
    if cat == "set":
        return f"{F}::pattern::OwnedCollection<&Impl::{p.field}, {p.index}, {h}, {F}::pattern::SameWhenBothEmpty, true>"
    if cat == "derived_value":
        return f"{F}::pattern::DerivedValue<&Impl::get{P}, {h}>"
    if cat == "derived_element":
        return f"{F}::pattern::DerivedElement<&Impl::get{P}, &Impl::has{P}, &Impl::set{P}, {h}>"
    raise ValueError(cat)


def impl_class(schema, c):
    pub, prot, priv = [], [], []
    for p in c.properties:
        a, b, d = accessors(schema, c, p)
        pub += a
        prot += b
        priv += d
    has_collections = any(p.category in ("sequence", "map", "set") for p in c.properties)
    overrides = [
        "    ~Impl() override;",
        f"    const {F}::meta::Class& getMetaClass() const override;",
    ]
    if has_collections:
        overrides.append("    void invalidate() override;")
    overrides += [
        f"    bool hasPropertyValue({PROPERTY} property, {TAG} tag) const override;",
        f"    {VALUE} getPropertyValue({PROPERTY} property, {TAG} tag) override;",
        f"    void setPropertyValue({PROPERTY} property, const {VALUE}& value, {TAG} tag) override;",
        "    void doDestroy(bool notify, bool disassociate) override;",
        f"    void inverseAdd(const {F}::ModelElement& element, {PROPERTY} property) override;",
        f"    void inverseRemove(const {F}::ModelElement& element, {PROPERTY} property) override;",
        f"    bool inverseContainsProxyTo(const {F}::ModelElement& element, {PROPERTY} property) const override;",
        f"    void basicAssociate(const {F}::ModelElement& element, {PROPERTY} property) override;",
        "    void disassociateIncoming() override;",
        f"    void convertReferencesToProxies(bool otherModelsOnly, boost::optional<{F}::ProxyId>& id) override;",
        "    void basicDisassociateAll() override;",
        f"    {CHANGES}* createChanges() const override;",
        f"    {STORAGE}* createStorage() const override;",
        f"    void copyValue({STORAGE}* storage, std::size_t index) const override;",
        f"    void copyStateFromStorage({STORAGE}* storage) override;",
        f"    {F}::meta::Property getPropertyByIndex(std::size_t index) override;",
    ]
    appended_public = [f"    virtual void set{p.cap}({param(p.cpp)} value);" for p in c.properties if p.virtual_setter]
    appended_protected = [f"    virtual void {o.name}(const {o.argument_type}& {o.argument_name});" for o in c.operations]
    invokers = [f"    static std::unique_ptr<{F}::meta::AbstractMethodInvoker> make{o.name[0].upper() + o.name[1:]}Invoker("
                f"const {F}::meta::Operation& operation);" for o in c.operations]
    fields = [f"    {field_type(schema, p)} {p.field}{' = 0' if p.cpp == 'int' and p.category == 'plain' else ''};"
              for p in c.stored]
    props = ",\n        ".join(descriptor(schema, c, p) for p in c.properties)
    sections = [
        f"class {c.name}::Impl : public {F}::ModelElement::Impl {{",
        "public:",
        "    class Storage;",
        "    class Changes;",
        "    class BuilderImpl;",
        "    template <class B>",
        "    class BuilderBase;",
        "",
        *pub,
        *[f"    {m};" for m in c.methods],
        "",
        *overrides,
        *appended_public,
        *invokers,
        "",
        "protected:",
        f"    Impl(const {F}::Model& model, {UUID} id);",
        f"    Impl(BuilderImpl& builder, {UUID} id);",
        "    void cascadeCreation(BuilderImpl& builder);",
        *prot,
        *appended_protected,
        "",
        "private:",
        f"    friend class {c.name};",
        *[f"    friend class {f};" for f in c.friends],
        f"    {c.name} This() const;",
        f"    static {c.name} handle(Impl* impl, bool addRef) noexcept {{ return {c.name}(impl, addRef); }}",
        *priv,
        *[f"    {m};" for m in c.private_methods],
        "",
        *fields,
        "",
        "public:",
        "    // The class's properties in index order, for the operations written once for all classes.",
        f"    using Properties = {F}::pattern::PropertyList<\n        {props}>;",
        "};",
    ]
    return "\n".join(sections) + "\n"


def storage_classes(c):
    return f"""
// The old values of the properties a transaction changed.
class {c.name}::Impl::Storage : public {F}::pattern::SnapshotStorage<{c.name}::Impl::Properties> {{
public:
    Storage({UUID} id, const {F}::Model& model, const {F}::meta::Class& metaClass, std::size_t count);
    ~Storage() override;
    bool revertUnchanged({F}::ModelElement::Impl* element) override;
    {VALUE} getOldValue({PROPERTY} property, {TAG} tag) override;
}};

// Which properties a transaction changed.
class {c.name}::Impl::Changes : public {CHANGES} {{
public:
    using {CHANGES}::Changes;
}};
"""


def builder_impl_class(c):
    pub, priv, fields = [], [], []
    for p in c.stored:
        P, t = p.cap, builder_field_type(p)
        cat = p.category
        if cat == "optional":
            pub.append(f"    void doSet{P}(const {optional(p)}& value) {{ {p.field} = {F}::checkEnumerator(value); }}")
            priv.append(f"    {optional(p)} get{P}() const {{ return {F}::pattern::collected(*m_owner, {p.index}, {p.field}); }}")
        elif cat == "plain":
            pub.append(f"    void doSet{P}({param(p.cpp)} value) {{ {p.field} = {F}::checkEnumerator(value); }}")
            priv.append(f"    {p.cpp} get{P}() const {{ return {F}::pattern::collectedPlain(*m_owner, {p.index}, {p.field}); }}")
        elif cat == "reference":
            pub.append(f"    void doSet{P}(const {p.type}& value) {{ {p.field} = value; }}")
        elif cat == "containment":
            pub.append(f"    void doSet{P}(std::unique_ptr<{BUILDER}> nested) {{ {p.field} = std::move(nested); }}")
            pub.append(f"    // The element of the nested builder, created in this builder's orchestration.")
            pub.append(f"    {p.type} get{P}();")
        elif cat == "sequence":
            pub.append(f"    void doAdd{P}(std::unique_ptr<{BUILDER}> nested) {{ {p.field}.push_back(std::move(nested)); }}")
            pub.append(f"    void doClear{P}() {{ {p.field}.clear(); }}")
        elif cat in ("map", "set"):
            arg = f"const {p.cpp}&" if cat == "map" else p.cpp
            store = f"{F}::checkEnumerator(value)" if cat == "set" else "value"
            pub.append(f"    void doAdd{P}({arg} value) {{ {p.field}.push_back({store}); }}")
            pub.append(f"    void doClear{P}() {{ {p.field}.clear(); }}")
        fields.append(f"    {t} {p.field}{{}};")
    return "\n".join([
        f"// The values a builder of {c.name} collects.",
        f"class {c.name}::Impl::BuilderImpl {{",
        "public:",
        "    virtual ~BuilderImpl();",
        *pub,
        f"    bool isSet(std::size_t index) const {{ return m_owner->isSet(index); }}",
        f"    // Registers a builder with the orchestration this builder belongs to.",
        f"    void addBuilder({BUILDER}* builder) const;",
        "",
        "protected:",
        f"    explicit BuilderImpl({BUILDER}& owner) noexcept : m_owner(&owner) {{}}",
        f"    std::size_t doSetOrAdd({PROPERTY} property, const {VALUE}& value);",
        f"    std::size_t doSetOrAdd({PROPERTY} property, std::unique_ptr<{BUILDER}>& nested);",
        "",
        "private:",
        f"    friend class {c.name}::Impl;",
        *priv,
        f"    {BUILDER}* m_owner;",
        *fields,
        "};",
    ]) + "\n"


def builder_base_class(schema, c):
    bits = c.count + 1
    setters = []
    for p in c.stored:
        P, i = p.cap, p.index
        cat = p.category
        if cat == "optional":
            setters.append(f"    B& set{P}(const {optional(p)}& value) {{ this->doSet{P}(value); markSet({i}); return self(); }}")
            setters.append(f"    B& unset{P}() {{ markUnset({i}); return self(); }}")
        elif cat == "plain":
            setters.append(f"    B& set{P}({param(p.cpp)} value) {{ this->doSet{P}(value); markSet({i}); return self(); }}")
            setters.append(f"    B& unset{P}() {{ markUnset({i}); return self(); }}")
        elif cat == "reference":
            setters.append(f"    // An empty or destroyed element clears the mark.")
            setters.append(f"    B& set{P}(const {p.type}& value) {{")
            setters.append(f"        if (value) markSet({i});")
            setters.append(f"        else markUnset({i});")
            setters.append(f"        this->doSet{P}(value);")
            setters.append(f"        return self();")
            setters.append(f"    }}")
        elif cat == "containment":
            setters.append(f"    // Takes a nested builder of a class that fits; refuses others like setOrAdd.")
            setters.append(f"    B& set{P}(std::unique_ptr<{BUILDER}> nested) {{ return take({p.handle_fn}(), nested); }}")
        elif cat == "sequence":
            setters.append(f"    B& add{P}(std::unique_ptr<{BUILDER}> nested) {{ return take({p.handle_fn}(), nested); }}")
            setters.append(f"    B& clear{P}() {{ this->doClear{P}(); return self(); }}")
        elif cat == "map":
            setters.append(f"    B& add{P}(const {p.type}& value) {{ markSet({i}); this->doAdd{P}(value); return self(); }}")
            setters.append(f"    B& clear{P}() {{ this->doClear{P}(); return self(); }}")
        elif cat == "set":
            setters.append(f"    B& add{P}({p.cpp} value) {{ this->doAdd{P}(value); markSet({i}); return self(); }}")
            setters.append(f"    B& add{P}(std::initializer_list<{p.cpp}> values) {{")
            setters.append(f"        for ({p.cpp} value : values) {F}::checkEnumerator(value);")
            setters.append(f"        for ({p.cpp} value : values) this->doAdd{P}(value);")
            setters.append(f"        markSet({i});")
            setters.append(f"        return self();")
            setters.append(f"    }}")
            setters.append(f"    B& clear{P}() {{ this->doClear{P}(); markUnset({i}); return self(); }}")
    take = []
    if c.has("containment") or c.has("sequence"):
        take = [
            "",
            f"    B& take({PROPERTY} property, std::unique_ptr<{BUILDER}>& nested) {{",
            "        setOrAdd(property, nested);",
            "        return self();",
            "    }",
        ]
    X = c.name
    return "\n".join([
        f"// The builder of {X} with its typed setters; X::Builder completes it.",
        "template <class B>",
        f"class {X}::Impl::BuilderBase : public {BUILDER}, public {X}::Impl::BuilderImpl {{",
        "public:",
        f"    BuilderBase() : BuilderBase(std::size_t{{{bits}}}) {{}}",
        f"    explicit BuilderBase(const {F}::Model& model) : BuilderBase(model, std::size_t{{{bits}}}) {{}}",
        f"    using {BUILDER}::isSet;",
        "",
        *setters,
        "",
        f"    {X} create{X}({UUID} id) {{ return create{X}(false, id); }}",
        "",
        f"    void setOrAdd({PROPERTY} property, std::unique_ptr<{BUILDER}>& nested) override {{",
        "        std::size_t index = this->doSetOrAdd(property, nested);",
        f"        if (index == SIZE_MAX) {BUILDER}::setOrAdd(property, nested);",
        "        else markSet(index);",
        "    }",
        f"    void setOrAdd({PROPERTY} property, const {VALUE}& value) override {{",
        "        std::size_t index = this->doSetOrAdd(property, value);",
        f"        if (index == SIZE_MAX) {BUILDER}::setOrAdd(property, value);",
        "        else markSet(index);",
        "    }",
        "",
        "protected:",
        f"    BuilderBase(const {F}::Model& model, std::size_t bits)",
        f"        : {BUILDER}(model, bits), BuilderImpl(static_cast<{BUILDER}&>(*this)) {{}}",
        f"    explicit BuilderBase(std::size_t bits) : {BUILDER}(bits), BuilderImpl(static_cast<{BUILDER}&>(*this)) {{}}",
        f"    {F}::ModelElement doCreate(bool unannounced, {UUID} id) override {{ return create{X}(unannounced, id); }}",
        "",
        "private:",
        "    B& self() noexcept { return static_cast<B&>(*this); }",
        *take,
        f"    {X} create{X}(bool unannounced, {UUID} id) {{",
        f"        return {F}::pattern::createFromBuilder<{X}>(",
        f"            *this, unannounced, [&] {{ return Impl::handle(new Impl(static_cast<BuilderImpl&>(*this), id), true); }},",
        "            [&](Impl& created) { created.cascadeCreation(*this); });",
        "    }",
        "};",
        "",
        f"class {X}::Builder final : public {X}::Impl::BuilderBase<{X}::Builder> {{",
        "public:",
        "    Builder() = default;",
        f"    explicit Builder(const {F}::Model& model) : BuilderBase(model) {{}}",
        f"    const {F}::meta::Class& getMetaClass() const override {{ return {X}::metaClass(); }}",
        "};",
        "",
        f"// Passes a builder of {X} to the create-into operations; it does not own the builder.",
        f"class {X}::BuilderWrapper {{",
        "public:",
        f"    BuilderWrapper({BUILDER}* builder) noexcept : m_builder(builder) {{}}",
        "    ~BuilderWrapper() = default;",
        f"    {BUILDER}* get() const noexcept {{ return m_builder; }}",
        f"    {BUILDER}* operator->() const noexcept {{ return m_builder; }}",
        "",
        "private:",
        f"    {BUILDER}* m_builder;",
        "};",
        "",
        f"inline {X}::{X}(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {{}}",
    ]) + "\n"


def header(schema, c, banner):
    includes = [f"#include <arvelle/treeNode/{r}.hpp>" for r in c.related]
    return f"""{banner}
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

#include <boost/optional.hpp>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace tav::fenmo::treeNode {{
{handle_class(c)}
}}  // namespace tav::fenmo::treeNode

// The classes this one refers to, once its handle is complete.
{chr(10).join(includes)}

namespace tav::fenmo::treeNode {{

{impl_class(schema, c)}{storage_classes(c)}
{builder_impl_class(c)}
{builder_base_class(schema, c)}
}}  // namespace tav::fenmo::treeNode
"""
