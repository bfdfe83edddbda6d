#!/usr/bin/env python3
"""Generates the element classes and the registration of the library's metamodel from its schema.

Usage: generate.py SCHEMA OUTPUT_DIR [--clang-format PATH]   writes the files whose content changed
       generate.py SCHEMA OUTPUT_DIR --list                  prints the paths it would write
       generate.py SCHEMA --mint Class.property              prints a new identity for a new element

A new identity is the name-based (version 3) uuid of the element's qualified name (the package's
qualified prefix, then Class, Class.property, Class.operation.argument or Enum.LITERAL) in the
namespace of the library's root identity: the same name always gives the same identity.
"""

import argparse
import concurrent.futures
import pathlib
import sys
import uuid

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import element_header  # noqa: E402
import element_source  # noqa: E402
import meta_package  # noqa: E402
import scripting  # noqa: E402
from printer import STYLE_FILE, format_cpp  # noqa: E402
from schema import Schema, SchemaError  # noqa: E402

BANNER = "// Generated from schema/treeNode.toml by codegen/generate.py; do not edit."


def outputs(schema):
    """Relative path -> content, in a fixed order."""
    files = {
        "include/arvelle/treeNode/Enums.hpp": meta_package.enums_header(schema, BANNER),
        "include/arvelle/treeNode/Schema.hpp": meta_package.schema_header(schema, BANNER),
        "include/arvelle/treeNode/BuilderFactories.hpp": meta_package.builder_factories_header(schema, BANNER),
        "include/arvelle/treeNode/All.hpp": meta_package.all_classes_header(schema, BANNER),
        "include/arvelle/MetaPackageArvelle.hpp": meta_package.meta_package_header(schema, BANNER),
        "src/MetaPackageArvelle.gen.cpp": meta_package.meta_package_source(schema, BANNER),
    }
    for c in schema.classes:
        files[f"include/arvelle/treeNode/{c.name}.hpp"] = element_header.header(schema, c, BANNER)
        files[f"src/{c.name}.gen.cpp"] = element_source.source(schema, c, BANNER)
    files["src/scripting/Wrappers.gen.hpp"] = scripting.header(schema, BANNER)
    files["src/scripting/Wrappers.gen.cpp"] = scripting.source(schema, BANNER)
    return {path: exported(text) if path.startswith("include/") and path.endswith(".hpp") else text
            for path, text in files.items()}


def exported(header):
    """A public header whose declarations the library exports: the library builds with hidden
    visibility, so what a header declares is opened with ARVELLE_API_BEGIN and closed at its end."""
    lines = header.split("\n")
    first = next((i for i, line in enumerate(lines) if line.startswith("namespace ")), None)
    if first is None:
        return header
    includes = [i for i in range(first) if lines[i].startswith("#include")]
    lines[first:first] = ["ARVELLE_API_BEGIN", ""]
    lines.insert(includes[0] if includes else first, "#include <arvelle/Export.hpp>")
    return "\n".join(lines).rstrip("\n") + "\n\nARVELLE_API_END\n"


def arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("schema")
    parser.add_argument("output", nargs="?")
    parser.add_argument("--list", action="store_true", help="print the paths it would write, one per line")
    parser.add_argument("--clang-format", metavar="PATH", help="format what it writes with this clang-format")
    parser.add_argument("--mint", metavar="NAME", help="print the identity of a new element (Class.property)")
    options = parser.parse_args(argv)
    if not options.output and not options.mint:
        parser.error("OUTPUT_DIR is required")
    return options


def mint(schema, name):
    """The identity of a new element `name` (Class, Class.property, ...), or SchemaError if the schema
    already has the element or the identity."""
    owners = dict(schema.identities())
    if name in owners:
        raise SchemaError(f"{name} already has the identity {owners[name]}; identities never change")
    qualified = schema.package["qualified_prefix"] + name
    identity = str(uuid.uuid3(uuid.UUID(schema.library["root_identity"]), qualified))
    taken = next((owner for owner, known in owners.items() if known == identity), None)
    if taken:
        raise SchemaError(f"the identity {identity} of {qualified} is already used by {taken}")
    return identity


def main(argv):
    options = arguments(argv[1:])
    try:
        schema = Schema(options.schema)
    except SchemaError as error:
        print(error, file=sys.stderr)
        return 1
    if options.mint:
        try:
            print(mint(schema, options.mint))
        except SchemaError as error:
            print(f"{options.schema}: {error.message}", file=sys.stderr)
            return 1
        return 0
    out = pathlib.Path(options.output)
    files = outputs(schema)
    if options.list:
        for path in files:
            print(out / path)
        return 0
    with concurrent.futures.ThreadPoolExecutor() as pool:
        formatted = pool.map(lambda content: format_cpp(content, options.clang_format, STYLE_FILE), files.values())
    for path, content in zip(files, formatted):
        target = out / path
        target.parent.mkdir(parents=True, exist_ok=True)
        if not target.exists() or target.read_text() != content:
            target.write_text(content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
