"""examples/minority_by_distance.py runs as the README shows, on a few seeds."""

import os
import subprocess
import sys

from conftest import ROOT


def test_example_prints_its_table_and_saves_its_figure(tmp_path):
    figure = tmp_path / "figure.png"
    script = os.path.join(ROOT, "examples", "minority_by_distance.py")
    done = subprocess.run([sys.executable, script, "--seeds", "0-1", "--jobs", "2", "--out",
                           str(figure)], capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == "Mean final minority share, 2 seeds per cell"
    assert lines[1].split() == ["initial_dist", "0.4", "0.3", "0.2", "0.1"]
    rows = [line.split() for line in lines[3:-1]]
    assert len(rows) == 12 and rows[0][:2] == ["halvorn", "nb"] and rows[6][:2] == ["kestane", "nb"]
    assert all(0 <= float(v) <= 1 for row in rows for v in row[-4:])
    assert figure.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_readme_python_example_runs_as_written(tmp_path, monkeypatch):
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    section = readme[readme.index("## Using Python"):]
    code = section[section.index("```python\n") + 10:]
    code = code[:code.index("```")]
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "README.md", "exec"), {})
    assert (tmp_path / "heatmap.png").read_bytes()[:4] == b"\x89PNG"
