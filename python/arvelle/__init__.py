"""arvelle from Python: the scripting classes of the plexo host as Python classes.

Every scripting namespace is a module under ``arvelle``: the class "a.b.C" is ``arvelle.a.b.C`` (and
``from arvelle.a.b import C``). Classes are made on first use from what the host tells of them, so a
class a library registers appears here with no change to this package.

    import arvelle
    model = arvelle.Model()
    with model.transaction("build"):
        ...
    model.undo()
"""

import importlib.abc
import importlib.machinery
import sys
import types

from . import _arvelle

__all__ = ["Error", "HostObject", "EnumMember", "Model", "ChangeReport", "load", "load_library", "namespace"]


class Error(Exception):
    """A refusal of the host or the framework: ``catalog`` and ``key`` name the message, ``args`` holds
    its arguments and ``text`` the readable message."""

    def __init__(self, catalog, key, text, arguments=()):
        super().__init__(*arguments)
        self.catalog = catalog
        self.key = key
        self.text = text

    def __str__(self):
        prefix = f"{self.catalog}/{self.key}"
        return self.text if self.text.startswith(prefix) else f"{prefix}: {self.text}"


class HostObject:
    """An object of a scripting class. The same host object is the same Python object every time."""

    __slots__ = ("_h", "__weakref__")
    _scripting_name = None

    def __new__(cls, *args):
        if cls._scripting_name is None:
            raise TypeError(f"{cls.__name__} is not a scripting class")
        return _arvelle.construct(cls._scripting_name, args)

    def __repr__(self):
        name = type(self)._scripting_name
        try:
            if isinstance(self, _element_base()):
                return f"<{name} {self.uuid}>" if self.isValid() else f"<{name} (destroyed)>"
        except Exception:  # a repr never fails
            pass
        return f"<{name} object>"

    def __reduce__(self):
        raise TypeError("scripting objects cannot be pickled; save the model instead")


class _EnumType(type):
    """The type of enumeration classes: iterating gives the members in value order."""

    def __iter__(cls):
        return iter(cls._members)

    def __len__(cls):
        return len(cls._members)

    def __getitem__(cls, name):
        for member in cls._members:
            if member.name == name:
                return member
        raise KeyError(name)


class EnumMember(metaclass=_EnumType):
    """A member of a scripting enumeration; equal to itself and to its literal name."""

    __slots__ = ("_h", "name", "value")
    _scripting_name = None
    _members = ()

    def __new__(cls, value):
        """The member of that literal name or value: ``Complexity("REAL")``, ``Complexity(1)``."""
        if isinstance(value, cls):
            return value
        try:
            if isinstance(value, str):
                return cls[value]
            if isinstance(value, int) and not isinstance(value, bool):
                return cls._by_value[value]
        except KeyError:
            pass
        raise ValueError(f"{value!r} is not a member of {cls._scripting_name} "
                         f"({', '.join(m.name for m in cls._members)})")

    def __eq__(self, other):
        if isinstance(other, str):
            return other == self.name
        return self is other

    def __hash__(self):
        return hash((type(self)._scripting_name, self.value))

    def __repr__(self):
        return f"<{type(self)._scripting_name}.{self.name}: {self.value}>"

    def __str__(self):
        return self.name


class ChangeReport:
    """What one commit, undo or redo changed: ``cause`` ("commit", "undo", "redo"), ``created`` and
    ``destroyed`` elements, and ``modified`` as (element, [(property, old, new), ...]) pairs."""

    __slots__ = ("cause", "created", "destroyed", "modified")

    def __init__(self, cause, created, destroyed, modified):
        self.cause = cause
        self.created = created
        self.destroyed = destroyed
        self.modified = modified

    def changed(self, element):
        """The names of the properties of ``element`` the report says changed."""
        for e, properties in self.modified:
            if e is element:
                return [name for name, _, _ in properties]
        return []

    def __repr__(self):
        return (f"<ChangeReport {self.cause}: {len(self.created)} created, {len(self.destroyed)} destroyed, "
                f"{len(self.modified)} modified>")


# --- objects crossing from the host ------------------------------------------------------------------------

_classes = {}  # scripting name -> Python class


