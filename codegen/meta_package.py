"""Emits the meta-package (its tables, the registration passes over them, the handle accessors), the
schema accessors, the enumerations and the builder factories."""

from cpp_types import BUILDER, F, u16
from printer import cpp

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


class Rows:
    """Where every element of the schema stands in the tables: row numbers in creation order."""

    def __init__(self, schema):
        self.primitive = {t.name: i for i, t in enumerate(schema.native_types)}
        self.cls = {c.name: i for i, c in enumerate(schema.classes)}
        self.enum = {e.name: i for i, e in enumerate(schema.enums)}
        self.property, self.operation, self.literal = {}, {}, {}
        for c in schema.classes:
            for p in c.properties:
                self.property[p.qualified] = len(self.property)
            for o in c.operations:
                self.operation[f"{c.name}.{o.name}"] = len(self.operation)
        for e in schema.enums:
            for lit in e.literals:
                self.literal[f"{e.name}.{lit.name}"] = len(self.literal)

    def type_ref(self, name):
        """The TypeRef of a schema type: a standard type, a native type of the nativeTypes package, or
        a class or enumeration of the treeNode package."""
        if name in STANDARD_REFS:
            return f"{{TypeRef::Table::Standard, TypeRef::{name}}}"
        if name in self.primitive:
            return f"{{TypeRef::Table::Primitive, primitiveRow::{name}, &kNativeTypes}}"
        if name in self.cls:
            return f"{{TypeRef::Table::Class, classRow::{name}}}"
        return f"{{TypeRef::Table::Enum, enumRow::{name}}}"

    def names(self):
        """Named row numbers for the rows that others refer to."""
        def enum(namespace, names):
            return cpp("""
                namespace $namespace {
                enum : std::uint16_t {
                    $names
                };
                }""", namespace=namespace, names="\n".join(f"{name}," for name in names))
        return "\n".join([enum("primitiveRow", self.primitive), enum("classRow", self.cls),
                          enum("enumRow", self.enum),
                          enum("propertyRow", (name.replace(".", "_") for name in self.property))])

    def property_ref(self, qualified):
        return f"propertyRow::{qualified.replace('.', '_')}"


STANDARD_REFS = {"String", "Integer", "Boolean", "ModelElement"}

# The serializers of every enumeration: key and class, in registration order.
ENUM_SERIALIZERS = [("Default", "EnumPropertySerializerAsName"), ("Id", "EnumPropertySerializerAsValue"),
                    ("PublicId", "EnumPropertySerializerAsPublicId")]


def property_flags(p):
    """The PropertyFlag names of a property (the loader applies them in its own fixed order)."""
    flags = [("Derived", p.derived), ("ReadOnly", p.read_only), ("Ordered", p.ordered), ("Unique", p.unique),
             ("Transient", p.transient), ("NoPublicMutator", not p.public_mutator), ("DefaultNone", p.default_none),
             ("QualificationUnique", True), ("CustomQualification", p.custom_qualification)]
    return " | ".join(name for name, on in flags if on)


def serializer_row(key, cls):
    return f"{{SerializerKey::{key}, &makeSerializer<{cls}>, &isSerializer<{cls}>}}"


def instantiator(cpp_type, kind):
    return f"&makeInstantiator<CollectionInstantiatorImpl<{cpp_type}, {kind}, 0>>"


def rows_of(first, count):
    return f"{{{first}, {count}}}"


def native_types_table(schema):
    serializers, primitives = [], []
    for t in schema.native_types:
        first = len(serializers)
        if t.serializer:
            serializers.append(serializer_row("Default", f"::nativeTypes::{t.serializer}"))
        primitives.append(f'{{{u16(t.name)}, "{t.identity}", {u16(t.native_name)}, &typeIdName<{t.cpp}>, '
                          f"{instantiator(t.cpp, t.instantiator_kind)}, {rows_of(first, len(serializers) - first)}}}")
    return cpp("""
        $serializers

        $primitives

        constexpr PackageTable kNativeTypes{$name, $uri, kPrimitives, {}, {}, {}, {}, {}, kNativeSerializers};
        """, serializers=array("SerializerRow", "kNativeSerializers", serializers),
               primitives=array("PrimitiveRow", "kPrimitives", primitives),
               name=u16(schema.native_package["name"]), uri=u16(schema.native_package_uri))


