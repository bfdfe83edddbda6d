"""The generated code of one small class against a golden copy, and the generator's kind table against
the descriptor templates it mirrors.

Refresh the golden copy after a deliberate change of the generated code:
    python3 tests/codegen/test_generated.py --refresh
"""

import difflib
import pathlib
import re
import sys
import unittest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "codegen"))

import generate  # noqa: E402
import kinds  # noqa: E402
from schema import Schema  # noqa: E402

SCHEMA = REPOSITORY / "schema" / "treeNode.toml"
GOLDEN = pathlib.Path(__file__).resolve().parent / "golden"
# What the generator writes for BusTypeRootAttributes, and the scripting wrappers of every class
# (unformatted, so no clang-format version matters).
GOLDEN_FILES = {
    "BusTypeRootAttributes.hpp": "include/arvelle/treeNode/BusTypeRootAttributes.hpp",
    "BusTypeRootAttributes.gen.cpp": "src/BusTypeRootAttributes.gen.cpp",
    "Wrappers.gen.cpp": "src/scripting/Wrappers.gen.cpp",
}


def takes_same(one, other):
    """Whether two kinds could both take one property."""
    same = (one.value_kind, one.element, one.derived) == (other.value_kind, other.element, other.derived)
    return same and (None in (one.composite, other.composite) or one.composite == other.composite)


def generated():
    return generate.outputs(Schema(SCHEMA))


class GeneratedCodeTest(unittest.TestCase):
    def test_golden_copy_is_current(self):
        files = generated()
        for golden, path in GOLDEN_FILES.items():
            with self.subTest(golden):
                expected = (GOLDEN / golden).read_text()
                if expected != files[path]:
                    diff = difflib.unified_diff(expected.splitlines(), files[path].splitlines(), f"golden/{golden}",
                                                path, lineterm="")
                    self.fail(f"the generated {path} differs from tests/codegen/golden/{golden}; if the change is "
                              f"meant, refresh it: python3 tests/codegen/test_generated.py --refresh\n"
                              + "\n".join(list(diff)[:60]))

    def test_generation_is_deterministic(self):
        self.assertEqual(generated(), generated())

    def test_each_kind_mirrors_a_descriptor_template_and_takes_its_own_properties(self):
        templates = set(re.findall(r"^struct (\w+)", (REPOSITORY / "fenmo/include/fenmo/pattern/Properties.hpp")
                                   .read_text(), re.MULTILINE))
        schema = Schema(SCHEMA)
        shapes = set()
        for c in schema.classes:
            for p in c.properties:
                descriptor = p.generator.descriptor()
                template = re.match(r"::fenmo::pattern::(\w+)<", descriptor).group(1)
                self.assertIn(template, templates, descriptor)
                shapes.add(type(p.generator))
        # Every kind is used by the schema, and no two kinds take the same properties.
        self.assertEqual(set(kinds.KINDS), shapes)
        for i, one in enumerate(kinds.KINDS):
            for other in kinds.KINDS[i + 1:]:
                self.assertFalse(takes_same(one, other), f"{one.__name__} and {other.__name__}")


class ScriptingTablesTest(unittest.TestCase):
    def test_declared_type_names_follow_the_value_kinds(self):
        self.assertEqual(kinds.optional_type_name("int32 scalar"), "int32")
        self.assertEqual(kinds.optional_type_name("logical scalar"), "logical")
        self.assertEqual(kinds.optional_type_name("PlexoFactoryString scalar"), "PlexoFactoryString scalar")
        schema = Schema(SCHEMA)
        seen = {}
        for c in schema.classes:
            for p in c.properties:
                seen[p.qualified] = p.generator.scripting()
        # Host pointers are not seen by scripts; collections are read-only; enumerations by full name.
        self.assertIsNone(seen["PropagationAttributes.tavBusSrc"])
        self.assertIsNone(seen["BlockAttributes.tavBlocks"])
        self.assertEqual(seen["ParentAttributes.children"], ("collection", "fenmo.Set", False))
        self.assertEqual(seen["SignalAttributes.complexity"],
                         ("optionalEnum", "tav.fenmo.treeNode.Complexity", True))
        self.assertEqual(seen["BusTypeRootAttributes.checksum"], ("text", "PlexoFactoryString scalar", False))
        self.assertEqual(seen["ChildAttributes.indexOne"], ("int32", "int32 scalar", True))
        self.assertEqual(seen["PropagationAttributes.tavBusSrcOPort"], ("optionalInt32", "int32", True))
        self.assertEqual(seen["TreeNode.isInherited"], ("logical", "logical scalar", False))


def refresh():
    files = generated()
    GOLDEN.mkdir(exist_ok=True)
    for golden, path in GOLDEN_FILES.items():
        (GOLDEN / golden).write_text(files[path])
        print(f"wrote tests/codegen/golden/{golden}")


if __name__ == "__main__":
    if sys.argv[1:] == ["--refresh"]:
        refresh()
    else:
        unittest.main()
