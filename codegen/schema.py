"""Reads and checks the metamodel schema (schema/treeNode.toml) into plain Python objects.

Every error names the file and the line of the table (or the value) it is about.
"""

import enum
import re
import tomllib

STANDARD_TYPES = {
    "String": "std::u16string",
    "Integer": "int",
    "Boolean": "bool",
}

UUID_PATTERN = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
QUOTED_UUID = re.compile(r'"([0-9a-fA-F-]{36})"')


class ValueKind(enum.Enum):
    """How many values a property holds and how; the schema names it by word, the C++ by fenmo::ValueKind."""

    OPTIONAL = "optional"
    SINGLE = "single"
    SEQUENCE = "sequence"
    SET = "set"
    MAP = "map"

    @property
    def cpp(self):
        return f"::fenmo::ValueKind::{self.value.capitalize()}"


class SchemaError(Exception):
    def __init__(self, message, line=None, path=None):
        super().__init__(message)
        self.message = message
        self.line = line
        self.path = path

    def __str__(self):
        where = f"{self.path or '<schema>'}:{self.line}" if self.line else f"{self.path or '<schema>'}"
        return f"{where}: {self.message}"


def capitalised(name):
    return name[0].upper() + name[1:]


class Source:
    """Where the tables of the schema file start, to point errors at lines."""

    HEADER = re.compile(r"^\s*\[\[\s*([A-Za-z_.]+)\s*\]\]")

    def __init__(self, text):
        self.lines = text.splitlines()
        self.headers = {}  # table name -> line numbers (1-based) of its entries, in order
        self.starts = []  # line numbers of every table header
        for number, line in enumerate(self.lines, 1):
            if line.lstrip().startswith("["):
                self.starts.append(number)
            match = self.HEADER.match(line)
            if match:
                self.headers.setdefault(match.group(1), []).append(number)
        self.uuid_lines = {}  # identity -> the lines it stands on, in order
        for number, line in enumerate(self.lines, 1):
            for match in QUOTED_UUID.finditer(line):
                self.uuid_lines.setdefault(match.group(1), []).append(number)

    def entry(self, table, position, after=0):
        """The line of the position-th entry of an array of tables that comes after line `after`."""
        lines = [n for n in self.headers.get(table, []) if n > after]
        return lines[position] if position < len(lines) else None

    def end_of(self, line):
        """The last line of the table that starts at `line`."""
        return next((n - 1 for n in self.starts if n > line), len(self.lines))

    def key(self, line, key):
        """The line of `key = ...` inside the table that starts at `line` (the table's line if absent)."""
        pattern = re.compile(rf"^\s*{re.escape(key)}\s*=")
        for number in range(line + 1, self.end_of(line) + 1):
            if pattern.match(self.lines[number - 1]):
                return number
        return line


def required(data, key, owner, line):
    if key not in data:
        raise SchemaError(f"{owner}: missing '{key}'", line)
    return data[key]


class NativeType:
    def __init__(self, data, line):
        self.line = line
        self.name = required(data, "name", "native type", line)
        self.identity = required(data, "identity", self.name, line)
        self.native_name = required(data, "native_name", self.name, line)
        self.pointee = required(data, "pointee", self.name, line)
        self.instantiator_kind = required(data, "instantiator_kind", self.name, line)
        self.serializer = data.get("serializer")

    @property
    def cpp(self):
        return self.pointee + "*"


class Literal:
    def __init__(self, data, value, owner, line):
        self.name = required(data, "name", f"{owner} literal {value}", line)
        self.identity = required(data, "identity", f"{owner}.{self.name}", line)
        self.value = value


class Enum:
    def __init__(self, data, line):
        self.line = line
        self.name = required(data, "name", "enumeration", line)
        self.identity = required(data, "identity", self.name, line)
        literals = required(data, "literals", self.name, line)
        self.literals = [Literal(lit, i, self.name, line) for i, lit in enumerate(literals)]


