# The tree's own scripting classes from Python: a bus hierarchy built with nested initial values, the
# uniqueness of sibling names and indices, moves undone and redone, queries, and files.
import gc

import pytest

import arvelle
from arvelle.tav.fenmo.treeNode import ChildAttributes, Complexity, ParentAttributes, TreeNode


def build_bus(model, names=("speed", "torque", "angle")):
    """A root bus holding one signal per name, indices in the order given."""
    root = TreeNode(model, {"parentAttrs": {}})
    for index, name in enumerate(names, start=1):
        root.parentAttrs.createIntoChildren(
            {"childAttrs": {"name": name, "indexOne": index},
             "signalAttrs": {"dataType": "double" if index % 2 else "int32", "complexity": "REAL"}})
    return root


def names_of(bus):
    return [child.childAttrs.name for child in bus.parentAttrs.children]


def test_a_hierarchy_built_from_python_is_filed_and_navigable():
    model = arvelle.Model()
    with model.transaction("build"):
        root = build_bus(model)
        inner = root.parentAttrs.createIntoChildren({"childAttrs": {"name": "inner", "indexOne": 4},
                                                     "parentAttrs": {}})
        deep = inner.parentAttrs.createIntoChildren({"childAttrs": {"name": "deep", "indexOne": 1}})
    bus = root.parentAttrs
    assert names_of(root) == ["speed", "torque", "angle", "inner"]
    assert len(bus.attrsOfChildren) == 4
    speed = bus.children[0]
    # The same element is the same Python object whichever way it is reached.
    assert root.parentAttrs is bus and speed.childAttrs is speed.childAttrs
    assert speed.childAttrs.attrsOfParent is bus and speed.childAttrs.parent is root
    assert deep.childAttrs.parent is inner and inner.getContainer() is bus
    assert speed in bus.children and deep not in bus.children
    assert speed.signalAttrs.complexity is Complexity.REAL and speed.signalAttrs.complexity == "REAL"
    # Text reads as text whether set or not; an unset enumeration reads as None.
    assert speed.signalAttrs.min == "" and deep.signalAttrs is None
    assert TreeNode(model, {"signalAttrs": {}}).signalAttrs.complexity is None
    # root + its attributes, three signals of three elements, inner of three, deep of two, the last node
    # with its signal attributes.
    assert model.elementCount() == 2 + 3 * 3 + 3 + 2 + 2
    assert isinstance(speed.childAttrs, ChildAttributes) and isinstance(bus, ParentAttributes)


def test_sibling_names_and_indices_stay_unique_and_refusals_change_nothing():
    model = arvelle.Model()
    with model.transaction("build"):
        root = build_bus(model)
    speed, torque, angle = root.parentAttrs.children
    reports = []
    listening = model.add_listener(reports.append)
    steps_before = model.can_undo

    for attribute, value in (("name", "angle"), ("indexOne", 3)):
        with pytest.raises(arvelle.Error) as refused:
            setattr(torque.childAttrs, attribute, value)
        assert refused.value.catalog == "fenmo:messages" and refused.value.key == "UniquenessConstraint"
        assert str(value) in refused.value.args
    assert names_of(root) == ["speed", "torque", "angle"]
    assert [c.childAttrs.indexOne for c in root.parentAttrs.children] == [1, 2, 3]
    assert reports == [] and model.can_undo == steps_before

    # Inside a block the refusal leaves the block, and the whole transaction goes back.
    with pytest.raises(arvelle.Error):
        with model.transaction("two renames"):
            speed.childAttrs.name = "velocity"
            torque.childAttrs.name = "angle"
    assert speed.childAttrs.name == "speed" and reports == []
    # A rename to its own name changes nothing; a free name is taken and can be looked up again.
    torque.childAttrs.name = "torque"
    assert reports == []
    torque.childAttrs.name = "moment"
    assert model.query('ChildAttributes where name == "moment"') == [torque.childAttrs]
    assert len(reports) == 1 and reports[0].changed(torque.childAttrs) == ["name"]
    listening.remove()


