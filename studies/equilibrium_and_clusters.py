#!/usr/bin/env python3
"""halvorn at its defaults comes to rest within a few rounds, and the
minority shrinks but survives, in clusters.

Source: Nowak, A., Szamrej, J. & Latane, B. (1990). From private attitude to
public opinion: a dynamic theory of social impact. Psychological Review 97,
362-376.

    ./scripts/run python3 studies/equilibrium_and_clusters.py [--seeds 4000]

Runs halvorn with its default settings (40 x 40 walls, initial share 0.3,
power of distance 2, simultaneous rounds, 500 rounds at most) on N spread
seeds. The claim agrees when every criterion printed holds, does not agree
when none does, and agrees partly otherwise.
"""

import matplotlib.pyplot as plt

import impactsim
from _stats import arguments, mean_ci, print_table, save, share, verdict

REST_BY = 10  # "a handful of rounds"


def main():
    args = arguments(__doc__, seeds=4000)
    df = impactsim.sweep(seeds=args.spread, jobs=args.jobs)
    share_start = df.opinion2_start / (df.opinion1_start + df.opinion2_start)
    rest = df.period == 1
    early = rest & (df.last_change_round <= REST_BY)
    survived = df.opinion2_end > 0
    kept = df[survived]

    rows = [
        (f"at rest by round {REST_BY} (share of runs)", share(early)),
        ("last change round, runs at rest", mean_ci(df.last_change_round[rest])),
        ("minority share, start", mean_ci(share_start)),
        ("minority share, end", mean_ci(df.minority_share_end)),
        ("minority share, end - start", mean_ci(df.minority_share_end - share_start)),
        ("minority survives (share of runs)", share(survived)),
        ("minority clusters, start", mean_ci(df.minority_clusters_start)),
        ("minority clusters, end (survivors)", mean_ci(kept.minority_clusters_end)),
        ("mean minority cluster size, start", mean_ci(df.mean_minority_cluster_size_start)),
        ("mean minority cluster size, end (survivors)",
         mean_ci(kept.mean_minority_cluster_size_end)),
        ("cluster size, end - start (survivors)",
         mean_ci(kept.mean_minority_cluster_size_end - kept.mean_minority_cluster_size_start)),
        ("like neighbours, start", mean_ci(df.like_neighbours_start)),
        ("like neighbours, end", mean_ci(df.like_neighbours_end)),
        ("like neighbours, end - start",
         mean_ci(df.like_neighbours_end - df.like_neighbours_start)),
    ]
    print_table(f"halvorn, default settings, {len(df)} runs (seeds spread:{args.seeds})", rows)
    e = dict(rows)

    fig, axes = plt.subplots(1, 3, figsize=(12, 3.8))
    axes[0].hist(df.last_change_round.clip(upper=30), bins=range(0, 32), color="tab:blue")
    axes[0].set(xlabel="last change round (30 = 30 or later)", ylabel="runs")
    for ax, (start, end, label) in zip(axes[1:], [
            (share_start, df.minority_share_end, "minority share"),
            (df.mean_minority_cluster_size_start, df.mean_minority_cluster_size_end,
             "mean minority cluster size")]):
        ax.scatter(start, end, s=8, alpha=0.5)
        ax.set(xlabel=f"{label}, start", ylabel=f"{label}, end")
    fig.suptitle(f"halvorn defaults, {len(df)} runs")
    save(fig, args.out)

    verdict([
        (f"most runs at rest by round {REST_BY}: the share's lower bound > 0.5",
         e[f"at rest by round {REST_BY} (share of runs)"].low > 0.5),
        ("the minority shrinks: end - start share, upper bound < 0",
         e["minority share, end - start"].high < 0),
        ("the minority survives in most runs: the share's lower bound > 0.5",
         e["minority survives (share of runs)"].low > 0.5),
        ("in clusters: mean minority cluster size grows, end - start lower bound > 0",
         e["cluster size, end - start (survivors)"].low > 0),
        ("like neighbours rise: end - start lower bound > 0",
         e["like neighbours, end - start"].low > 0),
    ])


if __name__ == "__main__":
    main()
