#!/usr/bin/env python3
"""Clusters dissolve as noise rises: at a low temperature the runs order
into large clusters of like opinions, at a high one each cell's opinion is
a coin toss and the grid is disordered.

Source: Lewenstein, M., Nowak, A. & Latane, B. (1992). Statistical mechanics
of social impact. Physical Review A 45, 763-776.

    ./scripts/run python3 studies/noise_order_disorder.py [--seeds 200] [--rounds 100]

Runs both programs at their other defaults (initial share 0.3, power of
distance 2) with each temperature T of TEMPERATURES: a cell takes opinion k
with probability exp(I_k/T) / sum_j exp(I_j/T), T = 0 being the noiseless
rule. Noisy runs rarely come to rest, so every run goes the same number of
rounds (--rounds, default 100) and is measured at its last.

The scale of T is that of the impacts. At power 2 with damping, a cell whose
whole neighbourhood (some 300 cells in halvorn, 399 in kestane) held one
opinion would meet a total near 50 x 2 pi ln 10 ~ 700 (mean strength 50,
the sum of 1/d^2 over a disc of radius 10), divided by the root of the
number of sources (~ 17 to 20): impacts of a few tens, and differences
between the two opinions' impacts from 0 up to that. So T runs from 0 to
128, beyond which every impact difference is small against T.

Order is read from like neighbours at the end (the mean share of a cell's
side neighbours holding its opinion). With every cell a fair coin it is 1/2
whatever the initial share (0.3 here), and the final share of the initial
minority is 1/2 too: that is disorder. The temperature at which order
collapses, T1/2, is where the mean like neighbours first falls, after its
peak, below the middle of its T = 0 value and 1/2 (linear interpolation
between the two temperatures around it).

For each program the claim holds when (a) at T = 0 the runs are ordered,
like neighbours' lower bound > 0.9; (b) at the largest T they are
disordered, the intervals of like neighbours and of the minority share both
within 0.02 of 1/2; and (c) from its peak upward like neighbours does not
rise again: no temperature's lower bound lies above the upper bound at a
lower temperature at or past the peak. The claim agrees when every
criterion holds, does not agree when none does, and agrees partly otherwise.
"""

import matplotlib.pyplot as plt

import impactsim
from _stats import arguments, mean_ci, print_table, save, verdict

PROGRAMS = ["halvorn", "kestane"]
TEMPERATURES = [0, 0.5, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 128]
NEAR = 0.02  # how close to 1/2 counts as disordered


def collapse(order):
    """T1/2: where the mean of order (a list over TEMPERATURES) first falls,
    after its peak, below the middle of its T = 0 value and 1/2, by linear
    interpolation between the temperatures either side; None if it does
    not fall so far."""
    middle = (order[0].value + 0.5) / 2
    peak = max(range(len(order)), key=lambda i: order[i].value)
    for i in range(peak + 1, len(order)):
        if order[i].value < middle:
            hi, lo = order[i - 1].value, order[i].value
            t0, t1 = TEMPERATURES[i - 1], TEMPERATURES[i]
            return t0 + (hi - middle) / (hi - lo) * (t1 - t0)
    return None


def no_return(order):
    """True when, from the peak of the means onward, no temperature's lower
    bound lies above an earlier temperature's upper bound."""
    peak = max(range(len(order)), key=lambda i: order[i].value)
    tail = order[peak:]
    return all(not (later.low > earlier.high)
               for i, earlier in enumerate(tail) for later in tail[i + 1:])


def measures(group):
    """The program's order parameters at one temperature."""
    cells = group.opinion1_end + group.opinion2_end
    return {"like neighbours": mean_ci(group.like_neighbours_end),
            "clusters per cell": mean_ci(group.clusters_end / cells),
            "minority share": mean_ci(group.minority_share_end)}


def main():
    args = arguments(__doc__, seeds=200, rounds=100)
    df = impactsim.sweep(program=PROGRAMS, noise=TEMPERATURES, rounds=args.rounds,
                         seeds=args.spread, jobs=args.jobs)
    fig, axes = plt.subplots(1, 3, figsize=(13, 4))
    criteria = []
    for program in PROGRAMS:
        part = df[df.program == program]
        by = [measures(part[part.noise == t]) for t in TEMPERATURES]
        rows = [(f"T {t:g}: {name}", m[name]) for t, m in zip(TEMPERATURES, by) for name in m]
        print_table(f"{program}, {args.seeds} runs per temperature, {args.rounds} rounds "
                    f"(seeds spread:{args.seeds})", rows)
        order = [m["like neighbours"] for m in by]
        found = collapse(order)
        print(f"{program}: order collapses near T = {found:.3g}\n" if found is not None else
              f"{program}: order does not fall half-way to disorder by T = {TEMPERATURES[-1]}\n")
        last = by[-1]
        criteria += [
            (f"{program}: ordered at T = 0, like neighbours' lower bound > 0.9",
             order[0].low > 0.9),
            (f"{program}: disordered at T = {TEMPERATURES[-1]}, like neighbours and minority "
             f"share within {NEAR} of 1/2",
             all(0.5 - NEAR < last[name].low and last[name].high < 0.5 + NEAR
                 for name in ["like neighbours", "minority share"])),
            (f"{program}: from its peak upward like neighbours does not rise again",
             no_return(order)),
        ]
        x = [max(t, 0.25) for t in TEMPERATURES]  # T = 0 drawn at 0.25 on the log axis
        for ax, name in zip(axes, by[0]):
            values = [m[name] for m in by]
            ax.errorbar(x, [v.value for v in values],
                        yerr=[[v.value - v.low for v in values],
                              [v.high - v.value for v in values]],
                        marker="o", capsize=3, label=program)
            if found is not None and name == "like neighbours":
                ax.axvline(found, linestyle=":", color=ax.lines[-1].get_color())
    for ax, name in zip(axes, ["like neighbours", "clusters per cell", "minority share"]):
        ax.set(xscale="log", xlabel="temperature T (T = 0 at 0.25)", title=f"{name}, end")
    axes[0].axhline(0.5, color="0.6", linewidth=0.8)
    axes[2].axhline(0.5, color="0.6", linewidth=0.8)
    axes[0].legend()
    save(fig, args.out)
    verdict(criteria)


if __name__ == "__main__":
    main()
