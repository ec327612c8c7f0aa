#!/usr/bin/env python3
"""Simultaneous updating makes repeating ("blinking") patterns, cells that
change back and forth for ever; sequential updating makes them rarer.

Sources: Goles, E. & Olivos, J. (1980). Periodic behaviour of generalized
threshold functions. Discrete Mathematics 30, 187-189 (networks of threshold
units updated all at once end at rest or in a cycle of two); Hopfield, J. J.
(1982). Neural networks and physical systems with emergent collective
computational abilities. PNAS 79, 2554-2558 (updated one at a time, they
come to rest). Both need symmetric influences (j acts on i as i acts on j),
which these models lack: a source acts with its own strength (in halvorn its
persuasiveness on opponents and its supportiveness on allies) and the totals
are damped by the number of sources; so the claim is tested as a tendency.

    ./scripts/run python3 studies/blinking_updating.py [--seeds 2000] [--rounds 2000]

Runs, in simultaneous and in sequential rounds, the settings in which
repeating patterns occur: halvorn with distance nb, and kestane with powers
2, 3 and 4, each at its other defaults, on N spread seeds. A repeating
pattern may dissolve later (in halvorn a blinking cell draws new strengths,
and sequential rounds draw a new visit order), so the runs go on to the
round limit, 2000 by default, and a run is counted as blinking when its
period is 2 or more then: its pattern was still repeating at the limit. A
setting agrees when the share of blinking runs is higher in simultaneous
rounds (its lower bound above the sequential share's upper bound). The claim
agrees when every setting does, does not agree when none does, and agrees
partly otherwise.
"""

import matplotlib.pyplot as plt
import numpy as np

import impactsim
from _stats import arguments, print_table, save, share, verdict

SETTINGS = [("halvorn", "nb"), ("kestane", 2), ("kestane", 3), ("kestane", 4)]


def main():
    args = arguments(__doc__, seeds=2000, rounds=2000)
    rows, shares = [], {}
    for program, distance in SETTINGS:
        df = impactsim.sweep(program=program, distance=distance, sequential=[False, True],
                             rounds=args.rounds, seeds=args.spread, jobs=args.jobs)
        for sequential, mode in [(False, "simultaneous"), (True, "sequential")]:
            runs = df[df.sequential == sequential]
            shares[program, distance, mode] = share(runs.period >= 2)
            rows.append((f"{program}, distance {distance}, {mode}: blinking at round limit",
                         shares[program, distance, mode]))
    print_table(f"share of runs still repeating (period >= 2) after {args.rounds} rounds, "
                f"{args.seeds} runs each (seeds spread:{args.seeds})", rows)

    fig, ax = plt.subplots(figsize=(8, 4))
    at = np.arange(len(SETTINGS))
    for offset, mode, colour in [(-0.2, "simultaneous", "tab:orange"),
                                 (0.2, "sequential", "tab:blue")]:
        values = [shares[program, distance, mode] for program, distance in SETTINGS]
        ax.bar(at + offset, [v.value for v in values], width=0.4, color=colour, label=mode,
               yerr=[[v.value - v.low for v in values], [v.high - v.value for v in values]],
               capsize=3)
    ax.set_xticks(at)
    ax.set_xticklabels([f"{program}\ndistance {distance}" for program, distance in SETTINGS])
    ax.set(ylabel=f"share repeating after {args.rounds} rounds")
    ax.legend()
    save(fig, args.out)

    verdict([(f"{program}, distance {distance}: simultaneous lower bound > sequential upper bound",
              shares[program, distance, "simultaneous"].low
              > shares[program, distance, "sequential"].high)
             for program, distance in SETTINGS])


if __name__ == "__main__":
    main()
