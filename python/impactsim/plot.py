"""Figures of runs and sweeps with matplotlib. Every function draws on the
Axes it is given (a new figure's otherwise), returns that Axes and never calls
show(), so figures can be combined and saved as the caller likes.

    r = impactsim.run(seed=12345000)
    impactsim.plot.map(r); impactsim.plot.chart(r)
"""

from __future__ import annotations

from typing import Any, Optional

import matplotlib.axes
import matplotlib.colors
import matplotlib.pyplot as plt
import numpy as np
import pandas as pd

from . import Run, _values

# The windows' colours of opinions 1..16 (1 magenta, 2 blue, 3 red, ...), as
# the map, the chart and the census fields show them.
OPINION_COLOURS = {1: "#ff00ff", 2: "#0000ff", 3: "#ff0000", 4: "#ffff00", 5: "#008000",
                   6: "#ffffff", 7: "#c0c0c0", 8: "#00ff00", 9: "#00ffff", 10: "#008080",
                   11: "#808000", 12: "#800080", 13: "#800000", 14: "#000080", 15: "#808080",
                   16: "#000000"}


def _opinions(run):
    """The run's opinions 1..K."""
    return range(1, (run.opinion_count or 2) + 1)


def _axes(ax):
    return ax if ax is not None else plt.figure().add_subplot()


def _order(df, column):
    """The values present in a column in the setting's order: a categorical's
    own (nb before the powers), text in the order the setting lists its
    values, anything else sorted (False before True)."""
    if isinstance(df[column].dtype, pd.CategoricalDtype):
        return df[column].cat.remove_unused_categories().cat.categories.tolist()
    values = pd.unique(df[column].dropna())
    entry = _values.SETTINGS.get(column)
    if entry is not None and entry["items"] and not entry["number"]:
        rank = {item: i for i, item in enumerate(entry["items"])}
        return sorted(values, key=lambda v: rank.get(v, len(rank)))
    return sorted(values)


def map(run: Run, ax: Optional[matplotlib.axes.Axes] = None,
        round: Optional[int] = None) -> matplotlib.axes.Axes:
    """The population as the window's map shows it: one square per cell in
    the opinion's colour, row 1 at the top. `round` picks a round of
    run.grids (record="grids") instead of the final population.

        ax = impactsim.plot.map(impactsim.run(seed=0))
        ax.figure.savefig("map.png")
    """
    ax = _axes(ax)
    opinions = run.opinions if round is None else run.grids[round]
    held = _opinions(run)
    colours = matplotlib.colors.ListedColormap([OPINION_COLOURS[o] for o in held])
    ax.imshow(opinions, cmap=colours, vmin=0.5, vmax=len(held) + 0.5, interpolation="nearest")
    ax.set_xticks([])
    ax.set_yticks([])
    shown = f"round {round}" if round is not None else f"round {run.rounds_run}"
    ax.set_title(f"{run.program}, seed {run.seed}, {shown}")
    return ax


def chart(run: Run, ax: Optional[matplotlib.axes.Axes] = None) -> matplotlib.axes.Axes:
    """The "Evolution Process" chart: the share of each opinion after every
    round, stacked, the highest opinion on top as in the window (without its
    wrapping round after 50 columns).

        ax = impactsim.plot.chart(impactsim.run(seed=0))
    """
    ax = _axes(ax)
    census = run.census
    held = _opinions(run)
    counts = [census[f"opinion{o}"] for o in held]
    cells = sum(counts)
    ax.stackplot(census["round"], *[count / cells for count in counts],
                 colors=[OPINION_COLOURS[o] for o in held], labels=[f"opinion {o}" for o in held])
    ax.set_xlim(census["round"].min(), max(census["round"].max(), 1))
    ax.set_ylim(0, 1)
    ax.set_title("Evolution Process")
    ax.set_xlabel("Round")
    ax.set_ylabel("frequency")
    return ax


def _mean_ci(values):
    """Mean and half-width of its 95% confidence interval (Student's t)."""
    values = np.asarray(values, dtype=float)
    values = values[~np.isnan(values)]
    n = len(values)
    if n == 0:
        return np.nan, np.nan
    mean = values.mean()
    if n < 2:
        return mean, np.nan
    return mean, _t975(n - 1) * values.std(ddof=1) / np.sqrt(n)


# The 97.5% quantiles of Student's t for 1 to 30 degrees of freedom.
_T975 = [12.706205, 4.302653, 3.182446, 2.776445, 2.570582, 2.446912, 2.364624, 2.306004,
         2.262157, 2.228139, 2.200985, 2.178813, 2.160369, 2.144787, 2.13145, 2.119905,
         2.109816, 2.100922, 2.093024, 2.085963, 2.079614, 2.073873, 2.068658, 2.063899,
         2.059539, 2.055529, 2.051831, 2.048407, 2.04523, 2.042272]


