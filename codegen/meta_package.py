"""Emits the meta-package (its handle fields and registration passes), the schema accessors, the
enumerations and the builder factories."""

from cpp_types import BUILDER, F, type_handle, u16


def field_list(schema):
    """(C++ type, field name) in declaration order: packages, native types, classes with their
    properties and operations, enumerations with their literals."""
    fields = [("meta::Package", "m_rootPackage"), ("meta::Package", "m_nativeTypesPackage")]
    fields += [("meta::PrimitiveType", f"m_{t.name}") for t in schema.native_types]
    fields.append(("meta::Package", "m_treeNodePackage"))
    for c in schema.classes:
        fields.append(("meta::Class", f"m_{c.name}"))
        fields += [("meta::Property", f"m_{c.name}_{p.name}") for p in c.properties]
        for o in c.operations:
            fields.append(("meta::Operation", f"m_{c.name}_{o.name}"))
            fields.append(("meta::Argument", f"m_{c.name}_{o.name}_{o.argument_name}"))
    for e in schema.enums:
        fields.append(("meta::Enum", f"m_{e.name}"))
        fields += [("meta::EnumLiteral", f"m_{e.name}_{lit.name}") for lit in e.literals]
    return fields


def schema_header(schema, banner):
    structs = []
    for c in schema.classes:
        lines = [f"struct {c.name} {{", f"    static const {F}::meta::Class& metaClass();"]
        lines += [f"    static const {F}::meta::Property& {p.name}();" for p in c.properties]
        for o in c.operations:
            lines.append(f"    static const {F}::meta::Operation& {o.name}();")
            lines.append(f"    static const {F}::meta::Argument& {o.name}_{o.argument_name}();")
        lines.append("};")
        structs.append("\n".join(lines))
    for e in schema.enums:
        lines = [f"struct {e.name} {{", f"    static const {F}::meta::Enum& type();"]
        lines += [f"    static const {F}::meta::EnumLiteral& {lit.name}();" for lit in e.literals]
        lines.append("};")
        structs.append("\n".join(lines))
    natives = "\n".join(f"    static const {F}::meta::PrimitiveType& {t.name}();" for t in schema.native_types)
    return f"""{banner}
#pragma once
// The metamodel handles of the library, as registered by the meta-package: one accessor per package,
// class, property, operation, argument, enumeration and literal.

#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/Type.hpp>

namespace tav::fenmo::treeNode::schema {{

const {F}::meta::Package& rootPackage();
const {F}::meta::Package& treeNodePackage();
const {F}::meta::Package& nativeTypesPackage();

struct nativeTypes {{
{natives}
}};

{chr(10).join(structs)}

}}  // namespace tav::fenmo::treeNode::schema
"""


def meta_package_header(schema, banner):
    fields = "\n".join(f"    {F}::{t} {name};" for t, name in field_list(schema))
    friends = "\n".join(f"    friend struct treeNode::schema::{n};" for n in
                        ["nativeTypes"] + [c.name for c in schema.classes] + [e.name for e in schema.enums])
    return f"""{banner}
#pragma once

#include <arvelle/treeNode/Schema.hpp>

#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <functional>
#include <vector>

namespace tav::fenmo {{

// The library's metamodel: a process-wide singleton that registers the root package, the nativeTypes
// and treeNode packages and their serializers when it is built, and takes everything out again when it
// is destroyed (the library is unloaded).
class MetaPackageArvelle : public {F}::meta::AbstractMetaPackage {{
public:
    static constexpr const char* kRootIdentity = "{schema.library['root_identity']}";
    static constexpr const char16_t* kRootUri = u"{schema.root_uri}";

    // The singleton, built (and the metamodel registered) by the first call. A failed construction
    // leaves nothing registered; the next call tries again.
    static MetaPackageArvelle* getInstance();

    // Runs `cleanup` at the start of tear-down, while every handle is still valid (first added, first run).
    void addCleanup(std::function<void()> cleanup);

    // Copies share the handles (adding a reference) and copy the cleanup list; only the instance
    // getInstance built runs the cleanups and takes the metamodel out when it is destroyed.
    MetaPackageArvelle(const MetaPackageArvelle&) = default;
    MetaPackageArvelle& operator=(const MetaPackageArvelle&) = default;
    ~MetaPackageArvelle() override;

private:
    MetaPackageArvelle();
    void initialize();
    void instantiate_nativeTypes({F}::meta::MetaRegistry* registry);
    void instantiate_treeNode({F}::meta::MetaRegistry* registry);
    void weave_nativeTypes({F}::meta::MetaRegistry* registry, {F}::meta::PropertySerializerRegistry* serializers);
    void weave_treeNode({F}::meta::MetaRegistry* registry, {F}::meta::PropertySerializerRegistry* serializers);
    void removeSerializers() noexcept;
    void destroyRootPackage() noexcept;

    friend const {F}::meta::Package& treeNode::schema::rootPackage();
    friend const {F}::meta::Package& treeNode::schema::treeNodePackage();
    friend const {F}::meta::Package& treeNode::schema::nativeTypesPackage();
{friends}

{fields}
    std::vector<std::function<void()>> m_cleanups;
}};

}}  // namespace tav::fenmo
"""


