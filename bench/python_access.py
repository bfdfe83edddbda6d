"""Cost of a property access from Python: the arvelle package (a scripting class through the host)
beside the floor, a plain C++ struct with the same fields bound directly with pybind11.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_access.py [N]

Uses the test element class fenmoTest.Node (text, number) that the test-only module _arvelle_testing
registers: writes both fields of N elements inside one transaction, then reads them back, and prints
nanoseconds per access and the ratio to the floor. Only ratios from one run mean anything."""

import sys
import time

import arvelle
import _arvelle_testing

arvelle.load_library(_arvelle_testing.__file__, "arvelletesting")
from arvelle.fenmoTest import Node  # noqa: E402


def timed(f):
    start = time.perf_counter()
    f()
    return time.perf_counter() - start


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    model = arvelle.Model()
    with model.transaction("build"):
        nodes = [Node(model) for _ in range(n)]
    floors = [_arvelle_testing.Floor() for _ in range(n)]

    def write(objects):
        def run():
            for i, o in enumerate(objects):
                o.text = "double"
                o.number = i
        return run

    def read(objects):
        def run():
            total = 0
            for o in objects:
                total += len(o.text) + o.number
        return run

    with model.transaction("edit"):
        arvelle_write = timed(write(nodes))
    floor_write = timed(write(floors))
    arvelle_read = timed(read(nodes))
    floor_read = timed(read(floors))
    accesses = 2 * n
    for step, ours, floor in (("write", arvelle_write, floor_write), ("read", arvelle_read, floor_read)):
        print(f"{step}: n={n} arvelle={ours / accesses * 1e9:.0f}ns floor={floor / accesses * 1e9:.0f}ns "
              f"ratio={ours / floor:.1f}")


if __name__ == "__main__":
    main()
