"""impactsim.plot: each figure draws what it says on the Axes it returns,
and none of them shows a window."""

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


def test_map_uses_the_windows_colours_cell_by_cell():
    run = impactsim.run(program="kestane", seed=3, rounds=2, record="grids")
    ax = plot.map(run)
    image = ax.get_images()[0]
    rgba = image.to_rgba(image.get_array())
    magenta, blue = [1.0, 0.0, 1.0, 1.0], [0.0, 0.0, 1.0, 1.0]
    expected = np.where((run.opinions == 1)[..., None], magenta, blue)
    assert np.array_equal(rgba, expected)
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


def frame():
    # Two settings, a few rows per group, one group of a single row.
    return pd.DataFrame({
        "distance": ["2", "2", "2", "nb", "nb", "0"],
        "program": ["halvorn", "kestane", "halvorn", "halvorn", "halvorn", "kestane"],
        "minority_share_end": [0.1, 0.3, 0.2, 0.5, 0.7, 0.4],
    })


def test_confidence_intervals_and_group_order():
    table = plot.summary(frame(), x="distance", y="minority_share_end")
    row = table.set_index("distance").loc["2"]
    # Mean 0.2, sample sd 0.1, t(0.975, 2) = 4.303.
    assert row["mean"] == pytest.approx(0.2)
    assert row["ci"] == pytest.approx(4.302653 * 0.1 / np.sqrt(3), rel=1e-6)
    assert np.isnan(table.set_index("distance").loc["0", "ci"])
    # Past the table the expansion takes over; far out, t meets the normal.
    assert plot._t975(31) == pytest.approx(2.039513, abs=2e-6)
    assert plot._t975(10**6) == pytest.approx(1.959966, abs=1e-6)

    ax = plot.by_setting(frame(), x="distance", y="minority_share_end", hue="program")
    # The setting's own order (nb before the powers), not the text's.
    assert [t.get_text() for t in ax.get_xticklabels()] == ["nb", "0", "2"]
    halvorn = ax.containers[0]
    assert halvorn.lines[0].get_xydata().tolist() == [[0, 0.6], [2, 0.15000000000000002]]


def test_heatmap_holds_the_means_of_each_pair():
    df = frame()
    ax = plot.heatmap(df, x="distance", y="program", value="minority_share_end")
    means = np.ma.filled(ax.get_images()[0].get_array(), np.nan)
    assert means.shape == (2, 3)
    assert means[0].tolist() == pytest.approx([0.6, np.nan, 0.15], nan_ok=True)
    assert means[1].tolist() == pytest.approx([np.nan, 0.4, 0.3], nan_ok=True)
    given = plt.figure().add_subplot()
    assert plot.heatmap(df, x="distance", y="program", value="minority_share_end", ax=given) is given