def accessor_definitions(schema):
    out = ["namespace {",
           "const MetaPackageArvelle& package() { return *MetaPackageArvelle::getInstance(); }",
           "}  // namespace", "",
           "namespace treeNode::schema {", "",
           f"const {F}::meta::Package& rootPackage() {{ return package().m_rootPackage; }}",
           f"const {F}::meta::Package& treeNodePackage() {{ return package().m_treeNodePackage; }}",
           f"const {F}::meta::Package& nativeTypesPackage() {{ return package().m_nativeTypesPackage; }}"]
    for t in schema.native_types:
        out.append(f"const {F}::meta::PrimitiveType& nativeTypes::{t.name}() {{ return package().m_{t.name}; }}")
    for c in schema.classes:
        out.append(f"const {F}::meta::Class& {c.name}::metaClass() {{ return package().m_{c.name}; }}")
        for p in c.properties:
            out.append(f"const {F}::meta::Property& {c.name}::{p.name}() {{ return package().m_{c.name}_{p.name}; }}")
        for o in c.operations:
            out.append(f"const {F}::meta::Operation& {c.name}::{o.name}() {{ return package().m_{c.name}_{o.name}; }}")
            out.append(f"const {F}::meta::Argument& {c.name}::{o.name}_{o.argument_name}() {{ "
                       f"return package().m_{c.name}_{o.name}_{o.argument_name}; }}")
    for e in schema.enums:
        out.append(f"const {F}::meta::Enum& {e.name}::type() {{ return package().m_{e.name}; }}")
        for lit in e.literals:
            out.append(f"const {F}::meta::EnumLiteral& {e.name}::{lit.name}() {{ return package().m_{e.name}_{lit.name}; }}")
    out += ["", "}  // namespace treeNode::schema"]
    return "\n".join(out)


def instantiate_passes(schema):
    native = ["void MetaPackageArvelle::instantiate_nativeTypes(meta::MetaRegistry* registry) {",
              "    auto locked = registry->getMetaRegistryModel();",
              f"    m_nativeTypesPackage = createPackage({u16(schema.native_package['name'])}, {u16(schema.native_package_uri)});"]
    for t in schema.native_types:
        native.append(f"    m_{t.name} = meta::PrimitiveType::create(locked.model(), id(\"{t.identity}\"));")
        native.append(f"    m_{t.name}->setName({u16(t.name)});")
    native.append("}")

    tree = ["void MetaPackageArvelle::instantiate_treeNode(meta::MetaRegistry* registry) {",
            "    auto locked = registry->getMetaRegistryModel();",
            f"    m_treeNodePackage = createPackage({u16(schema.package['name'])}, {u16(schema.package_uri)});"]
    qprefix = schema.package["qualified_prefix"]
    for c in schema.classes:
        tree.append(f"    m_{c.name} = createClass({u16(c.name)}, {u16(qprefix + c.name)}, false, false, id(\"{c.identity}\"));")
        for p in c.properties:
            f = f"m_{c.name}_{p.name}"
            composite = "true" if p.composite else "false"
            tree.append(f"    {f} = createProperty({u16(p.name)}, {p.kind.cpp}, {composite}, id(\"{p.identity}\"));")
            flags = []
            if p.derived:
                flags.append(f"{f}->setDerived(true);")
            if p.read_only:
                flags.append(f"{f}->setReadOnly(true);")
            if p.ordered:
                flags.append(f"{f}->setOrdered(true);")
            if p.unique:
                flags.append(f"{f}->setUnique(true);")
            if p.transient:
                flags.append(f"{f}->setTransient(true);")
            if not p.public_mutator:
                flags.append(f"{f}->setPublicMutator(false);")
            if p.default_none:
                flags.append(f"{f}->setDefaultValue(boost::none);")
            if p.index is not None:
                flags.append(f"setPropertyIndex({f}, {p.index});")
            tree += ["    " + line for line in flags]
        for o in c.operations:
            of, af = f"m_{c.name}_{o.name}", f"m_{c.name}_{o.name}_{o.argument_name}"
            tree.append(f"    {of} = createOperation({u16(o.name)}, id(\"{o.identity}\"));")
            tree += [f"    {of}->setAbstract(false);", f"    {of}->setStatic(false);",
                     f"    {of}->setPublic(false);", f"    {of}->setEvent(false);"]
            tree.append(f"    {af} = createArgument({u16(o.argument_name)}, id(\"{o.argument_identity}\"));")
            tree.append(f"    {af}->setInput(true);")
    for e in schema.enums:
        tree.append(f"    m_{e.name} = createEnum({u16(e.name)}, id(\"{e.identity}\"));")
        for lit in e.literals:
            tree.append(f"    m_{e.name}_{lit.name} = createEnumLiteral({u16(lit.name)}, {lit.value}, id(\"{lit.identity}\"));")
    tree.append("}")
    return "\n".join(native) + "\n\n" + "\n".join(tree)


