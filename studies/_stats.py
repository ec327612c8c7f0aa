"""What the studies share: their arguments, 95% confidence intervals, the
printed table and the verdict.

Every study takes --seeds N (N seeds of impactsim.spread per condition),
--jobs and --out FIGURE.png, prints a table of estimates with their 95%
confidence intervals (Student's t for means, Wilson for proportions), then
each criterion of its verdict with whether it holds, and last the line
"claim: agrees", "claim: does not agree" or "claim: partly". A study
saves its figure before its verdict, so the verdict is the last line it
prints.
"""

import argparse
import math
import os
import sys
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass

import matplotlib

matplotlib.use("Agg")  # figures go to files only
import numpy as np  # noqa: E402

import impactsim  # noqa: E402
from impactsim.plot import _t975  # noqa: E402  (the t quantiles of the module's figures)

Z975 = 1.959963984540054  # the normal distribution's 97.5% quantile


def arguments(doc, seeds, rounds=None):
    """Parses the command line of a study whose docstring is doc: --seeds
    (default seeds), --jobs (default 2), --out (default NAME.png in the
    working directory) and, when rounds is given, --rounds with that
    default. Adds args.spread, the seeds themselves."""
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    parser = argparse.ArgumentParser(description=doc.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seeds", type=_positive, default=seeds,
                        help=f"spread seeds per condition (default {seeds})")
    parser.add_argument("--jobs", type=_positive, default=2, help="threads (default 2)")
    parser.add_argument("--out", default=f"{name}.png", help="the figure (default %(default)s)")
    if rounds is not None:
        parser.add_argument("--rounds", type=_positive, default=rounds,
                            help="round limit of each run (default %(default)s)")
    args = parser.parse_args()
    args.spread = list(impactsim.spread(args.seeds))
    return args


def _positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"expects a whole number 1 or more, got {text}")
    return value


@dataclass
class Estimate:
    """A mean or a proportion over n runs and its 95% interval [low, high]
    (NaN where n is too small to give one)."""

    value: float
    low: float
    high: float
    n: int


def mean_ci(values):
    """The mean of values (NaN left out) with Student's t interval."""
    values = np.asarray(values, dtype=float)
    values = values[~np.isnan(values)]
    n = len(values)
    if n == 0:
        return Estimate(math.nan, math.nan, math.nan, 0)
    mean = float(values.mean())
    if n < 2:
        return Estimate(mean, math.nan, math.nan, 1)
    half = _t975(n - 1) * float(values.std(ddof=1)) / math.sqrt(n)
    return Estimate(mean, mean - half, mean + half, n)


def wilson(hits, n):
    """The proportion hits / n with its Wilson score interval."""
    hits, n = int(hits), int(n)
    if n == 0:
        return Estimate(math.nan, math.nan, math.nan, 0)
    p, z2 = hits / n, Z975 * Z975
    centre = (p + z2 / (2 * n)) / (1 + z2 / n)
    half = Z975 * math.sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / (1 + z2 / n)
    # At 0 and 1 the bound on that side is the proportion itself; rounding
    # must not put it a hair beyond.
    return Estimate(p, min(p, max(0.0, centre - half)), max(p, min(1.0, centre + half)), n)


def share(flags):
    """The proportion of true values among flags, with its Wilson interval."""
    flags = np.asarray(flags, dtype=bool)
    return wilson(flags.sum(), len(flags))


def print_table(title, rows):
    """Prints title, then one line per (label, Estimate) pair of rows:
    label, n, estimate and its interval, widths fitted to the labels."""
    width = max(len(label) for label, _ in rows)
    print(title)
    print(f"{'measure':<{width}}  {'n':>5}  {'estimate':>9}  95% CI")
    for label, e in rows:
        print(f"{label:<{width}}  {e.n:>5}  {e.value:>9.4f}  [{e.low:.4f}, {e.high:.4f}]")


def verdict(criteria):
    """Prints each (statement, holds) pair of criteria and then the verdict:
    agrees when every criterion holds, does not agree when none does, partly
    otherwise. An interval that could not be formed (NaN) does not hold."""
    print("criteria (each decided on the 95% intervals above):")
    for statement, holds in criteria:
        print(f"  [{'holds' if holds else 'fails'}] {statement}")
    held = sum(bool(holds) for _, holds in criteria)
    result = ("agrees" if held == len(criteria) else
              "does not agree" if held == 0 else "partly")
    print(f"claim: {result}")


def runs(jobs, calls):
    """impactsim.run(**call) for each dict of calls, on jobs threads (each run
    releases the GIL); the Runs in the order of calls."""
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        return list(pool.map(lambda call: impactsim.run(**call), calls))


def save(fig, path):
    """Saves fig to path as a PNG and says where."""
    fig.tight_layout()
    fig.savefig(path, dpi=90, format="png")
    print(f"figure: {path}")
