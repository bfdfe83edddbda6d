"""C++ spellings of the schema's types, shared by the emitters."""

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


def u16(text):
    return f'u"{text}"'
