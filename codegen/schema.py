"""Reads and checks the metamodel schema (schema/treeNode.toml) into plain Python objects."""

import re
import tomllib

STANDARD_TYPES = {
    "String": "std::u16string",
    "Integer": "int",
    "Boolean": "bool",
}

UUID_PATTERN = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")


class SchemaError(Exception):
    pass


def capitalised(name):
    return name[0].upper() + name[1:]


class NativeType:
    def __init__(self, data):
        self.name = data["name"]
        self.identity = data["identity"]
        self.native_name = data["native_name"]
        self.pointee = data["pointee"]
        self.instantiator_kind = data["instantiator_kind"]
        self.serializer = data.get("serializer")

    @property
    def cpp(self):
        return self.pointee + "*"


class Literal:
    def __init__(self, data, value):
        self.name = data["name"]
        self.identity = data["identity"]
        self.value = value


class Enum:
    def __init__(self, data):
        self.name = data["name"]
        self.identity = data["identity"]
        self.literals = [Literal(lit, i) for i, lit in enumerate(data["literals"])]


class Operation:
    def __init__(self, data, owner):
        self.name = data["name"]
        self.identity = data["identity"]
        self.owner = owner
        arg = data["argument"]
        self.argument_name = arg["name"]
        self.argument_identity = arg["identity"]
        self.argument_type = arg["type"]


class Property:
    """One property; `category` says how the element class stores and handles it."""

    def __init__(self, data, owner, defaults):
        merged = dict(defaults)
        merged.update(data)
        self.owner = owner
        self.name = merged["name"]
        self.cap = capitalised(self.name)
        self.identity = merged["identity"]
        self.index = merged.get("index")
        self.type = merged["type"]
        self.kind = merged.get("kind", 0)
        self.composite = merged.get("composite", False)
        self.ordered = merged.get("ordered", True)
        self.unique = merged.get("unique", True)
        self.derived = merged.get("derived", False)
        self.read_only = merged.get("read_only", False)
        self.transient = merged.get("transient", False)
        self.public_mutator = merged.get("public_mutator", True)
        self.default_none = merged.get("default_none", False)
        self.custom_qualification = merged.get("custom_qualification", False)
        self.opposite = merged.get("opposite")
        self.custom_setter = merged.get("custom_setter", False)
        self.custom_getter = merged.get("custom_getter", False)
        self.virtual_setter = merged.get("virtual_setter", False)
        self.keys = merged.get("keys")
        # A hook the class writes, called for each element a builder creates into this sequence.
        self.adopt_created = merged.get("adopt_created")
        self.category = None  # decided once every type is known
        self.cpp = None  # the C++ type of one value

    @property
    def field(self):
        return "m_" + self.name

    @property
    def handle_fn(self):
        return f"schema::{self.owner.name}::{self.name}"


class Class:
    def __init__(self, data):
        self.name = data["name"]
        self.identity = data["identity"]
        self.instantiator_kind = data["instantiator_kind"]
        self.custom = set(data.get("custom", []))
        # Declarations of operations the class's own source defines.
        self.methods = data.get("methods", [])
        self.private_methods = data.get("private_methods", [])
        self.friends = data.get("friends", [])
        defaults = data.get("all_properties", {})
        self.properties = [Property(p, self, defaults) for p in data.get("properties", [])]
        self.operations = [Operation(o, self) for o in data.get("operations", [])]

    @property
    def stored(self):
        return sorted((p for p in self.properties if p.index is not None), key=lambda p: p.index)

    @property
    def count(self):
        return len(self.stored)

    def has(self, category):
        return any(p.category == category for p in self.properties)

    @property
    def related(self):
        """Classes whose handles appear in this class's interface."""
        return sorted({p.type for p in self.properties if p.category in CLASS_CATEGORIES} - {self.name})


CLASS_CATEGORIES = {"containment", "reference", "sequence", "map", "derived_element"}
COLLECTION_CATEGORIES = {"sequence", "map", "set"}


