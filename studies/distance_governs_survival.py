#!/usr/bin/env python3
"""The power of distance decides between unanimity and the clustered
survival of the minority: where influence falls off slowly with distance
the majority absorbs the minority, where it falls off fast the minority
survives in clusters.

Sources: Nowak, A., Szamrej, J. & Latane, B. (1990). From private attitude
to public opinion: a dynamic theory of social impact. Psychological Review
97, 362-376; Latane, B., Nowak, A. & Liu, J. H. (1994). Measuring emergent
social phenomena: dynamism, polarization, and clustering as order parameters
of social systems. Behavioral Science 39, 1-24.

    ./scripts/run python3 studies/distance_governs_survival.py [--seeds 500]

Runs both programs at their other defaults with each power of distance (nb,
0, 1, 2, 3, 4) on N spread seeds. The transition is bracketed between the
two consecutive integer powers p < q at which the share of runs ending in
unanimity goes from above one half (its lower bound) to below one half (its
upper bound). It is then located on real powers: each program runs again
on the same seeds at the powers between the consecutive integers where the
share's estimate crosses one half, in steps of 0.05, and the location is
where the share crosses one half, interpolated linearly between the last
power at or above one half and the first below it. Its 95% interval is a
percentile bootstrap over seeds (2000 resamples of the seeds, every power
of a resampled seed kept together, so the location is recomputed on each),
with a fixed generator seed so the interval is the same on every run.

For each program, the claim holds when such a bracket exists and at power 4
the minority survives (mean final share's lower bound above 0). The claim
agrees when it holds in both programs, does not agree when it holds in
neither, and agrees partly otherwise.
"""

import matplotlib.pyplot as plt
import numpy as np

import impactsim
from _stats import arguments, mean_ci, print_table, save, share, verdict

PROGRAMS = ["halvorn", "kestane"]
POWERS = [0, 1, 2, 3, 4]
STEP = 0.05  # the spacing of the real powers that locate the transition
RESAMPLES = 2000  # bootstrap resamples of the seeds


def bracket(unanimity):
    """(p, q): the consecutive powers between which unanimity goes from
    above one half to below it, judged on the intervals; None if none."""
    for p, q in zip(POWERS, POWERS[1:]):
        if unanimity[p].low > 0.5 and unanimity[q].high < 0.5:
            return p, q
    return None


def crossing(powers, shares):
    """Where shares (one per power, in increasing power) first goes from
    at or above one half to below it, interpolated linearly between those
    two powers; None if it never does."""
    for j in range(1, len(powers)):
        above, below = shares[j - 1], shares[j]
        if above >= 0.5 > below:
            return powers[j - 1] + (above - 0.5) / (above - below) * (powers[j] - powers[j - 1])
    return None


def between(p, q):
    """The powers strictly between p and q in steps of STEP."""
    return [round(p + k * STEP, 2) for k in range(1, round((q - p) / STEP))]


def locate(frames, p, q):
    """The powers from p to q in steps of STEP, the share ending in unanimity
    at each (Estimates) and the location of the crossing with its percentile
    bootstrap interval over seeds (None where it does not cross). frames
    holds each power's runs, all on the same seeds."""
    powers = [p] + between(p, q) + [q]
    # One row per seed, one column per power.
    hits = np.column_stack([frames[power].sort_values("seed").unanimous.to_numpy()
                            for power in powers])
    estimates = [share(column) for column in hits.T]
    found = crossing(powers, [e.value for e in estimates])
    rng = np.random.default_rng(20261209)
    picks = rng.integers(0, len(hits), size=(RESAMPLES, len(hits)))
    located = [crossing(powers, hits[pick].mean(axis=0)) for pick in picks]
    located = np.array([x for x in located if x is not None])
    interval = (np.percentile(located, [2.5, 97.5]) if found is not None and
                len(located) == RESAMPLES else None)
    return powers, estimates, found, interval


