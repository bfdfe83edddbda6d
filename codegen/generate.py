#!/usr/bin/env python3
"""Generates the element classes and the registration of the library's metamodel from its schema.

Usage: generate.py SCHEMA OUTPUT_DIR [--clang-format PATH]   writes the files whose content changed
       generate.py SCHEMA OUTPUT_DIR --list                  prints the paths it would write
"""

import argparse
import concurrent.futures
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import element_header  # noqa: E402
import element_source  # noqa: E402
import meta_package  # noqa: E402
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
    return files


def arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("schema")
    parser.add_argument("output", nargs="?")
    parser.add_argument("--list", action="store_true", help="print the paths it would write, one per line")
    parser.add_argument("--clang-format", metavar="PATH", help="format what it writes with this clang-format")
    options = parser.parse_args(argv)
    if not options.output:
        parser.error("OUTPUT_DIR is required")
    return options


def main(argv):
    options = arguments(argv[1:])
    try:
        schema = Schema(options.schema)
    except SchemaError as error:
        print(error, file=sys.stderr)
        return 1
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