def _enum_member(class_name, value):
    cls = _class(class_name)
    try:
        return cls._by_value[value]
    except KeyError:
        raise Error("plexo:class", "InvalidEnumerationMember",
                    f"{value} is not a value of {class_name}", (str(value),)) from None


_arvelle.set_hooks(Error, lambda name: _class(name), _enum_member)


# --- classes made from the host's descriptions -----------------------------------------------------------

# The Python type a host type name reads as (the name without " scalar").
_SCALARS = {"char": "str", "string": "str", "PlexoFactoryString": "str", "logical": "bool", "double": "float",
            "int32": "int", "cell": "list", "struct": "dict", "any": "Any"}


def _python_type(type_name):
    """The Python type of values of a host type: "str" for "PlexoFactoryString scalar", a class's full
    scripting name for an object type, "Any" when the host names none."""
    base = type_name.replace(" scalar", "").replace(" property", "")
    return _SCALARS.get(base, base if "." in base else "Any")


def _type_text(type_name):
    python = _python_type(type_name)
    return python if python == type_name else f"{python}, host type {type_name}"


def _property(name, kind, settable):
    """The descriptor of a property: reads and writes cross to the host in one call."""
    return _arvelle.Property(name, settable, f"{name} ({_type_text(kind)}{'' if settable else ', read-only'})")


def _signature_text(method):
    names = method["argumentNames"] or [f"in{i}" for i in range(len(method["inputs"]))]
    inputs = [f"{n}: {t}" for n, t in zip(names, method["inputs"])]
    if not method["static"] and inputs:
        inputs = ["self"] + inputs[1:]
    outputs = ", ".join(method["outputs"]) or "None"
    return f"{method['name']}({', '.join(inputs)}) -> {outputs}"


def _method(full_name, method):
    name = method["name"]
    n_outputs = len(method["outputs"])
    if method["static"]:
        def static(*args):
            return _arvelle.call_static(full_name, name, args, n_outputs)

        function = static
    else:
        def bound(self, *args):
            return _arvelle.call(name, (self,) + args, n_outputs)

        function = bound
    function.__name__ = function.__qualname__ = name
    function.__doc__ = _signature_text(method) + ("\n\n" + method["description"] if method["description"] else "")
    return staticmethod(function) if method["static"] else function


# Python behaviour added to scripting classes by name (mixins come first among the bases).
_extensions = {}


def _class(full_name):
    """The Python class of a scripting class, made on first use."""
    cls = _classes.get(full_name)
    if cls is not None:
        return cls
    info = _arvelle.describe(full_name)
    if info is None:
        raise Error("plexo:class", "UndefinedClass", f"undefined class '{full_name}'", (full_name,))
    bases = [_class(s) for s in info["superclasses"]]
    if full_name in _extensions:
        bases.insert(0, _extensions[full_name])
    if not any(issubclass(b, (HostObject, EnumMember)) for b in bases):
        bases.append(EnumMember if info["enumeration"] else HostObject)
    short = full_name.rsplit(".", 1)[-1]
    attributes = {"__slots__": (), "_scripting_name": full_name, "__module__": "arvelle." + info["namespace"],
                  "__qualname__": short}
    lines = [f"Scripting class {full_name}" + (" (abstract)" if info["abstract"] else "") + "."]
    if info["superclasses"]:
        lines.append("Superclasses: " + ", ".join(info["superclasses"]) + ".")
    if info["properties"]:
        lines.append("\nProperties:")
    for p in info["properties"]:
        attributes[p["name"]] = _property(p["name"], p["type"], p["settable"])
        lines.append(f"  {p['name']}: {_type_text(p['type'])}{'' if p['settable'] else ' (read-only)'}")
    methods = [m for m in info["methods"] if not m["hidden"]]
    constructor = [m for m in methods if m["name"] == short]
    if constructor:
        lines.append("\nConstructor:\n  " + _signature_text(dict(constructor[0], static=True)))
    others = [m for m in methods if m["name"] != short]
    if others:
        lines.append("\nMethods:")
    for m in others:
        attributes[m["name"]] = _method(full_name, m)
        lines.append("  " + _signature_text(m))
    attributes["__doc__"] = "\n".join(lines)
    cls = type(short, tuple(bases), attributes) if not info["enumeration"] else _EnumType(short, tuple(bases),
                                                                                            attributes)
    if info["enumeration"]:
        members = []
        for name, value in sorted(info["members"], key=lambda m: m[1]):
            member = object.__new__(cls)
            member._h = _arvelle.enumeration_member(full_name, name)
            member.name = name
            member.value = value
            members.append(member)
            type.__setattr__(cls, name, member)
        cls._members = tuple(members)
        cls._by_value = {m.value: m for m in members}
        cls.__doc__ += "\n\nMembers: " + ", ".join(f"{m.name} = {m.value}" for m in members)
    _classes[full_name] = cls
    return cls


