"""The studies in studies/: each runs on a few seeds, prints its table and a
verdict as its last line, and saves a PNG; their intervals are the textbook
ones."""

import math
import os
import subprocess
import sys

import pytest

from conftest import ROOT

STUDIES = os.path.join(ROOT, "studies")
sys.path.insert(0, STUDIES)
import _stats  # noqa: E402
import distance_governs_survival  # noqa: E402

VERDICTS = {"claim: agrees", "claim: does not agree", "claim: partly"}


# One row per study: its script and the arguments that keep it short.
@pytest.mark.parametrize("script, extra", [
    ("equilibrium_and_clusters.py", []),
    ("survivors_are_strong.py", []),
    ("distance_governs_survival.py", []),
    ("walls_protect_minorities.py", []),
    ("four_cs_torus.py", []),
    ("blinking_updating.py", ["--rounds", "100"]),
    ("noise_order_disorder.py", ["--rounds", "20"]),
    ("grid_size.py", []),
])
def test_study_prints_table_and_verdict_and_saves_png(tmp_path, script, extra):
    figure = tmp_path / "figure.png"
    done = subprocess.run([sys.executable, os.path.join(STUDIES, script), "--seeds", "3",
                           "--jobs", "2", "--out", str(figure), *extra],
                          capture_output=True, text=True, timeout=600, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    header = lines.index(next(line for line in lines if line.startswith("measure")))
    row = lines[header + 1].split()
    assert row[-4].isdigit(), lines[header + 1]  # n, estimate, [low, high]
    low, high = float(row[-2].strip("[,")), float(row[-1].strip("]"))
    assert low <= float(row[-3]) <= high or math.isnan(low)
    assert "spread:3" in done.stdout
    assert lines[-1] in VERDICTS
    held = [line for line in lines if line.startswith("  [")]
    assert held and lines[-1] == ("claim: agrees" if all("[holds]" in h for h in held) else
                                  "claim: does not agree" if all("[fails]" in h for h in held)
                                  else "claim: partly")
    assert figure.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


# Wilson intervals (hits, n) and Student's t intervals of a mean, against
# values worked out by hand; the bounds at 0 and 1 are the proportion itself.
@pytest.mark.parametrize("function, arguments, value, low, high", [
    ("wilson", (5, 10), 0.5, 0.236593, 0.763407),
    ("wilson", (0, 4), 0.0, 0.0, 0.489891),
    ("wilson", (4, 4), 1.0, 0.510109, 1.0),
    ("wilson", (0, 1000), 0.0, 0.0, 0.003827),
    ("wilson", (0, 3), 0.0, 0.0, 0.561497),  # rounding once gave a low bound > 0
    ("wilson", (10, 10), 1.0, 0.722467, 1.0),  # and a high bound < 1
    ("wilson", (1, 1000), 0.001, 0.000177, 0.005643),
    ("mean_ci", ([1, 2, 3, 4],), 2.5, 0.445739, 4.554261),
    ("mean_ci", ([7, float("nan"), 9],), 8.0, -4.706205, 20.706205),
    ("mean_ci", ([5],), 5.0, math.nan, math.nan),
])
def test_intervals(function, arguments, value, low, high):
    e = getattr(_stats, function)(*arguments)
    assert e.value == pytest.approx(value)
    for got, want in [(e.low, low), (e.high, high)]:
        assert math.isnan(got) if math.isnan(want) else got == pytest.approx(want, abs=1e-6)
    if not math.isnan(low):
        assert e.low <= e.value <= e.high


# Where a share falling with the power first crosses one half: linear
# interpolation between the last power at or above it and the first below,
# the first such pair when the share comes back up, None when it never does.
@pytest.mark.parametrize("powers, shares, where", [
    ([1, 1.5, 2], [1.0, 0.6, 0.2], 1.625),
    ([1, 2, 3], [0.9, 0.5, 0.1], 2.0),
    ([0, 1, 2, 3], [0.8, 0.4, 0.7, 0.0], 0.75),
    ([1, 1.05, 1.1], [0.7, 0.7, 0.3], 1.075),
    ([0, 1], [0.4, 0.2], None),
    ([0, 1, 2], [0.9, 0.6, 0.5], None),
])
def test_transition_crossing(powers, shares, where):
    got = distance_governs_survival.crossing(powers, shares)
    assert got is None if where is None else got == pytest.approx(where)
