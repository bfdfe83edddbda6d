"""Emits the scripting wrappers: one class info per class and per enumeration of the package, their
property tables and creating methods, the order in which the namespace adds them, and the enumeration
marshalers. What a wrapper does with a value is written once in arvelle/scripting/WrapperSupport.hpp;
the tables here only say which adapter each property takes, under which declared type name, with which
attribute word, and whether scripts may set it."""

from kinds import scripting_name
from printer import cpp, lines

NS = "tav::fenmo::treeNode::qorin"


def wrapper_declaration(schema, name, base):
    return cpp("""
        class ${name}Wrapper final : public $base {
        public:
            ${name}Wrapper() : $short("$name", "$full") {}
            void defineClass(::plexo::ClassDefinition& definition) override;
        };""", name=name, base=base, short=base.split("<")[0].split("::")[-1],
               full=scripting_name(schema, name))


def header(schema, banner):
    classes = [wrapper_declaration(schema, c.name, f"::fenmo::qorin::FenmoWrapperInfo<{c.name}>")
               for c in schema.classes]
    enums = [wrapper_declaration(schema, e.name, f"::fenmo::qorin::FenmoEnumInfo<{e.name}>") for e in schema.enums]
    return cpp("""
        $banner
        #pragma once
        // The scripting class infos of the treeNode package: one wrapper per class and per enumeration.

        #include <arvelle/treeNode/All.hpp>
        #include <fenmo/qorin/Wrappers.hpp>
        #include <plexo/ClassSystem.hpp>

        namespace $NS {

        $classes

        $enums

        // Adds every scripting class to the namespace: the classes, then the enumerations, in schema order.
        void addScriptingClasses(::plexo::NamespaceDefinition& definition);
        // One value marshaler per enumeration, registered in schema order; and taken out again.
        void registerEnumerationMarshalers();
        void unregisterEnumerationMarshalers();

        }  // namespace $NS
        """, banner=banner, NS=NS, classes="\n\n".join(classes), enums="\n\n".join(enums))


def property_line(prop):
    seen = prop.generator.scripting()
    if seen is None:
        return None
    adapter, type_name, settable = seen
    getter = f"&Impl::get{prop.cap}Mutable" if adapter == "collection" else f"&Impl::get{prop.cap}"
    setter = f", &Impl::set{prop.cap}" if settable else ""
    return (f'definition.addProperty(Table::{adapter}<{getter}{setter}>("{prop.name}", "{type_name}", '
            f'{prop.generator.scripting_word()}));')


def creating_lines(schema, c):
    out = []
    for p in scripting_order(c):
        method = p.generator.creating_method()
        if method:
            out.append(f'definition.addMethod(Table::createInto<&Impl::{method}>("{method}", getFullName(), '
                       f'"{scripting_name(schema, p.type)}"));')
    return out


def scripting_order(c):
    """Scripts see the stored properties in index order, then the derived ones."""
    return sorted(c.properties, key=lambda p: (p.derived, p.index or 0))


def define_class(schema, c):
    body = lines([property_line(p) for p in scripting_order(c)], creating_lines(schema, c))
    return cpp("""
        void ${name}Wrapper::defineClass(::plexo::ClassDefinition& definition) {
            using Impl [[maybe_unused]] = $name::Impl;
            using Table = ElementTable<$name>;
            Table::begin(definition, getName(), getFullName());
            $body
            Table::end(definition);
        }""", name=c.name, body=body)


def define_enum(e):
    literals = ", ".join(f'{{"{lit.name}", {lit.value}}}' for lit in e.literals)
    return cpp("""
        void ${name}Wrapper::defineClass(::plexo::ClassDefinition& definition) {
            FenmoEnumInfo::defineClass(definition);
            addLiterals(definition, {$literals}, [] { return ::fenmo::meta::Enum(schema::$name::type()); });
        }""", name=e.name, literals=literals)


def source(schema, banner):
    adds = [f"addElementClass(definition, new {c.name}Wrapper);" for c in schema.classes]
    adds += [f"addEnumerationClass(definition, new {e.name}Wrapper, schema::{e.name}::type());" for e in schema.enums]
    registers = [f"registerEnumerationMarshaler<{e.name}>(schema::{e.name}::type());" for e in schema.enums]
    unregisters = [f"unregisterEnumerationMarshaler(schema::{e.name}::type());" for e in schema.enums]
    return cpp("""
        $banner
        #include "scripting/Wrappers.gen.hpp"

        #include "WrapperSupport.hpp"

        namespace $NS {

        $classes

        $enums

        void addScriptingClasses(::plexo::NamespaceDefinition& definition) {
            $adds
        }

        void registerEnumerationMarshalers() {
            $registers
        }

        void unregisterEnumerationMarshalers() {
            $unregisters
        }

        }  // namespace $NS
        """, banner=banner, NS=NS, classes="\n\n".join(define_class(schema, c) for c in schema.classes),
               enums="\n\n".join(define_enum(e) for e in schema.enums), adds="\n".join(adds),
               registers="\n".join(registers), unregisters="\n".join(unregisters))
