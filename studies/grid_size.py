#!/usr/bin/env python3
"""The size of the grid does not change what happens: at every size the
runs come to rest within a few rounds, and the minority shrinks but
survives, in clusters.

Source: Nowak, A., Szamrej, J. & Latane, B. (1990). From private attitude to
public opinion: a dynamic theory of social impact. Psychological Review 97,
362-376 (the claim of equilibrium_and_clusters.py, there on 40 x 40 only).

    ./scripts/run python3 studies/grid_size.py [--seeds 1000]

Runs halvorn with sides 20, 40 and 80 and kestane with sides 10, 20 and 40,
at their other defaults (initial share 0.3, power of distance 2, halvorn
with walls, whose neighbourhood is simply cut at the grid's edge; on a
torus halvorn would need a side above twice its reach, 16 with the default
scope), on N spread seeds per side. Kestane's every cell is a source of
every other, so its side-40 runs take about 2.5 ms per round.

For each program and side the claim holds when, on the 95% intervals,
(a) most runs are at rest by round 10 (share's lower bound > 0.5),
(b) the minority shrinks (end - start share, upper bound < 0), (c) it
survives in most runs (share's lower bound > 0.5) and (d) like neighbours
rise (end - start, lower bound > 0). How the final minority share,
clusters per cell and the last change round move with the side is printed
and drawn, not judged. The claim agrees when every criterion holds, does
not agree when none does, and agrees partly otherwise.
"""

import matplotlib.pyplot as plt

import impactsim
from _stats import arguments, mean_ci, print_table, save, share, verdict

SIDES = {"halvorn": [20, 40, 80], "kestane": [10, 20, 40]}
REST_BY = 10  # "a handful of rounds", as in equilibrium_and_clusters.py


def measures(group):
    """The estimates of one program at one side, by label."""
    cells = group.opinion1_start + group.opinion2_start
    share_start = group.opinion2_start / cells
    rest = group.period == 1
    return {
        "at rest by the round limit": share(rest),
        f"at rest by round {REST_BY}": share(rest & (group.last_change_round <= REST_BY)),
        "last change round, runs at rest": mean_ci(group.last_change_round[rest]),
        "minority share, end": mean_ci(group.minority_share_end),
        "minority share, end - start": mean_ci(group.minority_share_end - share_start),
        "minority survives": share(group.opinion2_end > 0),
        "clusters per cell, end": mean_ci(group.clusters_end / cells),
        "like neighbours, end - start":
            mean_ci(group.like_neighbours_end - group.like_neighbours_start),
    }


def judged(program, side, e):
    """The criteria of one program at one side."""
    return [
        (f"{program} {side}: at rest by round {REST_BY} in most runs",
         e[f"at rest by round {REST_BY}"].low > 0.5),
        (f"{program} {side}: the minority shrinks", e["minority share, end - start"].high < 0),
        (f"{program} {side}: the minority survives in most runs",
         e["minority survives"].low > 0.5),
        (f"{program} {side}: like neighbours rise", e["like neighbours, end - start"].low > 0),
    ]


def main():
    args = arguments(__doc__, seeds=1000)
    fig, axes = plt.subplots(1, 3, figsize=(13, 4))
    criteria = []
    for program, sides in SIDES.items():
        df = impactsim.sweep(program=program, side=sides, seeds=args.spread, jobs=args.jobs)
        by = {side: measures(df[df.side == side]) for side in sides}
        rows = [(f"side {side}: {name}", e) for side, m in by.items() for name, e in m.items()]
        print_table(f"{program}, {args.seeds} runs per side (seeds spread:{args.seeds})", rows)
        print()
        for side in sides:
            criteria += judged(program, side, by[side])
        for ax, name in zip(axes, ["minority share, end", "clusters per cell, end",
                                   "last change round, runs at rest"]):
            values = [by[side][name] for side in sides]
            ax.errorbar(sides, [v.value for v in values],
                        yerr=[[v.value - v.low for v in values],
                              [v.high - v.value for v in values]],
                        marker="o", capsize=3, label=program)
            ax.set(xscale="log", xlabel="side", title=name)
    for ax in axes:
        ax.minorticks_off()
        ax.set_xticks(sorted({s for sides in SIDES.values() for s in sides}))
        ax.set_xticklabels([str(s) for s in ax.get_xticks()])
    axes[0].legend()
    save(fig, args.out)
    verdict(criteria)


if __name__ == "__main__":
    main()