def _element_base():
    return _class("fenmo.ModelElement")


# --- namespaces as modules ---------------------------------------------------------------------------------

def _names_under(prefix):
    """The class names and sub-namespace names one level below ``prefix`` (a dotted name)."""
    classes, namespaces = set(), set()
    dotted = prefix + "." if prefix else ""
    for ns in _arvelle.namespaces():
        if ns.startswith(dotted) and ns != prefix:
            namespaces.add(ns[len(dotted):].split(".", 1)[0])
        if prefix == ns or prefix.startswith(ns + "."):
            for full in _arvelle.classes_in(ns):
                if full.startswith(dotted):
                    rest = full[len(dotted):].split(".")
                    (classes if len(rest) == 1 else namespaces).add(rest[0])
    return classes, namespaces


class Namespace(types.ModuleType):
    """A scripting namespace (or a part of a dotted one): its classes and inner namespaces as
    attributes, looked up in the host on first use."""

    def __init__(self, scripting_name):
        super().__init__("arvelle." + scripting_name)
        self.__scripting_name = scripting_name
        self.__path__ = []  # a package, so that inner namespaces import
        self.__doc__ = f"Scripting namespace {scripting_name}."

    def __getattr__(self, name):
        if name.startswith("__"):
            raise AttributeError(name)
        value = _lookup(self.__scripting_name + "." + name)
        if value is None:
            raise AttributeError(f"scripting namespace {self.__scripting_name} has no class or namespace "
                                 f"'{name}'")
        setattr(self, name, value)
        return value

    def __dir__(self):
        classes, namespaces = _names_under(self.__scripting_name)
        return sorted(classes | namespaces)

    def __repr__(self):
        return f"<scripting namespace {self.__scripting_name}>"


_namespaces = {}


def namespace(scripting_name):
    """The module of a scripting namespace (or of a dotted part of one), e.g. ``namespace("fenmo")``."""
    module = _namespaces.get(scripting_name)
    if module is None:
        module = Namespace(scripting_name)
        _namespaces[scripting_name] = module
        sys.modules["arvelle." + scripting_name] = module
    return module


def _lookup(full_name):
    """A class, a namespace module or None for a dotted scripting name."""
    if full_name in _classes or _arvelle.describe(full_name) is not None:
        return _class(full_name)
    head = full_name.rsplit(".", 1)[0] if "." in full_name else ""
    classes, namespaces = _names_under(head)
    if full_name.rsplit(".", 1)[-1] in namespaces:
        return namespace(full_name)
    return None


class _NamespaceFinder(importlib.abc.MetaPathFinder, importlib.abc.Loader):
    """Lets ``import arvelle.a.b`` and ``from arvelle.a.b import C`` reach scripting namespaces."""

    def find_spec(self, fullname, path=None, target=None):
        if not fullname.startswith("arvelle.") or fullname.count(".") < 1:
            return None
        scripting = fullname[len("arvelle."):]
        if scripting.startswith("_") or not isinstance(_lookup(scripting), Namespace):
            return None
        return importlib.machinery.ModuleSpec(fullname, self, is_package=True)

    def create_module(self, found):
        return namespace(found.name[len("arvelle."):])

    def exec_module(self, module):
        pass


sys.meta_path.append(_NamespaceFinder())