def weave_passes(schema):
    native = ["void MetaPackageArvelle::weave_nativeTypes(meta::MetaRegistry* registry,",
              "                                          meta::PropertySerializerRegistry* serializers) {",
              "    m_nativeTypesPackage->setParentPackage(m_rootPackage);"]
    for t in schema.native_types:
        f = f"m_{t.name}"
        native.append(f"    {f}->setOwningPackage(m_nativeTypesPackage);")
        native.append(f"    registry->registerType({f}, std::make_unique<meta::CollectionInstantiatorImpl<{t.cpp}, "
                      f"{t.instantiator_kind}, 0>>(), nullptr);")
        native.append(f"    registry->registerTypeNames({f}, {u16(t.native_name)}, u\"\", typeid({t.cpp}).name());")
        if t.serializer:
            native.append(f"    serializers->registerPropertySerializer({f}, new ::nativeTypes::{t.serializer}({f}), meta::SerializerKey::Default);")
    native.append("}")

    tree = ["void MetaPackageArvelle::weave_treeNode(meta::MetaRegistry* registry,",
            "                                       meta::PropertySerializerRegistry* serializers) {",
            "    m_treeNodePackage->setParentPackage(m_rootPackage);"]
    qprefix, nprefix = schema.package["qualified_prefix"], schema.package["native_prefix"]
    for c in schema.classes:
        cf = f"m_{c.name}"
        tree.append(f"    {cf}->setOwningPackage(m_treeNodePackage);")
        tree.append(f"    {cf}->addSuperclass({F}::ModelElement::metaClass());")
        for p in c.properties:
            f = f"m_{c.name}_{p.name}"
            tree.append(f"    {f}->setOwningType({cf});")
            tree.append(f"    {f}->setType({type_handle(schema, p.type)});")
            tree.append(f"    {f}->setQualificationUnique(true);")
            if p.opposite:
                oc, op = p.opposite.split(".")
                tree.append(f"    {f}->setOpposite(m_{oc}_{op});")
            if p.custom_qualification:
                tree.append(f"    {f}->setCustomQualification(true);")
        for o in c.operations:
            of, af = f"m_{c.name}_{o.name}", f"m_{c.name}_{o.name}_{o.argument_name}"
            cap = o.name[0].upper() + o.name[1:]
            tree += [f"    {of}->setOwningType({cf});",
                     f"    {af}->setType(m_{o.argument_type});",
                     f"    {af}->setOperation({of});",
                     f"    {af}->setLower(1);",
                     f"    {af}->setUpper(1);",
                     f"    setInvoker({of}, treeNode::{c.name}::Impl::make{cap}Invoker({of}));"]
        tree.append(f"    registry->registerType({cf}, std::make_unique<meta::CollectionInstantiatorImpl<treeNode::{c.name}, "
                    f"{c.instantiator_kind}, 0>>(), &treeNode::make{c.name}Builder);")
        tree.append(f"    registry->registerTypeNames({cf}, {u16(nprefix + c.name)}, {u16(qprefix + c.name)}, \"\");")
    for e in schema.enums:
        ef = f"m_{e.name}"
        tree.append(f"    {ef}->setOwningPackage(m_treeNodePackage);")
        tree.append(f"    {ef}->setUnderlyingType({F}::meta::StandardTypes::integerMeta());")
        for lit in e.literals:
            tree.append(f"    m_{e.name}_{lit.name}->setParentEnum({ef});")
        tree.append(f"    registry->registerType({ef}, std::make_unique<meta::CollectionInstantiatorImpl<treeNode::{e.name}, 0, 0>>(), nullptr);")
        tree.append(f"    registry->registerTypeNames({ef}, {u16('::' + nprefix + e.name)}, {u16(qprefix + e.name)}, \"\");")
        tree.append(f"    serializers->registerPropertySerializer({ef}, new meta::EnumPropertySerializerAsName<treeNode::{e.name}>({ef}), meta::SerializerKey::Default);")
        tree.append(f"    serializers->registerPropertySerializer({ef}, new meta::EnumPropertySerializerAsValue<treeNode::{e.name}>({ef}), meta::SerializerKey::Id);")
        tree.append(f"    serializers->registerPropertySerializer({ef}, new meta::EnumPropertySerializerAsPublicId<treeNode::{e.name}>({ef}), meta::SerializerKey::PublicId);")
    tree.append("}")
    return "\n".join(native) + "\n\n" + "\n".join(tree)