def tree_node_table(schema, rows):
    qualified, native = schema.package["qualified_prefix"], schema.package["native_prefix"]
    properties, operations, classes = [], [], []
    first_property = 0
    for c in schema.classes:
        first_operation = len(operations)
        properties.append(f"// {c.name}")
        for p in c.properties:
            opposite = rows.property_ref(p.opposite) if p.opposite else "kNoRow"
            composite = "true" if p.composite else "false"
            properties.append(f'{{{u16(p.name)}, "{p.identity}", {p.kind.cpp}, {composite}, {property_flags(p)}, '
                              f"{p.index or 'kNoIndex'}, {rows.type_ref(p.type)}, {opposite}}}")
        for o in c.operations:
            cap = o.name[0].upper() + o.name[1:]
            operations.append(f'{{{u16(o.name)}, "{o.identity}", {u16(o.argument_name)}, "{o.argument_identity}", '
                              f"{rows.type_ref(o.argument_type)}, &treeNode::{c.name}::Impl::make{cap}Invoker}}")
        classes.append(f'{{{u16(c.name)}, "{c.identity}", {u16(qualified + c.name)}, {u16(native + c.name)}, '
                       f"{rows.type_ref('ModelElement')}, {rows_of(first_property, len(c.properties))}, "
                       f"{rows_of(first_operation, len(c.operations))}, "
                       f"{instantiator('treeNode::' + c.name, c.instantiator_kind)}, &treeNode::make{c.name}Builder}}")
        first_property += len(c.properties)
    literals, enums, serializers = [], [], []
    for e in schema.enums:
        first_literal, first_serializer = len(literals), len(serializers)
        literals += [f'{{{u16(lit.name)}, "{lit.identity}", {lit.value}}}' for lit in e.literals]
        serializers += [serializer_row(key, f"{cls}<treeNode::{e.name}>") for key, cls in ENUM_SERIALIZERS]
        enums.append(f'{{{u16(e.name)}, "{e.identity}", {u16(qualified + e.name)}, {u16("::" + native + e.name)}, '
                     f"{rows.type_ref('Integer')}, {rows_of(first_literal, len(e.literals))}, "
                     f"{instantiator('treeNode::' + e.name, 0)}, "
                     f"{rows_of(first_serializer, len(serializers) - first_serializer)}}}")
    arrays = [array("PropertyRow", "kProperties", properties), array("OperationRow", "kOperations", operations),
              array("ClassRow", "kClasses", classes), array("LiteralRow", "kLiterals", literals),
              array("SerializerRow", "kTreeNodeSerializers", serializers), array("EnumRow", "kEnums", enums)]
    return cpp("""
        $arrays

        constexpr PackageTable kTreeNode{$name, $uri, {}, kClasses, kProperties, kOperations, kEnums, kLiterals,
                                         kTreeNodeSerializers};
        """, arrays="\n\n".join(arrays), name=u16(schema.package["name"]), uri=u16(schema.package_uri))


def array(row_type, name, rows):
    """A constant table: its rows one a line, each ending in a comma; comment lines stand between them."""
    return cpp("""
        constexpr $row_type $name[] = {
            $rows
        };""", row_type=row_type, name=name, rows="\n".join(row if row.startswith("//") else row + "," for row in rows))


def accessor_definitions(schema, rows):
    out = [f"const {F}::meta::PrimitiveType& nativeTypes::{t.name}() {{ "
           f"return package().m_nativeTypes.primitives[primitiveRow::{t.name}]; }}" for t in schema.native_types]
    for c in schema.classes:
        out.append(f"const {F}::meta::Class& {c.name}::metaClass() {{ "
                   f"return package().m_treeNode.classes[classRow::{c.name}]; }}")
        for p in c.properties:
            out.append(f"const {F}::meta::Property& {c.name}::{p.name}() {{ "
                       f"return package().m_treeNode.properties[{rows.property_ref(p.qualified)}]; }}")
        for o in c.operations:
            row = rows.operation[f"{c.name}.{o.name}"]
            out.append(f"const {F}::meta::Operation& {c.name}::{o.name}() {{ "
                       f"return package().m_treeNode.operations[{row}]; }}")
            out.append(f"const {F}::meta::Argument& {c.name}::{o.name}_{o.argument_name}() {{ "
                       f"return package().m_treeNode.arguments[{row}]; }}")
    for e in schema.enums:
        out.append(f"const {F}::meta::Enum& {e.name}::type() {{ return package().m_treeNode.enums[enumRow::{e.name}]; }}")
        for lit in e.literals:
            out.append(f"const {F}::meta::EnumLiteral& {e.name}::{lit.name}() {{ "
                       f"return package().m_treeNode.literals[{rows.literal[f'{e.name}.{lit.name}']}]; }}")
    return "\n".join(out)


