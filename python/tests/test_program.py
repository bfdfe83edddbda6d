# `arvelle python FILE ...`: the program runs a script with this build's package importable.
import os
import subprocess
import sys
import textwrap

import pytest

PROGRAM = os.environ.get("ARVELLE_PROGRAM")


@pytest.mark.skipif(not PROGRAM, reason="ARVELLE_PROGRAM names the arvelle program under test")
def test_the_program_runs_scripts_with_the_package(tmp_path):
    script = tmp_path / "build_bus.py"
    script.write_text(textwrap.dedent("""
        import sys
        import arvelle
        from arvelle.tav.fenmo.treeNode import TreeNode
        model = arvelle.Model()
        with model.transaction("build"):
            root = TreeNode(model, {"parentAttrs": {}})
            root.parentAttrs.createIntoChildren({"childAttrs": {"name": "speed", "indexOne": 1}})
        model.save(sys.argv[sys.argv.index("--out") + 1])
        print(sys.argv[1:])
        sys.exit(len(model.query('ChildAttributes where name == "speed"')) + 6)
        """))
    out = tmp_path / "bus.xml"
    # The package is found without PYTHONPATH, and every argument after the script is the script's.
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    done = subprocess.run([PROGRAM, "python", str(script), "--out", str(out), "--help"], env=environment,
                          capture_output=True, text=True)
    assert done.returncode == 7, done.stderr
    assert done.stdout.strip() == repr(["--out", str(out), "--help"])
    assert out.exists() and "speed" in out.read_text()

    missing = subprocess.run([PROGRAM, "python"], capture_output=True, text=True)
    assert missing.returncode == 2 and "script" in missing.stderr
    failing = subprocess.run([PROGRAM, "python", str(tmp_path / "none.py")], capture_output=True, text=True)
    assert failing.returncode != 0 and "none.py" in failing.stderr


def test_the_readme_session_runs(capsys):
    readme = (__import__("pathlib").Path(__file__).resolve().parents[2] / "README.md").read_text()
    session = readme.split("```python\n", 1)[1].split("```", 1)[0]
    exec(compile(session, "README.md", "exec"), {})
    assert "SignalAttributes" in capsys.readouterr().out