def serializer_removal(schema):
    """The (type, key, class) triples the destructor removes, in order."""
    lines = ["void MetaPackageArvelle::removeSerializers() noexcept {"]
    for t in schema.native_types:
        if t.serializer:
            lines.append(f"    removeSerializer<::nativeTypes::{t.serializer}>(m_{t.name}, meta::SerializerKey::Default);")
    for e in schema.enums:
        lines.append(f"    removeSerializer<meta::EnumPropertySerializerAsName<treeNode::{e.name}>>(m_{e.name}, meta::SerializerKey::Default);")
        lines.append(f"    removeSerializer<meta::EnumPropertySerializerAsValue<treeNode::{e.name}>>(m_{e.name}, meta::SerializerKey::Id);")
        lines.append(f"    removeSerializer<meta::EnumPropertySerializerAsPublicId<treeNode::{e.name}>>(m_{e.name}, meta::SerializerKey::PublicId);")
    lines.append("}")
    return "\n".join(lines)


def meta_package_source(schema, banner):
    includes = "\n".join(f"#include <arvelle/treeNode/{c.name}.hpp>" for c in schema.classes)
    return f"""{banner}
// The registration passes and the handle accessors of the meta-package.

#include "SerializerRemoval.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/meta/EnumSerializers.hpp>
#include <arvelle/nativeTypes/PtrSerializer.hpp>
#include <arvelle/treeNode/BuilderFactories.hpp>
{includes}

#include <fenmo/meta/CollectionInstantiator.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <typeinfo>

namespace tav::fenmo {{

using namespace ::fenmo;

namespace {{
uuid id(const char* text) {{ return uuidFromLiteral(text); }}
}}  // namespace

{instantiate_passes(schema)}

{weave_passes(schema)}

{serializer_removal(schema)}

{accessor_definitions(schema)}

}}  // namespace tav::fenmo
"""


def enums_header(schema, banner):
    enums = []
    for e in schema.enums:
        literals = ", ".join(f"{lit.name} = {lit.value}" for lit in e.literals)
        enums.append(f"enum class {e.name} : std::int32_t {{ {literals} }};")
        # Values run from 0 without gaps: whether one has a literal is a range test.
        enums.append(f"constexpr bool isKnown({e.name} value) noexcept {{\n"
                     f"    return static_cast<std::int32_t>(value) >= 0 && static_cast<std::int32_t>(value) < {len(e.literals)};\n}}")
    return f"""{banner}
#pragma once
// The enumerations of the treeNode package; values count from 0 in literal order. isKnown says whether
// a literal has a value (the framework refuses to store any other).

#include <cstdint>

namespace tav::fenmo::treeNode {{

{chr(10).join(enums)}

}}  // namespace tav::fenmo::treeNode
"""


def builder_factories_header(schema, banner):
    decls = "\n".join(f"std::unique_ptr<{BUILDER}> make{c.name}Builder(const {F}::Model& model);"
                      for c in schema.classes)
    return f"""{banner}
#pragma once
// The builder factory of each class, registered with its metaclass.

#include <fenmo/Builder.hpp>

#include <memory>

namespace tav::fenmo::treeNode {{

{decls}

}}  // namespace tav::fenmo::treeNode
"""


def all_classes_header(schema, banner):
    includes = "\n".join(f"#include <arvelle/treeNode/{c.name}.hpp>" for c in schema.classes)
    return f"""{banner}
#pragma once
// Every element class of the treeNode package.

#include <arvelle/MetaPackageArvelle.hpp>
{includes}
"""