class Schema:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = tomllib.load(f)
        self.library = data["library"]
        self.native_package = data["native_package"]
        self.package = data["package"]
        self.native_types = [NativeType(t) for t in data["native_types"]]
        self.classes = [Class(c) for c in data["classes"]]
        self.enums = [Enum(e) for e in data["enums"]]
        self.check()
        self.classify()

    @property
    def root_uri(self):
        return self.library["uri_authority"] + self.library["root_path"]

    @property
    def package_uri(self):
        return self.library["uri_authority"] + self.package["path"]

    @property
    def native_package_uri(self):
        return self.library["uri_authority"] + self.native_package["path"]

    def class_named(self, name):
        return next((c for c in self.classes if c.name == name), None)

    def enum_named(self, name):
        return next((e for e in self.enums if e.name == name), None)

    def native_named(self, name):
        return next((t for t in self.native_types if t.name == name), None)

    def identities(self):
        yield "root package", self.library["root_identity"]
        for t in self.native_types:
            yield t.name, t.identity
        for c in self.classes:
            yield c.name, c.identity
            for p in c.properties:
                yield f"{c.name}.{p.name}", p.identity
            for o in c.operations:
                yield f"{c.name}.{o.name}", o.identity
                yield f"{c.name}.{o.name}.{o.argument_name}", o.argument_identity
        for e in self.enums:
            yield e.name, e.identity
            for lit in e.literals:
                yield f"{e.name}.{lit.name}", lit.identity

    def check(self):
        seen = {}
        for owner, identity in self.identities():
            if not UUID_PATTERN.match(identity):
                raise SchemaError(f"{owner}: malformed identity {identity!r}")
            if identity in seen:
                raise SchemaError(f"{owner}: identity {identity} already used by {seen[identity]}")
            seen[identity] = owner
        names = [c.name for c in self.classes] + [e.name for e in self.enums] + [t.name for t in self.native_types]
        if len(names) != len(set(names)):
            raise SchemaError("a type name is used twice")
        if [c.name for c in self.classes] != sorted(c.name for c in self.classes):
            raise SchemaError("classes must be listed in alphabetical order")
        if [e.name for e in self.enums] != sorted(e.name for e in self.enums):
            raise SchemaError("enumerations must be listed in alphabetical order")
        for c in self.classes:
            indices = [p.index for p in c.stored]
            if indices != list(range(1, len(indices) + 1)):
                raise SchemaError(f"{c.name}: property indices {indices} do not run from 1 without gaps")
            for p in c.properties:
                if p.derived != (p.index is None):
                    raise SchemaError(f"{c.name}.{p.name}: exactly the derived properties have no index")
                if p.type not in STANDARD_TYPES and not self.class_named(p.type) and not self.enum_named(p.type) \
                        and not self.native_named(p.type):
                    raise SchemaError(f"{c.name}.{p.name}: unknown type {p.type}")
                if p.kind not in (0, 1, 2, 3, 5):
                    raise SchemaError(f"{c.name}.{p.name}: unknown kind {p.kind}")
                if p.opposite:
                    cls_name, prop_name = p.opposite.split(".")
                    other = self.class_named(cls_name)
                    target = other and next((q for q in other.properties if q.name == prop_name), None)
                    if not target or target.opposite != f"{c.name}.{p.name}":
                        raise SchemaError(f"{c.name}.{p.name}: opposite {p.opposite} is not mutual")

    def classify(self):
        for c in self.classes:
            for p in c.properties:
                is_class = self.class_named(p.type) is not None
                if p.type in STANDARD_TYPES:
                    p.cpp = STANDARD_TYPES[p.type]
                elif self.enum_named(p.type):
                    p.cpp = p.type
                elif self.native_named(p.type):
                    p.cpp = self.native_named(p.type).cpp
                else:
                    p.cpp = p.type
                if p.derived:
                    p.category = "derived_element" if is_class else "derived_value"
                elif p.kind == 0:
                    p.category = "optional"
                elif p.kind == 1 and is_class:
                    p.category = "containment" if p.composite else "reference"
                elif p.kind == 1:
                    p.category = "plain"
                elif p.kind == 2 and is_class:
                    p.category = "sequence"
                elif p.kind == 5 and is_class:
                    p.category = "map"
                elif p.kind == 3 and not is_class:
                    p.category = "set"
                else:
                    raise SchemaError(f"{c.name}.{p.name}: no element class pattern for kind {p.kind} of {p.type}")
