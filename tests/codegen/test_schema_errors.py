"""Every error the schema checker raises names the file, the line and what is wrong; the schema as
checked in passes. Each case changes the real schema in one place."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "codegen"))

from schema import Schema, SchemaError  # noqa: E402

SCHEMA = REPOSITORY / "schema" / "treeNode.toml"
TEXT = SCHEMA.read_text()


def line_of(text, fragment, occurrence=0):
    """The 1-based line on which `fragment` stands for the occurrence-th time."""
    position = -1
    for _ in range(occurrence + 1):
        position = text.index(fragment, position + 1)
    return text.count("\n", 0, position) + 1


def replaced(old, new, after=None):
    """The schema text with the first `old` (after the fragment `after`, when given) replaced."""
    start = TEXT.index(after) if after else 0
    position = TEXT.index(old, start)
    return TEXT[:position] + new + TEXT[position + len(old):]


class SchemaErrorTest(unittest.TestCase):
    def refused(self, text):
        with self.assertRaises(SchemaError) as caught:
            Schema("schema/treeNode.toml", text=text)
        error = caught.exception
        self.assertTrue(str(error).startswith(f"schema/treeNode.toml:{error.line}: "), str(error))
        return error

    def test_the_schema_as_checked_in_passes(self):
        schema = Schema(SCHEMA)
        self.assertEqual(10, len(schema.classes))
        self.assertEqual(105, len(list(schema.identities())))

    def test_duplicate_identity_points_at_the_second_use_and_names_the_first(self):
        name_identity = "1c50e031-cbbf-35f4-bbde-0964e8a5f2eb"  # ChildAttributes.name
        text = replaced("9750c8ca-da03-3cb7-be46-7c5f4c4fb772", name_identity)  # BusTypeRootAttributes.checksum
        error = self.refused(text)
        # BusTypeRootAttributes comes first in the file: the error is at ChildAttributes.name.
        self.assertEqual(line_of(text, name_identity, 1), error.line)
        self.assertEqual(f"ChildAttributes.name: identity {name_identity} is already used by "
                         f"BusTypeRootAttributes.checksum (line {line_of(text, name_identity)})", error.message)
        # The literal of an enumeration counts like any other identity.
        text = replaced("b4fdac63-a284-3db9-b447-362578f2cd21", name_identity)  # Complexity.AUTO
        error = self.refused(text)
        self.assertEqual(line_of(text, name_identity, 1), error.line)
        self.assertEqual(f"Complexity.AUTO: identity {name_identity} is already used by ChildAttributes.name "
                         f"(line {line_of(text, name_identity)})", error.message)

    def test_malformed_identity(self):
        text = replaced('"9750c8ca-da03-3cb7-be46-7c5f4c4fb772"', '"9750C8CA-DA03-3CB7-BE46-7C5F4C4FB772"')
        error = self.refused(text)
        self.assertEqual(line_of(text, "9750C8CA"), error.line)
        self.assertIn("BusTypeRootAttributes.checksum: malformed identity", error.message)

    def test_index_gap_and_index_used_twice(self):
        after = 'name = "SignalAttributes"'
        text = replaced("index = 3", "index = 4", after=after)
        error = self.refused(text)
        self.assertEqual(line_of(text, "index = 4", TEXT[:TEXT.index(after)].count("index = 4")), error.line)
        self.assertEqual("SignalAttributes.max: index 4 leaves a gap (3 is missing); a class's indices run from 1 "
                         "without gaps", error.message)
        text = replaced("index = 2", "index = 1", after=after)
        error = self.refused(text)
        self.assertIn("SignalAttributes.min: index 1 is used twice", error.message)
        # Exactly the derived properties go without an index.
        text = replaced("derived = true\nread_only", "derived = false\nread_only")
        error = self.refused(text)
        self.assertEqual("TreeNode.isInherited: exactly the derived properties have no index", error.message)

    def test_unknown_type(self):
        text = replaced('type = "DimsMode"', 'type = "DimMode"')
        error = self.refused(text)
        self.assertEqual(line_of(text, 'type = "DimMode"'), error.line)
        self.assertEqual("BusTypeElementAttributes.dimsMode: unknown type DimMode", error.message)
        text = replaced('type = "TreeNode" }', 'type = "Tree" }')
        self.assertIn("ParentAttributes.addChild: unknown argument type Tree", self.refused(text).message)

    def test_bad_opposite(self):
        old = 'opposite = "ParentAttributes.attrsOfChildren"'
        cases = {
            'opposite = "ParentAttributes.children"': "ChildAttributes.attrsOfParent: opposite "
                                                      "ParentAttributes.children is not mutual (its opposite names "
                                                      "none)",
            'opposite = "ParentAttributes.kids"': "ChildAttributes.attrsOfParent: opposite ParentAttributes.kids "
                                                  "names no property",
            'opposite = "attrsOfChildren"': "ChildAttributes.attrsOfParent: opposite 'attrsOfChildren' is not of "
                                            "the form Class.property",
        }
        for new, message in cases.items():
            with self.subTest(new):
                text = replaced(old, new)
                error = self.refused(text)
                self.assertEqual(line_of(text, new), error.line)
                self.assertEqual(message, error.message)

    def test_unsupported_kind_and_type_pairs(self):
        cases = {
            # A map of host pointers, a set of elements, an optional element, a derived collection.
            ('kind = "set"\nordered = false', 'kind = "map"\nordered = false'):
                "BlockAttributes.tavBlocks: no property kind holds a map of value type TavBlockPtr",
            ('kind = "sequence"\ncomposite = true', 'kind = "set"\ncomposite = true'):
                "ParentAttributes.children: no property kind holds a set of element class TreeNode",
            ('kind = "single"\nopposite = "ParentAttributes', 'kind = "optional"\nopposite = "ParentAttributes'):
                "ChildAttributes.attrsOfParent: no property kind holds a optional of element class ParentAttributes",
            ('kind = "single"\nderived = true', 'kind = "sequence"\nderived = true'):
                "ChildAttributes.parent: no property kind holds a derived sequence of element class TreeNode",
        }
        for (old, new), message in cases.items():
            with self.subTest(new):
                text = replaced(old, new)
                error = self.refused(text)
                self.assertEqual(line_of(text, new), error.line)
                self.assertEqual(message, error.message)
        text = replaced('kind = "set"\nordered = false', 'kind = 3\nordered = false')
        error = self.refused(text)
        self.assertEqual(line_of(text, "kind = 3"), error.line)
        self.assertEqual("BlockAttributes.tavBlocks: unknown kind 3 (one of optional, single, sequence, set, map)",
                         error.message)
        text = replaced('kind = "set"\n', "")
        self.assertEqual("BlockAttributes.tavBlocks: missing 'kind'", self.refused(text).message)

    def test_map_needs_two_keys_of_its_element_class(self):
        text = replaced('keys = ["indexOne", "name"]', 'keys = ["indexOne", "title"]')
        error = self.refused(text)
        self.assertEqual(line_of(text, "keys = "), error.line)
        self.assertIn("ParentAttributes.attrsOfChildren: a map needs 'keys'", error.message)

    def test_table_shape_errors(self):
        text = replaced('name = "checksum"\nidentity', 'name = "checksum"\nidentiy')
        error = self.refused(text)
        self.assertEqual(line_of(text, "identiy"), error.line)
        self.assertEqual("BusTypeRootAttributes.checksum: unknown field 'identiy'", error.message)
        text = replaced('identity = "9750c8ca-da03-3cb7-be46-7c5f4c4fb772"\n', "")
        error = self.refused(text)
        self.assertEqual("BusTypeRootAttributes.checksum: missing 'identity'", error.message)
        self.assertEqual(line_of(text, 'name = "checksum"') - 2, error.line)  # the [[classes.properties]] line
        text = replaced('name = "BlockAttributes"', 'name = "Zone"')
        error = self.refused(text)
        self.assertEqual("classes must be listed in alphabetical order: BusTypeElementAttributes comes after Zone",
                         error.message)
        text = replaced('name = "BlockAttributes"', 'name = "Complexity"')
        self.assertIn("the name is already used", self.refused(text).message)
        error = self.refused(TEXT.replace("[library]", "[library", 1))
        self.assertIn("not valid TOML", error.message)

    def test_mint_makes_a_name_based_identity_only_for_a_new_element(self):
        script = [sys.executable, str(REPOSITORY / "codegen" / "generate.py"), str(SCHEMA), "--mint"]
        run = subprocess.run(script + ["ChildAttributes.alias"], capture_output=True, text=True)
        self.assertEqual(0, run.returncode, run.stderr)
        # Version 3 in the namespace of the root identity, from the qualified name: repeatable by hand.
        self.assertEqual("49412fc0-062e-3875-8d50-a4c53abf7cf8\n", run.stdout)
        run = subprocess.run(script + ["ChildAttributes.name"], capture_output=True, text=True)
        self.assertEqual(1, run.returncode)
        self.assertIn("ChildAttributes.name already has the identity 1c50e031-cbbf-35f4-bbde-0964e8a5f2eb",
                      run.stderr)
        self.assertEqual("", run.stdout)

    def test_generate_reports_the_error_and_fails(self):
        with tempfile.TemporaryDirectory() as folder:
            broken = pathlib.Path(folder) / "broken.toml"
            broken.write_text(replaced('type = "DimsMode"', 'type = "DimMode"'))
            run = subprocess.run([sys.executable, str(REPOSITORY / "codegen" / "generate.py"), str(broken),
                                  str(pathlib.Path(folder) / "out")], capture_output=True, text=True)
            self.assertEqual(1, run.returncode)
            line = line_of(broken.read_text(), "DimMode")
            self.assertEqual(f"{broken}:{line}: BusTypeElementAttributes.dimsMode: unknown type DimMode\n", run.stderr)
            self.assertFalse((pathlib.Path(folder) / "out").exists())


if __name__ == "__main__":
    unittest.main()