def test_moves_between_parents_undo_and_redo_with_the_same_objects():
    model = arvelle.Model()
    with model.transaction("build"):
        left = build_bus(model, ("a", "b"))
        right = build_bus(model, ("c",))
    b = left.parentAttrs.children[1]
    b.childAttrs.indexOne = 2  # unchanged: no step
    with model.transaction("move"):
        b.childAttrs.indexOne = 5
        b.childAttrs.parent = right
    assert names_of(left) == ["a"] and names_of(right) == ["c", "b"]
    assert b.childAttrs.attrsOfParent is right.parentAttrs and b.getContainer() is right.parentAttrs

    model.undo()
    assert names_of(left) == ["a", "b"] and names_of(right) == ["c"]
    assert left.parentAttrs.children[1] is b and b.childAttrs.indexOne == 2
    model.redo()
    assert right.parentAttrs.children[1] is b and b.childAttrs.parent is right

    # Detaching keeps the node and its attributes; the name is free for another child.
    with model.transaction("detach"):
        b.childAttrs.parent = None
    assert b.childAttrs.parent is None and names_of(right) == ["c"]
    right.parentAttrs.createIntoChildren({"childAttrs": {"name": "b", "indexOne": 5}})
    assert names_of(right) == ["c", "b"] and right.parentAttrs.children[1] is not b


def test_queries_answer_with_the_packages_objects():
    model = arvelle.Model()
    with model.transaction("build"):
        root = build_bus(model, ("s1", "s2", "s3", "other"))
    doubles = model.query('SignalAttributes where dataType == "double"')
    assert doubles == [c.signalAttrs for c in root.parentAttrs.children if c.childAttrs.indexOne % 2]
    assert all(a is b for a, b in zip(doubles, model.query('SignalAttributes where dataType == "double"')))
    nodes = model.query('TreeNode where childAttrs.name startswith "s" and signalAttrs.complexity == REAL')
    assert [n.childAttrs.name for n in nodes] == ["s1", "s2", "s3"]
    assert model.query("TreeNode where parentAttrs.children count (signalAttrs is set) >= 4") == [root]
    assert model.query('ChildAttributes where name == "nowhere"') == []

    # A query sees the edits of an open transaction, and what a rollback took back is gone again.
    with pytest.raises(RuntimeError):
        with model.transaction("retype"):
            root.parentAttrs.children[1].signalAttrs.dataType = "double"
            assert len(model.query('SignalAttributes where dataType == "double"')) == 3
            raise RuntimeError("abandon")
    assert len(model.query('SignalAttributes where dataType == "double"')) == 2

    for text, column in (("Nothing where x == 1", "1"), ("TreeNode where nosuch == 1", "16"),
                         ('SignalAttributes where dataType == "double" and', None)):
        with pytest.raises(arvelle.Error) as bad:
            model.query(text)
        assert bad.value.catalog == "fenmo:query" and bad.value.key == "InvalidQueryText"
        if column:
            assert bad.value.args[1] == column


def test_a_saved_tree_loads_equal_and_a_released_model_can_be_opened_again(tmp_path):
    model = arvelle.Model()
    with model.transaction("build"):
        root = build_bus(model)
    path = tmp_path / "bus.xml"
    model.save(path)
    root_id = root.uuid
    # The file's model is still open: its identity is taken.
    with pytest.raises(arvelle.Error):
        arvelle.load(path)
    del model, root
    gc.collect()
    # Every Python object of the first model is gone, so the model is closed and its identity free.
    loaded = arvelle.load(path)
    root = loaded.find(root_id)
    assert names_of(root) == ["speed", "torque", "angle"]
    assert root.parentAttrs.children[2].childAttrs.parent is root
    with pytest.raises(arvelle.Error) as clash:
        root.parentAttrs.children[0].childAttrs.name = "torque"
    assert clash.value.key == "UniquenessConstraint"
    assert len(loaded.query('SignalAttributes where dataType == "double"')) == 2


def test_a_property_shared_by_classes_reads_each_objects_own_value():
    from arvelle.fenmo import ModelElement

    model = arvelle.Model()
    with model.transaction("build"):
        root = build_bus(model, ("a",))
    leaf = root.parentAttrs.children[0]
    # One descriptor of the base class serves objects of several classes, alternately.
    objects = [root, leaf.childAttrs, leaf.signalAttrs, root.parentAttrs] * 2
    assert [o.uuid for o in objects] == [ModelElement.uuid.__get__(o) for o in objects]
    assert len({o.uuid for o in objects}) == 4
    assert isinstance(TreeNode.childAttrs, arvelle._arvelle.Property)
    assert TreeNode.childAttrs.__doc__.startswith("childAttrs (")
    with pytest.raises(AttributeError):
        root.isInherited = True
    with pytest.raises(AttributeError):
        del leaf.childAttrs.name
    with pytest.raises(TypeError):
        TreeNode.childAttrs.__get__(object())
    # A value the property's type refuses changes nothing.
    with pytest.raises(arvelle.Error):
        leaf.childAttrs.indexOne = "three"
    assert leaf.childAttrs.indexOne == 1 and not model.in_transaction