def _t975(df):
    """The 97.5% quantile of Student's t with df degrees of freedom: from the
    table up to 30, then the Cornish-Fisher expansion, within 2e-6 of it
    from 31 on. The same on every machine, with or without SciPy."""
    if df <= len(_T975):
        return _T975[df - 1]
    z = 1.959963984540054
    return (z + (z**3 + z) / (4 * df) + (5 * z**5 + 16 * z**3 + 3 * z) / (96 * df**2)
            + (3 * z**7 + 19 * z**5 + 17 * z**3 - 15 * z) / (384 * df**3))


def summary(df: pd.DataFrame, x: str, y: str, hue: Optional[str] = None) -> pd.DataFrame:
    """The mean of y and its 95% confidence interval per group of x (and hue):
    a frame with columns x, [hue,] mean, ci, n."""
    keys = [x] if hue is None else [hue, x]
    rows = []
    for key, group in df.groupby(keys if hue is not None else x, sort=False, observed=True):
        key = key if isinstance(key, tuple) else (key,)
        mean, ci = _mean_ci(group[y])
        rows.append((*key, mean, ci, group[y].notna().sum()))
    return pd.DataFrame(rows, columns=keys + ["mean", "ci", "n"])


def _positions(order):
    """The x position of each value: nb stands apart, a gap before the
    powers, as it is no power next to 0."""
    apart = [v for v in order if isinstance(v, str) and v == "nb"]
    rest = [v for v in order if v not in apart]
    position = {value: i for i, value in enumerate(apart)}
    first = len(apart) + 1 if apart else 0
    position.update({value: first + i for i, value in enumerate(rest)})
    return position, apart


def by_setting(df: pd.DataFrame, x: str, y: str, hue: Optional[str] = None,
               ax: Optional[matplotlib.axes.Axes] = None) -> matplotlib.axes.Axes:
    """The mean of column y for each value of setting x, with its 95%
    confidence interval as error bars, one line per value of hue. The
    distance nb is no power: it is drawn apart, left of the powers, as a
    point of its own that no line joins.

        df = impactsim.sweep(distance=["nb", 0, 2, 4], seeds=range(50))
        impactsim.plot.by_setting(df, x="distance", y="minority_share_end")
    """
    ax = _axes(ax)
    table = summary(df, x, y, hue)
    order = _order(df, x)
    position, apart = _positions(order)
    groups = [(None, table)] if hue is None else [
        (value, table[table[hue] == value]) for value in _order(df, hue)]
    for value, group in groups:
        group = group.assign(_at=group[x].map(position)).sort_values("_at")
        alone = group[x].isin(apart).to_numpy()
        label = None if hue is None else f"{hue} {value}"
        colour = None
        # A group of one run has no interval; it is drawn without one.
        for part, style in ((group[~alone], "-"), (group[alone], "none")):
            if part.empty:
                continue
            bars = ax.errorbar(part["_at"], part["mean"], yerr=part["ci"].fillna(0), marker="o",
                               capsize=3, linestyle=style, color=colour, label=label)
            colour, label = bars.lines[0].get_color(), None
    ax.set_xticks([position[v] for v in order])
    ax.set_xticklabels([str(v) for v in order])
    ax.set_xlabel(x)
    ax.set_ylabel(f"mean {y} (95% CI)")
    if hue is not None:
        ax.legend()
    return ax


def _text_colour(rgba: Any) -> str:
    """Black or white, whichever stands out more on a cell of colour rgba:
    black where the colour's relative luminance is above 0.179, where both
    contrast equally."""
    linear = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in rgba[:3]]
    luminance = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]
    return "black" if luminance > 0.179 else "white"


def heatmap(df: pd.DataFrame, x: str, y: str, value: str,
            ax: Optional[matplotlib.axes.Axes] = None) -> matplotlib.axes.Axes:
    """The mean of column `value` for every pair of values of settings x and
    y, as a grid of coloured cells with the means written in them, in black
    or white as reads best on the cell.

        df = impactsim.sweep(distance=["nb", 2, 4], initial_dist=[0.4, 0.1], seeds=range(50))
        impactsim.plot.heatmap(df, x="distance", y="initial_dist", value="minority_share_end")
    """
    ax = _axes(ax)
    means = df.groupby([y, x], observed=True)[value].mean().unstack(x)
    means = means.reindex(index=_order(df, y), columns=_order(df, x))
    cells = means.to_numpy(dtype=float)
    image = ax.imshow(cells, cmap="viridis", aspect="auto")
    ax.set_xticks(range(len(means.columns)))
    ax.set_xticklabels([str(v) for v in means.columns])
    ax.set_yticks(range(len(means.index)))
    ax.set_yticklabels([str(v) for v in means.index])
    ax.set_xlabel(x)
    ax.set_ylabel(y)
    for (i, j), mean in np.ndenumerate(cells):
        if not np.isnan(mean):
            colour = _text_colour(image.cmap(image.norm(mean)))
            ax.text(j, i, f"{mean:.3g}", ha="center", va="center", color=colour)
    ax.figure.colorbar(image, ax=ax, label=f"mean {value}")
    return ax
