"""impactsim.plot: each figure draws what it says on the Axes it returns,
and none of them shows a window."""

import subprocess
import sys

import matplotlib.colors
import matplotlib.pyplot as plt
import numpy as np
import pandas as pd
import pytest

import impactsim
from impactsim import plot


@pytest.fixture(autouse=True)
def no_show(monkeypatch):
    def refuse(*args, **kwargs):
        raise AssertionError("a figure function called show()")

    monkeypatch.setattr(plt, "show", refuse)
    yield
    plt.close("all")


# The window's colours: magenta, blue, red, yellow, green (0, 128, 0).
WINDOW_COLOURS = [[1.0, 0.0, 1.0, 1.0], [0.0, 0.0, 1.0, 1.0], [1.0, 0.0, 0.0, 1.0],
                  [1.0, 1.0, 0.0, 1.0], [0.0, 128 / 255, 0.0, 1.0]]


@pytest.mark.parametrize("opinions", [2, 5])
def test_map_uses_the_windows_colours_cell_by_cell(opinions):
    run = impactsim.run(program="kestane", seed=3, rounds=2, record="grids", opinions=opinions)
    assert run.opinions.max() == opinions
    ax = plot.map(run)
    image = ax.get_images()[0]
    rgba = image.to_rgba(image.get_array())
    expected = np.array(WINDOW_COLOURS)[run.opinions - 1]
    assert np.allclose(rgba, expected, atol=1e-3)
    assert plot.map(run, round=0).get_images()[0].get_array().tolist() == run.grids[0].tolist()


def test_chart_stacks_the_shares_of_every_round():
    run = impactsim.run(seed=12345000, rounds=6)
    ax = plot.chart(run)
    lower, upper = ax.collections
    share2 = run.census.opinion2 / 1600
    # The top of the opinion-1 band is its share; opinion 2 fills up to 1.
    corners = {tuple(v) for v in lower.get_paths()[0].vertices.round(9)}
    for r, share in enumerate(share2):
        assert (r, round(1 - share, 9)) in corners
    assert np.allclose(upper.get_paths()[0].vertices[:, 1].max(), 1.0)
    assert [c.get_facecolor()[0].tolist() for c in (lower, upper)] == [
        [1.0, 0.0, 1.0, 1.0], [0.0, 0.0, 1.0, 1.0]]
    assert ax.get_title() == "Evolution Process"
    # Four opinions: a band each, opinion 4 on top in the window's yellow.
    run = impactsim.run(program="kestane", seed=3, rounds=3, opinions=4)
    bands = plot.chart(run).collections
    assert [c.get_facecolor()[0].tolist() for c in bands] == WINDOW_COLOURS[:4]
    top = run.census.opinion4 / 400
    corners = {tuple(v) for v in bands[2].get_paths()[0].vertices.round(9)}
    for r, share in enumerate(top):
        assert (r, round(1 - share, 9)) in corners


def frame():
    # Two settings, a few rows per group, one group of a single row; distance
    # as sweep() gives it.
    return pd.DataFrame({
        "distance": pd.Categorical([2, 2, 2, "nb", "nb", 0], categories=["nb", 0, 2],
                                   ordered=True),
        "program": ["halvorn", "kestane", "halvorn", "halvorn", "halvorn", "kestane"],
        "minority_share_end": [0.1, 0.3, 0.2, 0.5, 0.7, 0.4],
    })


def test_confidence_intervals_and_group_order():
    table = plot.summary(frame(), x="distance", y="minority_share_end")
    row = table.set_index("distance").loc[2]
    # Mean 0.2, sample sd 0.1, t(0.975, 2) = 4.303.
    assert row["mean"] == pytest.approx(0.2)
    assert row["ci"] == pytest.approx(4.302653 * 0.1 / np.sqrt(3), rel=1e-6)
    assert np.isnan(table.set_index("distance").loc[0, "ci"])
    # Past the table the expansion takes over; far out, t meets the normal.
    assert plot._t975(31) == pytest.approx(2.039513, abs=2e-6)
    assert plot._t975(10**6) == pytest.approx(1.959966, abs=1e-6)

    ax = plot.by_setting(frame(), x="distance", y="minority_share_end", hue="program")
    # The setting's own order (nb before the powers), nb apart from them.
    ticks = {t.get_text(): x for t, x in zip(ax.get_xticklabels(), ax.get_xticks())}
    assert list(ticks) == ["nb", "0", "2"] and ticks["0"] - ticks["nb"] > ticks["2"] - ticks["0"]
    # No line joins nb to a power: nb's mean is a point of its own, in the
    # colour of its program's line.
    drawn = {}
    for container in ax.containers:
        line = container.lines[0]
        joined = line.get_linestyle() not in ("None", "none", "", " ")
        drawn.setdefault(line.get_color(), []).append((joined, line.get_xydata().tolist()))
    halvorn, kestane = drawn.values()
    assert halvorn == [(True, [[ticks["2"], 0.15000000000000002]]), (False, [[ticks["nb"], 0.6]])]
    assert kestane == [(True, [[ticks["0"], 0.4], [ticks["2"], 0.3]])]


def wcag_contrast(a, b):
    """The contrast ratio of two colours, from their relative luminance."""
    def luminance(rgba):
        r, g, b = [c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4 for c in rgba[:3]]
        return 0.2126 * r + 0.7152 * g + 0.0722 * b
    light, dark = sorted((luminance(a), luminance(b)), reverse=True)
    return (light + 0.05) / (dark + 0.05)


def test_heatmap_holds_the_means_of_each_pair():
    df = frame()
    ax = plot.heatmap(df, x="distance", y="program", value="minority_share_end")
    image = ax.get_images()[0]
    means = np.ma.filled(image.get_array(), np.nan)
    assert means.shape == (2, 3)
    assert means[0].tolist() == pytest.approx([0.6, np.nan, 0.15], nan_ok=True)
    assert means[1].tolist() == pytest.approx([np.nan, 0.4, 0.3], nan_ok=True)
    # Each mean is written on its cell in whichever of black and white
    # contrasts more with the cell's colour (dark cells and light ones here).
    labels = {(t.get_position()[1], t.get_position()[0]): t for t in ax.texts}
    assert len(labels) == 4
    for (i, j), label in labels.items():
        assert label.get_text() == f"{means[i, j]:.3g}"
        cell = image.cmap(image.norm(means[i, j]))
        contrast = {colour: wcag_contrast(cell, matplotlib.colors.to_rgba(colour))
                    for colour in ("black", "white")}
        assert label.get_color() == max(contrast, key=contrast.get), (label.get_text(), cell)
    assert {t.get_color() for t in ax.texts} == {"black", "white"}
    given = plt.figure().add_subplot()
    assert plot.heatmap(df, x="distance", y="program", value="minority_share_end", ax=given) is given


def test_importing_impactsim_leaves_matplotlib_unloaded():
    script = ("import sys\n"
              "import impactsim\n"
              "from impactsim import *\n"
              "print('matplotlib' in sys.modules, 'plot' in dir(impactsim))\n"
              "impactsim.plot.summary\n"
              "print('matplotlib' in sys.modules)\n"
              "import impactsim.plot\n"
              "print(impactsim.plot.heatmap.__module__)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["False", "True", "True", "impactsim.plot"]
