#!/usr/bin/env python3
"""A bounded grid keeps more of the minority than a torus: cells on the
border have fewer neighbours to persuade them, and minority clusters survive
against the walls.

Source: Nowak, A., Szamrej, J. & Latane, B. (1990). From private attitude to
public opinion: a dynamic theory of social impact. Psychological Review 97,
362-376.

    ./scripts/run python3 studies/walls_protect_minorities.py [--seeds 2000]

Runs halvorn at its defaults with walls (edge on) and as a torus (edge off)
on the same N spread seeds, so each pair starts from the same population.
Reports the final minority share (paired difference walls - torus), the
share of runs in which the minority survives, and where the survivors sit:
the share of the surviving minority cells on the border rows and columns,
against the border's share of the grid (156 of 1600 cells; on the torus the
same cells are ordinary ones, a control). The claim agrees when both the
paired difference and the walls' border share exceed theirs (lower bounds
above 0 and above the border's share), does not agree when neither does,
and agrees partly otherwise.
"""

import matplotlib.pyplot as plt
import numpy as np

from _stats import arguments, mean_ci, print_table, runs, save, share, verdict

SIDE = 40
BORDER = np.zeros((SIDE, SIDE), dtype=bool)
BORDER[[0, -1], :] = BORDER[:, [0, -1]] = True


def border_share(run):
    """The share of the minority cells at the end that lie on the border, or
    NaN when none are left."""
    minority = run.opinions == 2
    return minority[BORDER].sum() / minority.sum() if minority.any() else np.nan


def main():
    args = arguments(__doc__, seeds=2000)
    done = {edge: runs(args.jobs, [dict(seed=s, edge=edge) for s in args.spread])
            for edge in (True, False)}
    final = {edge: np.array([r.minority_share_end for r in done[edge]]) for edge in done}
    border = {edge: np.array([border_share(r) for r in done[edge]]) for edge in done}
    expected = BORDER.mean()

    rows = []
    for edge, name in [(True, "walls"), (False, "torus")]:
        rows += [(f"{name}: final minority share", mean_ci(final[edge])),
                 (f"{name}: minority survives (share of runs)", share(final[edge] > 0)),
                 (f"{name}: survivors on the border (share of cells)", mean_ci(border[edge]))]
    rows.append(("final minority share, walls - torus (paired)",
                 mean_ci(final[True] - final[False])))
    print_table(f"halvorn, default settings, {args.seeds} seeds per edge "
                f"(seeds spread:{args.seeds}); the border is {expected:.4f} of the grid", rows)
    e = dict(rows)

    fig, axes = plt.subplots(1, 2, figsize=(10, 4))
    axes[0].boxplot([final[True], final[False]], labels=["walls", "torus"])
    axes[0].set(ylabel="final minority share")
    axes[1].boxplot([border[True][~np.isnan(border[True])],
                     border[False][~np.isnan(border[False])]], labels=["walls", "torus"])
    axes[1].axhline(expected, color="grey", lw=0.8, ls="--", label="border's share of the grid")
    axes[1].set(ylabel="survivors on the border (share)")
    axes[1].legend()
    fig.suptitle(f"halvorn defaults, {args.seeds} seeds per edge")
    save(fig, args.out)

    verdict([
        ("walls keep more: walls - torus final share, lower bound > 0",
         e["final minority share, walls - torus (paired)"].low > 0),
        (f"survivors gather at the walls: border share's lower bound > {expected:.4f}",
         e["walls: survivors on the border (share of cells)"].low > expected),
    ])


if __name__ == "__main__":
    main()
