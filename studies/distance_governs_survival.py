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
0, 1, 2, 3, 4) on N spread seeds. The transition is placed between the two
consecutive integer powers p < q at which the share of runs ending in
unanimity goes from above one half (its lower bound) to below one half (its
upper bound): powers are whole numbers here, so the transition is bracketed
by integers, not located more finely. For each program, the claim holds
when such a bracket exists and at power 4 the minority survives (mean final
share's lower bound above 0). The claim agrees when it holds in both
programs, does not agree when it holds in neither, and agrees partly
otherwise.
"""

import matplotlib.pyplot as plt

import impactsim
from _stats import arguments, mean_ci, print_table, save, share, verdict

PROGRAMS = ["halvorn", "kestane"]
POWERS = [0, 1, 2, 3, 4]


def bracket(unanimity):
    """(p, q): the consecutive powers between which unanimity goes from
    above one half to below it, judged on the intervals; None if none."""
    for p, q in zip(POWERS, POWERS[1:]):
        if unanimity[p].low > 0.5 and unanimity[q].high < 0.5:
            return p, q
    return None


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
        for distance, group in df[df.program == program].groupby("distance", observed=True):
            unanimity[distance] = share(group.unanimous)
            survival[distance] = mean_ci(group.minority_share_end)
            rows += [(f"distance {distance}: ends in unanimity", unanimity[distance]),
                     (f"distance {distance}: final minority share", survival[distance])]
        print_table(f"{program}, {args.seeds} runs per distance (seeds spread:{args.seeds})", rows)
        found = bracket(unanimity)
        where = (f"between powers {found[0]} and {found[1]} (bracketed by integers)"
                 if found else "not bracketed by the powers run")
        print(f"{program}: transition from unanimity to survival {where}\n")
        criteria.append((f"{program}: unanimity falls from > 1/2 to < 1/2 between consecutive "
                         f"powers, and at power 4 the final minority share's lower bound > 0",
                         found is not None and survival[4].low > 0))
        draw(ax, unanimity, survival)
        if found:
            ax.axvspan(1 + found[0], 1 + found[1], color="0.9")
        ax.set(title=f"{program}, {args.seeds} runs per distance", xlabel="distance")
    axes[0].legend()
    save(fig, args.out)
    verdict(criteria)


if __name__ == "__main__":
    main()