class Operation:
    def __init__(self, data, owner, line):
        self.line = line
        self.name = required(data, "name", f"{owner.name} operation", line)
        self.identity = required(data, "identity", f"{owner.name}.{self.name}", line)
        self.owner = owner
        arg = required(data, "argument", f"{owner.name}.{self.name}", line)
        self.argument_name = required(arg, "name", f"{owner.name}.{self.name} argument", line)
        self.argument_identity = required(arg, "identity", f"{owner.name}.{self.name}.{self.argument_name}", line)
        self.argument_type = required(arg, "type", f"{owner.name}.{self.name}.{self.argument_name}", line)


class Property:
    """One property; `generator` (kinds.py) says how the element class stores and handles it."""

    FIELDS = {"index", "name", "identity", "type", "kind", "composite", "ordered", "unique", "derived", "read_only",
              "transient", "public_mutator", "default_none", "custom_qualification", "opposite", "custom_setter",
              "custom_getter", "virtual_setter", "keys", "adopt_created"}

    def __init__(self, data, owner, defaults, line, source):
        merged = dict(defaults)
        merged.update(data)
        self.owner = owner
        self.line = line
        self.source = source
        self.name = required(merged, "name", f"{owner.name} property", line)
        where = f"{owner.name}.{self.name}"
        unknown = sorted(set(merged) - self.FIELDS)
        if unknown:
            raise SchemaError(f"{where}: unknown field '{unknown[0]}'", self.line_of(unknown[0]))
        self.cap = capitalised(self.name)
        self.identity = required(merged, "identity", where, line)
        self.index = merged.get("index")
        self.type = required(merged, "type", where, line)
        kind = required(merged, "kind", where, line)
        try:
            self.kind = ValueKind(kind)
        except ValueError:
            raise SchemaError(f"{where}: unknown kind {kind!r} (one of {', '.join(k.value for k in ValueKind)})",
                              self.line_of("kind")) from None
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
        self.generator = None  # decided once every type is known
        self.cpp = None  # the C++ type of one value

    def line_of(self, key):
        return self.source.key(self.line, key) if self.line else None

    @property
    def qualified(self):
        return f"{self.owner.name}.{self.name}"

    @property
    def field(self):
        return "m_" + self.name

    @property
    def handle_fn(self):
        return f"schema::{self.owner.name}::{self.name}"


class Class:
    def __init__(self, data, line, source):
        self.line = line
        self.name = required(data, "name", "class", line)
        self.identity = required(data, "identity", self.name, line)
        self.instantiator_kind = required(data, "instantiator_kind", self.name, line)
        self.custom = set(data.get("custom", []))
        # Declarations of operations the class's own source defines.
        self.methods = data.get("methods", [])
        self.private_methods = data.get("private_methods", [])
        self.friends = data.get("friends", [])
        defaults = data.get("all_properties", {})
        self.properties = [Property(p, self, defaults, source.entry("classes.properties", i, line), source)
                           for i, p in enumerate(data.get("properties", []))]
        self.operations = [Operation(o, self, source.entry("classes.operations", i, line))
                           for i, o in enumerate(data.get("operations", []))]

    @property
    def stored(self):
        return sorted((p for p in self.properties if p.index is not None), key=lambda p: p.index)

    @property
    def count(self):
        return len(self.stored)

    def any_property(self, question):
        """Whether the generator of any of the class's properties says yes to `question` (an attribute)."""
        return any(getattr(p.generator, question) for p in self.properties)

    @property
    def related(self):
        """Classes whose handles appear in this class's interface."""
        return sorted({p.type for p in self.properties if p.generator.element} - {self.name})


