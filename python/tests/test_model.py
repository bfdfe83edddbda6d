import gc
import sys

import pytest

import arvelle
import _arvelle_testing
from arvelle.fenmoTest import Node


def test_edit_undo_redo_with_the_same_objects():
    model = arvelle.Model()
    a, b = Node(model), Node(model)
    with model.transaction("link") as t:
        assert model.in_transaction and t.name == "link"
        a.child = b
        a.text = "a"
    assert not model.in_transaction
    assert a.child is b and a.child is a.child
    assert b.getContainer() is a and b.getModel() is model and a.getModel() is model
    assert model.find(a.uuid) is a and model.find(b.uuid) is b
    assert model.find("6f1c2a4e-0000-4000-8000-000000000001") is None
    with pytest.raises(arvelle.Error):
        model.find("not-a-uuid")

    assert model.can_undo and not model.can_redo
    model.undo()
    assert a.child is None and a.text == "" and b.getContainer() is None
    assert model.can_redo
    model.redo()
    assert a.child is b and a.text == "a"
    # A new edit clears what could be redone.
    model.undo()
    a.number = 3
    assert not model.can_redo and a.child is None


def test_an_exception_inside_with_rolls_the_transaction_back():
    model = arvelle.Model()
    a = Node(model)
    a.text = "kept"
    count = model.elementCount()

    with pytest.raises(RuntimeError):
        with model.transaction("doomed"):
            a.text = "lost"
            c = Node(model)
            a.child = c
            raise RuntimeError("stop")
    assert a.text == "kept" and a.child is None
    assert not c.isValid() and model.elementCount() == count
    assert not model.in_transaction

    # A refusal inside the block rolls back the block's earlier edits too.
    with pytest.raises(arvelle.Error):
        with model.transaction():
            a.text = "half"
            a.number = "not a number"
    assert a.text == "kept"

    # Nested: the inner block's failure undoes only its part; the outer commit is one undo step.
    with model.transaction("outer"):
        a.number = 1
        with pytest.raises(KeyError):
            with model.transaction("inner"):
                a.number = 2
                a.text = "inner"
                raise KeyError("x")
        assert a.number == 1 and a.text == "kept"
    model.undo()
    assert a.number is None and a.text == "kept"
    model.undo()  # the first plain edit
    assert a.text == ""


def test_listeners_receive_one_report_per_outermost_commit():
    model = arvelle.Model()
    a = Node(model)
    reports = []
    token = model.add_listener(reports.append)

    with model.transaction("edit"):
        a.text = "x"
        with model.transaction():
            c = Node(model)
        a.number = 5
        a.number = None  # set and set back: not reported
    assert len(reports) == 1
    report = reports[0]
    assert report.cause == "commit" and report.created == [c] and report.created[0] is c
    assert report.changed(a) == ["text"]
    (element, properties), = [m for m in report.modified if m[0] is a]
    assert properties == [("text", None, "x")], "unset before: None"
    a.text = "y"
    assert reports[-1].modified == [(a, [("text", "x", "y")])]

    model.undo()
    model.undo()
    assert reports[-1].cause == "undo" and reports[-1].destroyed == [c]
    model.redo()
    assert reports[-1].cause == "redo"

    # A failing listener does not fail the edit; Python reports its error as unraisable.
    seen = []
    old_hook = sys.unraisablehook
    sys.unraisablehook = lambda info: seen.append(info.exc_value)
    try:
        def failing(report):
            raise ValueError("listener failed")

        failing_token = model.add_listener(failing)
        a.text = "after"
    finally:
        sys.unraisablehook = old_hook
    assert a.text == "after" and len(seen) == 1 and isinstance(seen[0], ValueError)

    count = len(reports)
    token.remove()
    del failing_token  # dropping the token removes the listener as well
    gc.collect()
    a.text = "unheard"
    assert len(reports) == count


def test_python_objects_keep_elements_alive_and_release_them():
    gc.collect()
    before = _arvelle_testing.bound_count()
    model = arvelle.Model()
    nodes = [Node(model) for _ in range(10)]
    ids = [n.uuid for n in nodes]
    assert _arvelle_testing.bound_count() == before + 11
    del nodes
    gc.collect()
    assert _arvelle_testing.bound_count() == before + 1, "collected objects release their elements"
    # The elements stay in the model; finding one makes a new object for it.
    again = model.find(ids[3])
    assert again.uuid == ids[3] and _arvelle_testing.bound_count() == before + 2
    del again, model
    gc.collect()
    assert _arvelle_testing.bound_count() == before


def test_objects_outlive_their_model():
    model = arvelle.Model()
    a, b = Node(model), Node(model)
    a.child = b
    assert a.getModel() is model
    # The model closes with its last reference: its elements' objects stay, say so, and refuse access.
    del model
    gc.collect()
    assert not a.isValid() and not b.isValid() and repr(a) == "<fenmoTest.Node (destroyed)>"
    with pytest.raises(arvelle.Error) as closed:
        a.text = "x"
    assert closed.value.key == "InvalidHandle"
    with pytest.raises(arvelle.Error):
        a.getModel()


def test_save_and_load(tmp_path):
    from arvelle.tav.fenmo.treeNode import ParentAttributes, TreeNode

    model = arvelle.Model()
    with model.transaction("build"):
        root = TreeNode(model, {"signalAttrs": {"dataType": "double"}})
        root.parentAttrs = ParentAttributes(model)
        child = TreeNode(model)
        root.parentAttrs.children.add(child)
    path = tmp_path / "model.xml"
    model.save(path)
    loaded = arvelle.load(path, new_identity=True)
    assert loaded is not model and loaded.elementCount() == model.elementCount() == 4
    copy = loaded.find(root.uuid)
    assert copy is not root and copy.getModel() is loaded and not loaded.can_undo
    assert copy.getPropertyValue("signalAttrs").getPropertyValue("dataType") == "double"
    assert list(copy.parentAttrs.children) == [loaded.find(child.uuid)]
    with pytest.raises(arvelle.Error) as twice:
        arvelle.load(path)  # the model of the file's identity is open
    assert twice.value.catalog == "fenmo:messages"

    with pytest.raises(arvelle.Error) as missing:
        arvelle.load(tmp_path / "missing.xml")
    assert missing.value.catalog == "fenmo:messages"
    (tmp_path / "bad.xml").write_text("<model")
    with pytest.raises(arvelle.Error):
        arvelle.load(tmp_path / "bad.xml")
    with pytest.raises(arvelle.Error):
        model.save(tmp_path / "no" / "such" / "dir" / "m.xml")