def meta_package_header(schema, banner):
    friends = "\n".join(f"friend struct treeNode::schema::{n};" for n in
                        ["nativeTypes"] + [c.name for c in schema.classes] + [e.name for e in schema.enums])
    return cpp("""
        $banner
        #pragma once

        #include <arvelle/treeNode/Schema.hpp>

        #include <fenmo/meta/AbstractMetaPackage.hpp>
        #include <fenmo/meta/PackageLoader.hpp>
        #include <fenmo/meta/PropertySerializerRegistry.hpp>

        #include <functional>
        #include <vector>

        namespace tav::fenmo {

        // The library's metamodel: a process-wide singleton that registers the root package, the nativeTypes
        // and treeNode packages and their serializers when it is built, and takes everything out again when it
        // is destroyed (the library is unloaded). What it registers is written down in metamodelTables().
        class MetaPackageArvelle : public $F::meta::AbstractMetaPackage {
        public:
            static constexpr const char* kRootIdentity = "$root_identity";
            static constexpr const char16_t* kRootUri = u"$root_uri";

            // The singleton, built (and the metamodel registered) by the first call. A failed construction
            // leaves nothing registered; the next call tries again.
            static MetaPackageArvelle* getInstance();

            // Runs `cleanup` at the start of tear-down, while every handle is still valid (first added, first run).
            void addCleanup(std::function<void()> cleanup);

            // The metamodel as data: the root package and its nativeTypes and treeNode packages, row by row.
            static const $F::meta::RootTable& metamodelTables();

            // Copies share the handles (adding a reference) and copy the cleanup list; only the instance
            // getInstance built runs the cleanups and takes the metamodel out when it is destroyed.
            MetaPackageArvelle(const MetaPackageArvelle&) = default;
            MetaPackageArvelle& operator=(const MetaPackageArvelle&) = default;
            ~MetaPackageArvelle() override;

        private:
            MetaPackageArvelle();
            void initialize();
            void instantiate_nativeTypes($F::meta::MetaRegistry* registry);
            void instantiate_treeNode($F::meta::MetaRegistry* registry);
            void weave_nativeTypes($F::meta::MetaRegistry* registry, $F::meta::PropertySerializerRegistry* serializers);
            void weave_treeNode($F::meta::MetaRegistry* registry, $F::meta::PropertySerializerRegistry* serializers);

            friend const $F::meta::Package& treeNode::schema::rootPackage();
            friend const $F::meta::Package& treeNode::schema::treeNodePackage();
            friend const $F::meta::Package& treeNode::schema::nativeTypesPackage();
            $friends

            // Registers the tables and takes them out again; holds the root package.
            $F::meta::PackageLoader m_loader;
            // The handles of the two packages' rows, in row order.
            $F::meta::LoadedPackage m_nativeTypes;
            $F::meta::LoadedPackage m_treeNode;
            std::vector<std::function<void()>> m_cleanups;
        };

        }  // namespace tav::fenmo
        """, banner=banner, F=F, root_identity=schema.library["root_identity"], root_uri=schema.root_uri,
               friends=friends)


def meta_package_source(schema, banner):
    rows = Rows(schema)
    includes = "\n".join(f"#include <arvelle/treeNode/{c.name}.hpp>" for c in schema.classes)
    return cpp("""
        $banner
        // The metamodel as tables, the registration passes over them and the handle accessors.

        #include <arvelle/MetaPackageArvelle.hpp>
        #include <arvelle/meta/EnumSerializers.hpp>
        #include <arvelle/nativeTypes/PtrSerializer.hpp>
        #include <arvelle/treeNode/BuilderFactories.hpp>
        $includes

        #include <fenmo/meta/CollectionInstantiator.hpp>
        #include <fenmo/meta/PackageTable.hpp>

        namespace tav::fenmo {

        namespace {

        using namespace ::fenmo::meta;

        // The tables keep one row a line.
        // clang-format off

        // ---- Row numbers of the rows that others refer to

        $row_names

        // ---- nativeTypes

        $native_types

        // ---- treeNode

        $tree_node

        // clang-format on

        // ---- The root package

        constexpr const PackageTable* kPackages[] = {&kNativeTypes, &kTreeNode};
        constexpr RootTable kRoot{MetaPackageArvelle::kRootIdentity, MetaPackageArvelle::kRootUri, kPackages};

        }  // namespace

        const RootTable& MetaPackageArvelle::metamodelTables() { return kRoot; }

        void MetaPackageArvelle::instantiate_nativeTypes(MetaRegistry*) { m_loader.instantiate(kNativeTypes, m_nativeTypes); }

        void MetaPackageArvelle::instantiate_treeNode(MetaRegistry*) { m_loader.instantiate(kTreeNode, m_treeNode); }

        void MetaPackageArvelle::weave_nativeTypes(MetaRegistry* registry, PropertySerializerRegistry* serializers) {
            m_loader.weave(kNativeTypes, m_nativeTypes, *registry, *serializers);
        }

        void MetaPackageArvelle::weave_treeNode(MetaRegistry* registry, PropertySerializerRegistry* serializers) {
            m_loader.weave(kTreeNode, m_treeNode, *registry, *serializers);
        }

        // ---- Handle accessors

        namespace {
        const MetaPackageArvelle& package() { return *MetaPackageArvelle::getInstance(); }
        }  // namespace

        namespace treeNode::schema {

        const $F::meta::Package& rootPackage() { return package().m_loader.rootPackage(); }
        const $F::meta::Package& treeNodePackage() { return package().m_treeNode.package; }
        const $F::meta::Package& nativeTypesPackage() { return package().m_nativeTypes.package; }
        $accessors

        }  // namespace treeNode::schema

        }  // namespace tav::fenmo
        """, banner=banner, F=F, includes=includes, native_types=native_types_table(schema),
               tree_node=tree_node_table(schema, rows), row_names=rows.names(), accessors=accessor_definitions(schema, rows))

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