def draw(ax, unanimity, survival):
    """Both measures by distance, nb at 0 and power p at 1 + p, with their
    intervals; nb is a point of its own that no line joins to the powers."""
    for key, colour, name in [(unanimity, "tab:red", "ends in unanimity"),
                              (survival, "tab:blue", "final minority share")]:
        for distances, label in [(["nb"], None), (POWERS, name)]:
            values = [key[d] for d in distances]
            ax.errorbar([0 if d == "nb" else 1 + d for d in distances], [v.value for v in values],
                        yerr=[[v.value - v.low for v in values],
                              [v.high - v.value for v in values]],
                        marker="o", capsize=3, color=colour, label=label)
    ax.set_xticks(range(len(POWERS) + 1))
    ax.set_xticklabels(["nb"] + [str(p) for p in POWERS])


def main():
    args = arguments(__doc__, seeds=500)
    df = impactsim.sweep(program=PROGRAMS, distance=["nb"] + POWERS, seeds=args.spread,
                         jobs=args.jobs)
    df["unanimous"] = df.stop.str.contains("unanimity")
    fig, axes = plt.subplots(1, 2, figsize=(10, 4), sharey=True)
    criteria = []
    for ax, program in zip(axes, PROGRAMS):
        rows, unanimity, survival = [], {}, {}
        part = df[df.program == program]
        for distance, group in part.groupby("distance", observed=True):
            unanimity[distance] = share(group.unanimous)
            survival[distance] = mean_ci(group.minority_share_end)
            rows += [(f"distance {distance}: ends in unanimity", unanimity[distance]),
                     (f"distance {distance}: final minority share", survival[distance])]
        located = located_transition(args, program, part, unanimity)
        if located:
            rows += [(f"distance {power:g}: ends in unanimity", e)
                     for power, e in zip(*located[:2])][1:-1]
        print_table(f"{program}, {args.seeds} runs per distance (seeds spread:{args.seeds})", rows)
        found = bracket(unanimity)
        where = (f"between powers {found[0]} and {found[1]}"
                 if found else "not bracketed by the whole powers")
        print(f"{program}: transition from unanimity to survival {where}")
        print(f"{program}: {describe(located)}\n")
        criteria.append((f"{program}: unanimity falls from > 1/2 to < 1/2 between consecutive "
                         f"powers, and at power 4 the final minority share's lower bound > 0",
                         found is not None and survival[4].low > 0))
        draw(ax, unanimity, survival)
        if located:
            mark(ax, *located)
        ax.set(title=f"{program}, {args.seeds} runs per distance", xlabel="distance")
    axes[0].legend()
    save(fig, args.out)
    verdict(criteria)


def located_transition(args, program, part, unanimity):
    """Runs program on the real powers between the whole powers where the
    share ending in unanimity crosses one half and returns locate()'s
    result over them; None where the whole powers do not cross."""
    for p, q in zip(POWERS, POWERS[1:]):
        if unanimity[p].value >= 0.5 > unanimity[q].value:
            real = impactsim.sweep(program=program, seeds=args.spread, jobs=args.jobs,
                                   distance=between(p, q))
            real["unanimous"] = real.stop.str.contains("unanimity")
            frames = {power: real[real.distance == power] for power in between(p, q)}
            frames.update({power: part[part.distance == power] for power in [p, q]})
            return locate(frames, p, q)
    return None


def describe(located):
    """The located transition in words."""
    if not located or located[2] is None:
        return "the share ending in unanimity does not cross 1/2 between whole powers"
    found, interval = located[2], located[3]
    bounds = (f"95% interval [{interval[0]:.3f}, {interval[1]:.3f}] (bootstrap over seeds)"
              if interval is not None else "no interval: a resample does not cross")
    return f"unanimity crosses 1/2 at power {found:.3f}, {bounds}"


def mark(ax, powers, estimates, found, interval):
    """The real powers' shares ending in unanimity, the located crossing and
    its interval."""
    ax.errorbar([1 + p for p in powers[1:-1]], [e.value for e in estimates[1:-1]],
                yerr=[[e.value - e.low for e in estimates[1:-1]],
                      [e.high - e.value for e in estimates[1:-1]]],
                marker=".", linestyle="none", capsize=1, color="tab:red", alpha=0.6)
    if found is not None:
        ax.axvline(1 + found, color="tab:red", linestyle=":")
    if interval is not None:
        ax.axvspan(1 + interval[0], 1 + interval[1], color="0.85")


if __name__ == "__main__":
    main()
