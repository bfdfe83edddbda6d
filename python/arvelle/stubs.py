"""Type stubs (.pyi) of the scripting namespaces, so that editors complete class, property and method
names. ``python3 -m arvelle.stubs DIRECTORY`` writes one ``__init__.pyi`` per namespace under
DIRECTORY/arvelle/ for the namespaces registered in this process."""

import pathlib
import sys

import arvelle

from . import _arvelle

def _python_type(type_name, classes):
    """The annotation of a host type: a class the host knows is named as a string (forward reference)."""
    python = arvelle._python_type(type_name)
    if python in classes:
        return f'"arvelle.{python}"'
    return python if python in ("str", "bool", "float", "int", "list", "dict") else "Any"


def stub_text(namespace_name):
    """The stub of one namespace: its classes with their properties and methods."""
    classes = _arvelle.classes_in(namespace_name)
    known = set()
    for ns in _arvelle.namespaces():
        known.update(_arvelle.classes_in(ns))
    lines = ["# Written by arvelle.stubs from the scripting classes registered in the host.",
             "from typing import Any", "import arvelle", ""]
    for full in classes:
        info = _arvelle.describe(full)
        if info is None:
            continue
        short = full.rsplit(".", 1)[-1]
        bases = [_python_type(s, known).strip('"') for s in info["superclasses"]]
        bases = bases or ["arvelle.EnumMember" if info["enumeration"] else "arvelle.HostObject"]
        if full in arvelle._extensions:  # the Python-only behaviour of the class (Model, collections)
            bases.insert(0, "arvelle." + arvelle._extensions[full].__name__)
        lines.append(f"class {short.replace('.', '_')}({', '.join(bases)}):")
        body = []
        for name, value in info["members"]:
            body.append(f"    {name}: {short.replace('.', '_')}  # {value}")
        for p in info["properties"]:
            body.append(f"    {p['name']}: {_python_type(p['type'], known)}")
        for m in info["methods"]:
            if m["hidden"]:
                continue
            args = [f"{n}: {_python_type(t, known)}" for n, t in
                    zip(m["argumentNames"] or [f"in{i}" for i in range(len(m["inputs"]))], m["inputs"])]
            out = _python_type(m["outputs"][0], known) if len(m["outputs"]) == 1 else "Any"
            if m["name"] == short:
                body.append(f"    def __new__(cls, *args: Any) -> {short}: ...")
            elif m["static"]:
                body.append("    @staticmethod")
                body.append(f"    def {m['name']}({', '.join(args)}) -> {out}: ...")
            else:
                body.append(f"    def {m['name']}({', '.join(['self'] + args[1:])}) -> {out}: ...")
        lines.extend(body or ["    ..."])
        lines.append("")
    return "\n".join(lines)


def write(directory):
    """Writes the stubs of every registered namespace under ``directory``; answers the files written."""
    written = []
    for ns in _arvelle.namespaces():
        path = pathlib.Path(directory, "arvelle", *ns.split("."), "__init__.pyi")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(stub_text(ns))
        written.append(path)
    return written


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: python3 -m arvelle.stubs DIRECTORY")
    for f in write(sys.argv[1]):
        print(f)
