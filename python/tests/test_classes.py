import gc

import pytest

import arvelle
from arvelle.fenmoTest import Complexity, Node


def test_namespaces_are_modules_made_from_the_host():
    import arvelle.tav.fenmo.treeNode as tree
    from arvelle.fenmo.meta import Class
    from arvelle.tav.fenmo.treeNode import ParentAttributes, TreeNode

    assert tree.TreeNode is TreeNode and tree.ParentAttributes is ParentAttributes
    assert arvelle.tav.fenmo.treeNode is tree
    assert arvelle.Model is arvelle.fenmo.Model
    assert issubclass(Node, arvelle.fenmo.ModelElement) and issubclass(Class, arvelle.fenmo.ModelElement)
    assert issubclass(arvelle.fenmo.Sequence, arvelle.fenmo.Set)
    assert {"Model", "ModelElement", "Sequence", "Set", "meta"} <= set(dir(arvelle.fenmo))
    assert {"fenmo", "fenmoTest", "tav"} <= set(dir(arvelle))
    with pytest.raises(AttributeError):
        arvelle.fenmo.NoSuchClass
    with pytest.raises(AttributeError):
        arvelle.nowhere
    with pytest.raises(ImportError):
        from arvelle.fenmoTest import Nothing  # noqa: F401

    # A library without an initialiser registers nothing; one that cannot be loaded is refused.
    assert arvelle.load_library(arvelle._arvelle.__file__, "nothing") is False
    with pytest.raises(ValueError):
        arvelle.load_library("/nonexistent/libnothing.so", "nothing")

    # help() explains: properties with their types, methods with their signatures.
    doc = Node.__doc__
    assert "fenmoTest.Node" in doc and "text:" in doc and "hasChild" in doc and "read-only" in doc
    assert "getPropertyValue(" in arvelle.fenmo.ModelElement.__doc__
    assert "Members: FLOAT" in Complexity.__doc__ or "Members:" in Complexity.__doc__
    assert Node.text.__doc__.startswith("text (")


def test_values_cross_both_ways():
    back = arvelle._arvelle.to_host_and_back
    assert back("abc") == ("char", 1, 3, "abc")
    assert back("") == ("char", 0, 0, "")
    assert back(7) == ("int32", 1, 1, 7)
    assert back(2**40) == ("double", 1, 1, float(2**40))
    assert back(2.5) == ("double", 1, 1, 2.5)
    assert back(True) == ("logical", 1, 1, True)
    assert back(None) == ("double", 0, 0, None)
    assert back([1, 2.5]) == ("double", 1, 2, [1.0, 2.5])
    assert back([True, False]) == ("logical", 1, 2, [True, False])
    assert back(["a", 3, None]) == ("cell", 1, 3, ["a", 3, None])
    assert back({"name": "n", "size": [1, 2]}) == ("struct", 1, 1, {"name": "n", "size": [1.0, 2.0]})
    with pytest.raises(TypeError):
        back(object())

    model = arvelle.Model()
    node = Node(model)
    node.text = "h\u00e9llo \u2603 \U0001f600"
    assert node.text == "h\u00e9llo \u2603 \U0001f600"
    assert node.number is None
    node.number = 7
    assert node.number == 7 and isinstance(node.number, int)
    node.number = 7.0  # a whole double is taken for an int32 property
    node.number = None
    assert node.number is None
    assert node.hasChild is False
    with pytest.raises(AttributeError):
        node.hasChild = True
    # Objects cross as the same Python object, inside containers too.
    assert back([node, model])[3][0] is node
    assert back({"n": node})[3]["n"] is node


def test_enumerations_are_members_with_names():
    members = list(Complexity)
    assert [m.value for m in members] == sorted(m.value for m in members)
    real = Complexity["REAL"]
    assert Complexity.REAL is real and Complexity("REAL") is real and Complexity(real.value) is real
    assert real == "REAL" and real != "COMPLEX" and str(real) == "REAL"
    assert isinstance(real, Complexity) and repr(real) == f"<fenmoTest.Complexity.REAL: {real.value}>"
    assert arvelle._arvelle.to_host_and_back(real)[3] is real
    assert arvelle._arvelle.to_host_and_back([Complexity.COMPLEX, real])[3] == [Complexity.COMPLEX, real]
    with pytest.raises(ValueError):
        Complexity("SIDEWAYS")
    with pytest.raises(ValueError):
        Complexity(99)
    assert len({real, Complexity.REAL, Complexity.COMPLEX}) == 2


def test_static_methods_and_metaclasses():
    meta = Node.StaticMetaClass()
    assert isinstance(meta, arvelle.fenmo.meta.Class)
    assert meta is Node.StaticMetaClass(), "one object per element"
    assert meta.name == "Node" and meta.isAbstract is False
    assert "text" in meta.getPropertyNames() and "number" in meta.getPropertyNames()
    model = arvelle.Model()
    assert Node(model).getMetaClass() is meta