class Schema:
    def __init__(self, path, text=None):
        self.path = str(path)
        if text is None:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        try:
            self.read(text)
            self.check()
            self.classify()
        except SchemaError as error:
            error.path = self.path
            raise

    def read(self, text):
        try:
            data = tomllib.loads(text)
        except tomllib.TOMLDecodeError as error:
            line = re.search(r"line (\d+)", str(error))
            raise SchemaError(f"not valid TOML: {error}", int(line.group(1)) if line else None) from None
        self.source = source = Source(text)
        for key in ("library", "native_package", "package", "native_types", "classes", "enums"):
            required(data, key, "schema", 1)
        self.library = data["library"]
        self.native_package = data["native_package"]
        self.package = data["package"]
        self.native_types = [NativeType(t, source.entry("native_types", i)) for i, t in enumerate(data["native_types"])]
        self.classes = [Class(c, source.entry("classes", i), source) for i, c in enumerate(data["classes"])]
        self.enums = [Enum(e, source.entry("enums", i)) for i, e in enumerate(data["enums"])]

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

    def known_type(self, name):
        return name in STANDARD_TYPES or self.class_named(name) or self.enum_named(name) or self.native_named(name)

    def identities(self):
        """(owner, identity) of every identity the schema gives, in file order."""
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
        seen = {}  # identity -> (owner, line)
        uses = {}  # identity -> how many times it was met so far
        for owner, identity in self.identities():
            occurrence = uses.get(identity, 0)
            uses[identity] = occurrence + 1
            lines = self.source.uuid_lines.get(identity, [])
            line = lines[occurrence] if occurrence < len(lines) else None
            if not isinstance(identity, str) or not UUID_PATTERN.match(identity):
                raise SchemaError(f"{owner}: malformed identity {identity!r} (lower-case 8-4-4-4-12 hexadecimal)",
                                  line)
            if identity in seen:
                first, first_line = seen[identity]
                raise SchemaError(f"{owner}: identity {identity} is already used by {first} (line {first_line})",
                                  line)
            seen[identity] = (owner, line)
        lines = {}
        for what, items in (("class", self.classes), ("enumeration", self.enums), ("native type", self.native_types)):
            for item in items:
                if item.name in lines:
                    raise SchemaError(f"{what} {item.name}: the name is already used (line {lines[item.name]})",
                                      item.line)
                lines[item.name] = item.line
        for what, items in (("classes", self.classes), ("enumerations", self.enums)):
            for before, after in zip(items, items[1:]):
                if after.name < before.name:
                    raise SchemaError(f"{what} must be listed in alphabetical order: {after.name} comes after "
                                      f"{before.name}", after.line)
        for c in self.classes:
            self.check_class(c)

    def check_class(self, c):
        expected = 1
        for p in c.stored:
            if p.index != expected:
                problem = "is used twice" if p.index < expected else f"leaves a gap ({expected} is missing)"
                raise SchemaError(f"{p.qualified}: index {p.index} {problem}; a class's indices run from 1 "
                                  f"without gaps", p.line_of("index"))
            expected += 1
        for p in c.properties:
            if p.derived != (p.index is None):
                raise SchemaError(f"{p.qualified}: exactly the derived properties have no index",
                                  p.line_of("index" if p.index is not None else "derived"))
            if not self.known_type(p.type):
                raise SchemaError(f"{p.qualified}: unknown type {p.type}", p.line_of("type"))
            if p.opposite:
                self.check_opposite(p)
        for o in c.operations:
            if not self.class_named(o.argument_type):
                raise SchemaError(f"{c.name}.{o.name}: unknown argument type {o.argument_type}", o.line)

    def check_opposite(self, p):
        line = p.line_of("opposite")
        parts = p.opposite.split(".")
        if len(parts) != 2:
            raise SchemaError(f"{p.qualified}: opposite {p.opposite!r} is not of the form Class.property", line)
        other = self.class_named(parts[0])
        target = other and next((q for q in other.properties if q.name == parts[1]), None)
        if not target:
            raise SchemaError(f"{p.qualified}: opposite {p.opposite} names no property", line)
        if target.opposite != p.qualified:
            says = f"names {target.opposite}" if target.opposite else "names none"
            raise SchemaError(f"{p.qualified}: opposite {p.opposite} is not mutual (its opposite {says})", line)
        if p.type != other.name or target.type != p.owner.name:
            raise SchemaError(f"{p.qualified}: opposite {p.opposite} does not join {p.owner.name} and {p.type}", line)

    def classify(self):
        from kinds import generator_for
        for c in self.classes:
            for p in c.properties:
                if p.type in STANDARD_TYPES:
                    p.cpp = STANDARD_TYPES[p.type]
                elif self.native_named(p.type):
                    p.cpp = self.native_named(p.type).cpp
                else:
                    p.cpp = p.type
                p.generator = generator_for(self, p)
                p.generator.check()
