#!/usr/bin/env python3
"""The minority that survives is stronger than the minority was at the
start: its members are the more persuasive and supportive ones.

Source: Nowak, A., Szamrej, J. & Latane, B. (1990). From private attitude to
public opinion: a dynamic theory of social impact. Psychological Review 97,
362-376.

    ./scripts/run python3 studies/survivors_are_strong.py [--seeds 2000]

Runs halvorn with its default settings on N spread seeds, keeping every
round's opinions. In halvorn a cell that changes its opinion draws new
strengths, so the survivors compared are the cells that held opinion 2 in
every round from the start to the end: they still have their starting
strengths. For each run, the mean strength of these cells is paired with the
mean strength of all opinion-2 cells at the start (the row's _start means);
runs in which no cell held opinion 2 throughout are left out. The claim
agrees when both strengths rise (the paired difference's lower bound above
0), does not agree when neither does, and agrees partly otherwise.
"""

import matplotlib.pyplot as plt
import numpy as np

from _stats import arguments, mean_ci, print_table, runs, save, verdict

STRENGTHS = ["persuasiveness", "supportiveness"]


def survivors(run):
    """The mean strengths of the cells that held opinion 2 in every round,
    or None when there are none."""
    held = (run.grids == 2).all(axis=0)
    if not held.any():
        return None
    return {name: float(getattr(run, name)[held].mean()) for name in STRENGTHS}


def main():
    args = arguments(__doc__, seeds=2000)
    done = runs(args.jobs, [dict(seed=seed, record="grids") for seed in args.spread])
    pairs = []
    for run in done:
        end = survivors(run)
        if end is not None:
            pairs.append({**{f"{n}_end": end[n] for n in STRENGTHS},
                          **{f"{n}_start": getattr(run, f"minority_{n}_start") for n in STRENGTHS}})
    start = {n: np.array([p[f"{n}_start"] for p in pairs]) for n in STRENGTHS}
    end = {n: np.array([p[f"{n}_end"] for p in pairs]) for n in STRENGTHS}

    rows = []
    for n in STRENGTHS:
        rows += [(f"{n}, all minority cells at the start", mean_ci(start[n])),
                 (f"{n}, survivors (opinion 2 throughout)", mean_ci(end[n])),
                 (f"{n}, survivors - start (paired)", mean_ci(end[n] - start[n]))]
    print_table(f"halvorn, default settings: {len(pairs)} of {len(done)} runs with survivors "
                f"(seeds spread:{args.seeds})", rows)
    e = dict(rows)

    fig, axes = plt.subplots(1, 2, figsize=(9, 4))
    for ax, n in zip(axes, STRENGTHS):
        ax.scatter(start[n], end[n], s=8, alpha=0.5)
        ax.axline((50, 50), slope=1, color="grey", lw=0.8)
        ax.set(xlabel=f"mean {n}, minority at the start",
               ylabel=f"mean {n}, survivors", title=n)
    fig.suptitle(f"halvorn defaults, {len(pairs)} runs with survivors")
    save(fig, args.out)

    verdict([(f"survivors are more {'persuasive' if n == STRENGTHS[0] else 'supportive'}: "
              f"paired difference's lower bound > 0",
              e[f"{n}, survivors - start (paired)"].low > 0) for n in STRENGTHS])


if __name__ == "__main__":
    main()