def test_refusals_raise_errors_with_catalog_key_and_arguments():
    model = arvelle.Model()
    a, b = Node(model), Node(model)
    with model.transaction("link"):
        a.child = b
        a.number = 1
    undo_steps = model.can_undo

    with pytest.raises(arvelle.Error) as cycle:
        b.child = a
    assert (cycle.value.catalog, cycle.value.key) == ("fenmo:messages", "InvalidValue")
    assert "InvalidValue" in str(cycle.value)
    with pytest.raises(arvelle.Error) as cast:
        a.number = "seven"
    assert cast.value.key == "CannotCastIncompatibleTypes"
    with pytest.raises(arvelle.Error) as unknown:
        a.getPropertyValue("colour")
    assert unknown.value.args == ("colour",)
    with pytest.raises(arvelle.Error) as count:
        Node()
    assert (count.value.catalog, count.value.key) == ("plexo:class", "WrongNumberOfInputs")
    with pytest.raises(arvelle.Error) as abstract:
        arvelle.fenmo.ModelElement(model)
    assert abstract.value.catalog == "plexo:class"
    # Every refusal left the model as it was.
    assert a.child is b and b.child is None and a.number == 1
    assert model.elementCount() == 2 and model.can_undo == undo_steps

    with pytest.raises(arvelle.Error) as nothing:
        arvelle.Model().undo()
    assert nothing.value.key == "InvalidOperation"

    # A destroyed element keeps its object, which refuses every access.
    b.destroy()
    assert not b.isValid() and repr(b) == "<fenmoTest.Node (destroyed)>"
    with pytest.raises(arvelle.Error) as dead:
        b.text
    assert (dead.value.catalog, dead.value.key) == ("Qorin:class", "InvalidHandle")
    assert a.child is None and model.elementCount() == 1


def test_struct_initial_values_and_collections():
    from arvelle.tav.fenmo.treeNode import ParentAttributes, TreeNode

    model = arvelle.Model()
    # A dict gives the initial values; a dict inside it builds the contained element.
    root = TreeNode(model, {"signalAttrs": {"dataType": "double"}})
    signal = root.getPropertyValue("signalAttrs")
    assert signal.getPropertyValue("dataType") == "double" and signal.getContainer() is root
    assert TreeNode(model, {"parentAttrs": {}}).parentAttrs.getContainer() is not None
    count = model.elementCount()
    with pytest.raises(arvelle.Error) as derived:
        TreeNode(model, {"isInherited": True})
    assert derived.value.key == "InvalidValue" and model.elementCount() == count
    parent = ParentAttributes(model)
    root.parentAttrs = parent
    assert root.parentAttrs is parent and root.parentAttrs is root.parentAttrs

    children = parent.children
    assert isinstance(children, arvelle.fenmo.Sequence) and children is parent.children
    nodes = [TreeNode(model) for _ in range(3)]
    for n in nodes:
        children.add(n)
    assert len(children) == 3 and list(children) == nodes
    assert children[0] is nodes[0] and children[-1] is nodes[2] and children[0:2] == nodes[:2]
    assert nodes[1] in children and root not in children and "x" not in children
    assert nodes[0].getContainer() is parent
    with pytest.raises(IndexError):
        children[3]
    with pytest.raises(IndexError):
        children[-4]
    with pytest.raises(arvelle.Error) as wrong:
        children.add(Node(model))
    assert wrong.value.key == "CannotAddIncompatibleTypes" and len(children) == 3
    children.insert(1, nodes[2])  # host positions are 1-based
    assert list(children) == [nodes[2], nodes[0], nodes[1]]
    assert repr(children) == "<fenmo.Sequence of 3>"
    assert isinstance(parent.attrsOfChildren, arvelle.fenmo.Map)


def test_stubs_name_every_class_property_and_method(tmp_path):
    import ast

    from arvelle import stubs

    files = stubs.write(tmp_path)
    node_stub = (tmp_path / "arvelle" / "fenmoTest" / "__init__.pyi").read_text()
    assert tmp_path / "arvelle" / "fenmoTest" / "__init__.pyi" in files
    for f in files:
        ast.parse(f.read_text())  # every stub is valid Python
    assert "class Node(arvelle.fenmo.ModelElement):" in node_stub
    assert "    text: str" in node_stub and "    number: int" in node_stub
    assert "    def StaticMetaClass() -> \"arvelle.fenmo.meta.Class\": ..." in node_stub
    assert "    def isValid(self) -> bool: ..." in (tmp_path / "arvelle" / "fenmo" / "__init__.pyi").read_text()
    assert "class Model(arvelle.ModelExtras, arvelle.HostObject):" in (
        tmp_path / "arvelle" / "fenmo" / "__init__.pyi").read_text()
    assert "class Complexity(arvelle.EnumMember):" in node_stub and "    REAL: Complexity" in node_stub
