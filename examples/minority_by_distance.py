#!/usr/bin/env python3
"""How much of the initial minority is left at the end of a run, by the power
of distance and the initial share, in both programs.

    ./scripts/run python3 examples/minority_by_distance.py            # seeds 0-99
    ./scripts/run python3 examples/minority_by_distance.py --seeds 0-9 --out /tmp/f.png

Prints the mean final minority share per program and distance (rows) and
initial share (columns), and saves a figure of the same means with their 95%
confidence intervals.
"""

import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

import impactsim  # noqa: E402

DISTANCES = ["nb", 0, 1, 2, 3, 4]
SHARES = [0.4, 0.3, 0.2, 0.1]
HERE = os.path.dirname(os.path.abspath(__file__))


def seed_range(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seeds", type=seed_range, default=seed_range("0-99"),
                        help="seeds as A-B (default 0-99)")
    parser.add_argument("--jobs", type=int, default=None, help="threads (default: all)")
    parser.add_argument("--out", default=os.path.join(HERE, "minority_by_distance.png"),
                        help="the figure's file (default: beside this script)")
    args = parser.parse_args()

    df = impactsim.sweep(program=["halvorn", "kestane"], distance=DISTANCES,
                         initial_dist=SHARES, seeds=args.seeds, jobs=args.jobs,
                         progress=sys.stderr.isatty())

    # distance is ordered: nb first, then the powers.
    table = df.pivot_table(index=["program", "distance"], columns="initial_dist",
                           values="minority_share_end", aggfunc="mean", observed=True)
    table = table[sorted(table.columns, reverse=True)]
    print(f"Mean final minority share, {len(args.seeds)} seeds per cell")
    print(table.to_string(float_format=lambda v: f"{v:.3f}"))

    fig, axes = plt.subplots(1, 2, figsize=(11, 4.5), sharey=True)
    for ax, program in zip(axes, ["halvorn", "kestane"]):
        impactsim.plot.by_setting(df[df.program == program], x="distance",
                                  y="minority_share_end", hue="initial_dist", ax=ax)
        ax.set_title(f"{program} ({len(args.seeds)} seeds per point)")
    fig.tight_layout()
    fig.savefig(args.out, dpi=90)
    print(f"figure: {args.out}")


if __name__ == "__main__":
    main()
