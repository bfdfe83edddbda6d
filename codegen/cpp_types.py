"""C++ spellings of the schema's types, shared by the emitters."""

from schema import STANDARD_TYPES

F = "::fenmo"
UUID = f"const {F}::uuid&"
PROPERTY = f"const {F}::meta::Property&"
TAG = f"const {F}::ReflectionPrivateTag&"
VALUE = f"{F}::Value"
BUILDER = f"{F}::ModelElement::Builder"
STORAGE = f"{F}::ModelElement::Impl::Storage"
CHANGES = f"{F}::ModelElement::Impl::Changes"


def optional(p):
    return f"boost::optional<{p.cpp}>"


def param(cpp):
    """How a value of type `cpp` is passed."""
    return f"const {cpp}&" if cpp == "std::u16string" else cpp


def map_key_types(schema, p):
    target = schema.class_named(p.type)
    keys = []
    for key in p.keys:
        kp = next(q for q in target.properties if q.name == key)
        keys.append((kp, STANDARD_TYPES.get(kp.type, kp.type)))
    return keys


def collection_type(schema, p):
    if p.category == "sequence":
        return f"{F}::ElementSequence<{p.type}>"
    if p.category == "set":
        return f"{F}::PrimitiveSet<{p.cpp}>"
    if p.category == "map":
        (_, k1), (_, k2) = map_key_types(schema, p)
        return f"{F}::DoubleKeyElementMap<{k1}, {k2}, {p.type}>"
    raise ValueError(p.category)


def field_type(schema, p):
    """The type of the Impl's field for a stored property."""
    if p.category == "optional":
        return optional(p)
    if p.category in ("plain", "containment", "reference"):
        return p.cpp
    return collection_type(schema, p)


def builder_field_type(p):
    if p.category == "optional":
        return optional(p)
    if p.category in ("plain", "reference"):
        return p.cpp
    if p.category == "containment":
        return f"std::unique_ptr<{BUILDER}>"
    if p.category == "sequence":
        return f"std::vector<std::unique_ptr<{BUILDER}>>"
    if p.category in ("map", "set"):
        return f"std::vector<{p.cpp}>"
    raise ValueError(p.category)


def type_handle(schema, type_name):
    """An expression for the meta::Type handle of a schema type, inside MetaPackageArvelle."""
    if type_name in STANDARD_TYPES:
        return f"{F}::meta::StandardTypes::{type_name[0].lower() + type_name[1:]}Meta()"
    return f"m_{type_name}"


def u16(text):
    return f'u"{text}"'
