#!/usr/bin/env python3
"""Generates the element classes and the registration passes of the library from its schema.

Usage: generate.py SCHEMA OUTPUT_DIR          writes the files (only those whose content changed)
       generate.py SCHEMA OUTPUT_DIR --list   prints the paths it would write, one per line
"""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import element_header  # noqa: E402
import element_source  # noqa: E402
import meta_package  # noqa: E402
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
    return files


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        schema = Schema(argv[1])
    except SchemaError as error:
        print(f"{argv[1]}: {error}", file=sys.stderr)
        return 1
    out = pathlib.Path(argv[2])
    files = outputs(schema)
    if "--list" in argv[3:]:
        for path in files:
            print(out / path)
        return 0
    for path, content in files.items():
        target = out / path
        target.parent.mkdir(parents=True, exist_ok=True)
        if not target.exists() or target.read_text() != content:
            target.write_text(content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
