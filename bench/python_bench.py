"""W2 and W4 of the workload from Python: the arvelle package beside the floor, the workload's leaf
as plain C++ structs bound directly with pybind11 (module _arvelle_floor, built with the package).

    arvelle python bench/python_bench.py [N]        (or PYTHONPATH=build/python python3 ...)

Builds the workload's tree (W1's shape and values) from Python inside one transaction, then times
  W2: inside one open transaction (its commit not timed, as in the workload), each leaf's
      signalAttrs.dataType set to "single" (2 accesses a leaf);
  W4: each leaf's signalAttrs, then its 15 properties read, summing text lengths and enumeration
      values (16 accesses a leaf; the sum must be 10 N);
and the same loops over the floor's structs. Prints one line per step with nanoseconds per access and
the ratio to the floor, each the fastest of three rounds (the machine's load moves single rounds a lot).
"""

import gc
import sys
import time

import arvelle
import _arvelle_floor
from arvelle.tav.fenmo.treeNode import Complexity, TreeNode

TEXTS = ("min", "max", "unit", "dataType", "dims", "sampleTime", "valueType", "desc", "outputSignalName",
         "initialOutput")
ENUMERATIONS = ("complexity", "dimsMode", "virtuality", "dataMode", "outputWhenDisabled")
ROUNDS = 3
SIGNAL = {"complexity": "REAL", "dataType": "double", "dims": "1", "sampleTime": "-1"}


def depth_for(n):
    d = 1
    while 10 ** d < n:
        d += 1
    return d


def build_tree(model, n):
    """W1's tree: buses down to depth D, N leaves at depth D, the k-th child named s<k>. Answers the
    leaves in depth-first order."""
    leaves = []

    def fill(parent_attrs, levels, count):
        cap = 10 ** (levels - 1)
        k = 0
        while count > 0:
            k += 1
            take = min(cap, count)
            count -= take
            child = {"name": f"s{k}", "indexOne": k}
            if levels == 1:
                leaves.append(parent_attrs.createIntoChildren({"childAttrs": child, "signalAttrs": SIGNAL}))
            else:
                bus = parent_attrs.createIntoChildren({"childAttrs": child, "parentAttrs": {}})
                fill(bus.parentAttrs, levels - 1, take)

    root = TreeNode(model, {"parentAttrs": {}})
    fill(root.parentAttrs, depth_for(n), n)
    return root, leaves


def floor_leaves(n):
    leaves = [_arvelle_floor.Leaf() for _ in range(n)]
    for leaf in leaves:
        s = leaf.signalAttrs
        s.complexity, s.dataType, s.dims, s.sampleTime = Complexity.REAL.value, "double", "1", "-1"
    return leaves


def w2(leaves):
    for leaf in leaves:
        leaf.signalAttrs.dataType = "single"


def w4(leaves, ordinal):
    checksum = 0
    for leaf in leaves:
        s = leaf.signalAttrs
        for name in TEXTS:
            checksum += len(getattr(s, name))
        for name in ENUMERATIONS:
            value = getattr(s, name)
            if value is not None:
                checksum += ordinal(value)
    return checksum


def timed(f, *args):
    gc.disable()
    start = time.perf_counter()
    result = f(*args)
    seconds = time.perf_counter() - start
    gc.enable()
    return seconds, result


def fail(step):
    print(f"python verification failed: {step}", file=sys.stderr)
    sys.exit(1)


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    model = arvelle.Model()
    start = time.perf_counter()
    with model.transaction("build"):
        _, leaves = build_tree(model, n)
    build = time.perf_counter() - start
    floors = floor_leaves(n)
    print(f"python-build n={n} seconds={build:.3f} (one transaction, not compared)")

    # As in the workload, W2 is the sets inside an open transaction; its commit is W3's (here: not timed,
    # and undone before the next round). Each step runs ROUNDS times; the fastest round counts.
    ours = floor = float("inf")
    for _ in range(ROUNDS):
        with model.transaction("W2"):
            ours = min(ours, timed(w2, leaves)[0])
        if any(leaf.signalAttrs.dataType != "single" for leaf in leaves[:: max(1, n // 1000)]):
            fail("W2")
        model.undo()
        floor = min(floor, timed(w2, floors)[0])
        for leaf in floors:
            leaf.signalAttrs.dataType = "double"
    report("W2-edit", n, 2 * n, ours, floor)

    ours = floor = float("inf")
    for _ in range(ROUNDS):
        seconds, checksum = timed(w4, leaves, lambda member: member.value)
        ours = min(ours, seconds)
        seconds, floor_checksum = timed(w4, floors, lambda value: value)
        floor = min(floor, seconds)
        if checksum != 10 * n or floor_checksum != 10 * n:
            fail(f"W4 checksum {checksum}, floor {floor_checksum}, expected {10 * n}")
    report("W4-reflect", n, 16 * n, ours, floor)


def report(step, n, accesses, ours, floor):
    print(f"python-{step} n={n} arvelle_ns_per_access={ours / accesses * 1e9:.0f} "
          f"floor_ns_per_access={floor / accesses * 1e9:.0f} ratio={ours / floor:.2f}")


if __name__ == "__main__":
    main()
