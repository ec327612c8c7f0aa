#!/usr/bin/env python3
"""The four Cs of dynamic social impact on the torus: consolidation (the
minority shrinks), clustering (like opinions gather), continuing diversity
(the minority does not vanish) and correlation (attitudes on different
issues come to go together).

Source: Latane, B. (1996). Dynamic social impact: the creation of culture by
communication. Journal of Communication 46(4), 13-25.

    ./scripts/run python3 studies/four_cs_torus.py [--seeds 4000]

Runs kestane at its defaults (20 x 20 torus, initial share 0.3, power of
distance 2, sequential rounds, damped totals, 50 rounds at most), the
settings in which the claims are expected to hold, on N spread seeds.
Correlation needs attitudes on several issues; a cell here holds one opinion
on one issue, so it cannot be shown and is not tested. The verdict covers
the other three: consolidation (end - start minority share, upper bound
below 0), clustering (end - start like neighbours, lower bound above 0) and
continuing diversity (share of runs not unanimous, lower bound above one
half). The claim agrees when all three hold, does not agree when none does,
and agrees partly otherwise.
"""

import matplotlib.pyplot as plt

import impactsim
from _stats import arguments, mean_ci, print_table, save, share, verdict


def main():
    args = arguments(__doc__, seeds=4000)
    df = impactsim.sweep(program="kestane", seeds=args.spread, jobs=args.jobs)
    cells = df.opinion1_start + df.opinion2_start
    share_start = df.opinion2_start / cells
    diverse = (df.opinion1_end > 0) & (df.opinion2_end > 0)
    rows = [
        ("minority share, start", mean_ci(share_start)),
        ("minority share, end", mean_ci(df.minority_share_end)),
        ("consolidation: share end - start", mean_ci(df.minority_share_end - share_start)),
        ("like neighbours, start", mean_ci(df.like_neighbours_start)),
        ("like neighbours, end", mean_ci(df.like_neighbours_end)),
        ("clustering: like neighbours end - start",
         mean_ci(df.like_neighbours_end - df.like_neighbours_start)),
        ("continuing diversity: not unanimous (share of runs)", share(diverse)),
    ]
    print_table(f"kestane, default settings, {len(df)} runs (seeds spread:{args.seeds})", rows)
    print("correlation: not shown; each cell holds one opinion on a single issue, "
          "so there are no attitudes on several issues to correlate")
    e = dict(rows)

    fig, axes = plt.subplots(1, 2, figsize=(10, 4))
    for ax, (start, end, label) in zip(axes, [
            (share_start, df.minority_share_end, "minority share"),
            (df.like_neighbours_start, df.like_neighbours_end, "like neighbours")]):
        ax.scatter(start, end, s=8, alpha=0.5)
        low, high = min(start.min(), end.min()), max(start.max(), end.max())
        ax.plot([low, high], [low, high], color="grey", lw=0.8)
        ax.set(xlabel=f"{label}, start", ylabel=f"{label}, end")
    fig.suptitle(f"kestane defaults, {len(df)} runs (line: no change)")
    save(fig, args.out)

    verdict([
        ("consolidation: minority share end - start, upper bound < 0",
         e["consolidation: share end - start"].high < 0),
        ("clustering: like neighbours end - start, lower bound > 0",
         e["clustering: like neighbours end - start"].low > 0),
        ("continuing diversity: not unanimous, lower bound > 0.5",
         e["continuing diversity: not unanimous (share of runs)"].low > 0.5),
    ])


if __name__ == "__main__":
    main()