def __getattr__(name):
    """Top-level scripting namespaces (``arvelle.fenmo``, ``arvelle.tav``) as attributes."""
    if name.startswith("_"):
        raise AttributeError(name)
    value = _lookup(name)
    if not isinstance(value, Namespace):
        raise AttributeError(f"module 'arvelle' has no attribute '{name}'")
    globals()[name] = value
    return value


def __dir__():
    _, namespaces = _names_under("")
    return sorted(set(globals()) | namespaces)


def load_library(path, name):
    """Loads a shared library and calls its ``QorinInitialize_<name>`` when it exports one, so that the
    namespaces it registers become modules here. Answers whether it had one."""
    return _arvelle.load_library(path, name)


# --- models ------------------------------------------------------------------------------------------------

class _Transaction:
    """``with model.transaction("name"):`` commits when the block ends and abandons the transaction
    (rolling back what the block did) when an exception leaves it. Transactions nest; only the
    outermost commit is an undo step and is reported to listeners."""

    __slots__ = ("_model", "name", "_transaction")

    def __init__(self, model, name):
        self._model = model
        self.name = name
        self._transaction = None

    def __enter__(self):
        if self._transaction is not None:
            raise RuntimeError("a transaction is entered once")
        self._transaction = _arvelle.begin_transaction(self._model)
        return self

    def __exit__(self, exc_type, exc, tb):
        transaction, self._transaction = self._transaction, None
        if exc_type is None:
            transaction.commit()
        elif transaction.is_open:
            transaction.abandon()
        return False

    def __repr__(self):
        return f"<transaction {self.name!r}{' open' if self._transaction else ''}>"


class ModelExtras:
    """What a Python script does with a model beyond its scripting methods."""

    __slots__ = ()

    def transaction(self, name=None):
        """A context manager: one transaction around the block (see _Transaction)."""
        return _Transaction(self, name)

    @property
    def can_undo(self):
        return self.canUndo()

    @property
    def can_redo(self):
        return self.canRedo()

    @property
    def in_transaction(self):
        return _arvelle.transaction_depth(self) > 0

    def find(self, uuid):
        """The element of that identity (text), or None."""
        return self.findElement(str(uuid))

    def add_listener(self, callback):
        """Calls ``callback(report)`` with a ChangeReport after every outermost commit, undo and redo.
        Keep the returned object: dropping it, or calling its ``remove()``, removes the listener. An
        exception in the callback does not fail the edit; Python reports it as unraisable."""
        return _arvelle.add_listener(self, callback, ChangeReport)

    def save(self, path):
        """Writes the model to an XML file (the GIL is released while writing)."""
        _arvelle.save(self, str(path))

    def query(self, text):
        """The elements matching a query in its text form, in creation order, e.g.
        ``model.query('SignalAttributes where dataType == "double"')``. A text that does not parse or
        does not fit the metamodel raises Error ("fenmo:query"/"InvalidQueryText", arguments the
        reason and the column). The GIL is released while the query runs; other threads must leave this
        model alone until it returns, as a model is used by one thread at a time."""
        return _arvelle.query(self, str(text))


class CollectionExtras:
    """Collections of elements as Python sequences: len, indexing (0-based, negative from the end),
    iteration and ``in``."""

    __slots__ = ()

    def __len__(self):
        return int(self.size())

    def __getitem__(self, index):
        if isinstance(index, slice):
            return self.elements()[index]
        n = len(self)
        if not isinstance(index, int):
            raise TypeError("collection indices are integers")
        if index < 0:
            index += n
        if not 0 <= index < n:
            raise IndexError("collection index out of range")
        return self.at(index + 1)

    def __iter__(self):
        return iter(self.elements())

    def __contains__(self, element):
        return isinstance(element, HostObject) and bool(self.contains(element))

    def __repr__(self):
        return f"<{type(self)._scripting_name} of {len(self)}>"


_extensions["fenmo.Model"] = ModelExtras
_extensions["fenmo.Set"] = CollectionExtras

_arvelle.initialize()

Model = _class("fenmo.Model")


def load(path, new_identity=False):
    """A model read from an XML file (the GIL is released while reading). With ``new_identity`` the
    model gets a new identity, to open a second copy of a model already open."""
    return _arvelle.load(str(path), new_identity)
