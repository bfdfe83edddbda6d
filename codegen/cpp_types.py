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


def type_handle(schema, type_name):
    """An expression for the meta::Type handle of a schema type, inside MetaPackageArvelle."""
    if type_name in STANDARD_TYPES:
        return f"{F}::meta::StandardTypes::{type_name[0].lower() + type_name[1:]}Meta()"
    return f"m_{type_name}"


def u16(text):
    return f'u"{text}"'
