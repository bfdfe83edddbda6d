# The package under test, with the scripting classes of the scripting layer's C++ suites registered
# (fenmoTest.Node, fenmoTest.Complexity, minimal tav.fenmo.treeNode classes) after it was imported, by
# the initialiser the test module exports as a library would: the package finds them on first use.
import gc

import pytest

import arvelle
import _arvelle_testing

assert arvelle.load_library(_arvelle_testing.__file__, "arvelletesting")


@pytest.fixture(autouse=True)
def nothing_left_bound():
    """Every test ends with no scripting object left bound once Python dropped its objects."""
    gc.collect()
    before = _arvelle_testing.bound_count()
    yield
    gc.collect()
    assert _arvelle_testing.bound_count() == before, "scripting objects outlived their Python objects"
