"""The social impact simulations halvorn and kestane in Python: seeded runs
and sweeps from the same engine as the programs and the impactsim runner,
with NumPy arrays, pandas data frames and matplotlib figures.

    import impactsim
    run = impactsim.run(seed=12345000, rounds=50)
    df = impactsim.sweep(program=["halvorn", "kestane"], distance=["nb", 2], seeds=range(100))
    impactsim.plot.by_setting(df, x="distance", y="minority_share_end", hue="program")

Every setting not given takes the chosen program's own default, exactly as
"impactsim run" and "impactsim sweep" do; the same seed and settings give the
same numbers as the runner, on every machine.
"""

import importlib
import os

import pandas as pd

from . import _core, _frames, _values
from ._frames import COLUMNS, MEANINGS, read

__all__ = ["run", "sweep", "read", "Run", "COLUMNS", "MEANINGS", "PROGRAMS", "SETTINGS", "plot"]

PROGRAMS = tuple(_values.PROGRAMS)
SETTINGS = tuple(_values.SETTINGS)


class Run:
    """One finished run.

    seed, program, settings: what was run (settings as the rows show them).
    log: the log lines, "0 : " first and "Normal End of Job" last.
    census: DataFrame of round, changes, opinion1, opinion2, from round 0.
    series: the census with each round's clusters and like_neighbours.
    opinions, persuasiveness, supportiveness: uint8 arrays of the final
        population, shape (side, side), indexed [y - 1, x - 1].
    grids: with record="grids", the opinions after every round from round 0,
        shape (rounds_run + 1, side, side); otherwise None.
    row: the run's row of a sweep (a dict of every column but the task), and
        each of its columns as an attribute (run.rounds_run, run.stop,
        run.minority_share_end, ...).
    """

    def __init__(self, data):
        self.program = data["program"]
        self.seed = data["seed"]
        self.log = list(data["log"])
        self.series = pd.DataFrame(data["series"])
        self.census = self.series[["round", "changes", "opinion1", "opinion2"]].copy()
        self.opinions = data["opinions"]
        self.persuasiveness = data["persuasiveness"]
        self.supportiveness = data["supportiveness"]
        self.grids = data["grids"]
        row = _frames.from_csv(data["row"]).iloc[0]
        self.row = {name: row[name] for name in row.index if name != "task"}
        self.settings = {name: self.row[name] for name in SETTINGS}

    def __getattr__(self, name):
        row = self.__dict__.get("row", {})
        if name in row:
            return row[name]
        raise AttributeError(f"'Run' object has no attribute {name!r}")

    def __repr__(self):
        changed = {k: v for k, v in self.settings.items()
                   if isinstance(v, str) or not pd.isna(v)}
        settings = " ".join(f"{k}={v}" for k, v in changed.items())
        return (f"<impactsim.Run {self.program} seed={self.seed} {settings}: "
                f"{self.rounds_run} rounds, stop={self.stop}, opinion2 "
                f"{self.opinion2_start} -> {self.opinion2_end}>")


def run(program="halvorn", seed=None, rounds=None, initial_dist=None, distance=None, edge=None,
        wide_scope=None, remove_self=None, summation=None, sequential=None, record="census"):
    """Makes one seeded run, as "impactsim run" does, and returns a Run.

    A setting left as None takes the program's default; seed=None reads the
    clock once (run.seed then repeats the run). record="grids" also keeps the
    opinions of every round in run.grids.

        r = impactsim.run(seed=12345000, rounds=50, distance="nb")
        r.census.tail(), r.opinions.shape, r.stop
    """
    names = _values.program_names(program, lists=False)
    if not isinstance(record, str):
        raise TypeError(f"record: expects 'census' or 'grids', got {type(record).__name__}")
    if record not in ("census", "grids"):
        raise ValueError(f"record: expects 'census' or 'grids', got {record!r}")
    if seed is not None:
        seed = _values.seed_value(seed)
    settings = dict(rounds=rounds, initial_dist=initial_dist, distance=distance, edge=edge,
                    wide_scope=wide_scope, remove_self=remove_self, summation=summation,
                    sequential=sequential)
    texts = _values.setting_texts(settings, lists=False)
    return Run(_core.run(names[0], seed, texts, record == "grids"))


def _progress_line(done, total):
    import sys
    sys.stderr.write(f"\rimpactsim.sweep: {done}/{total} runs")
    if done == total:
        sys.stderr.write("\n")
    sys.stderr.flush()


def sweep(program="halvorn", seeds=None, rounds=None, initial_dist=None, distance=None,
          edge=None, wide_scope=None, remove_self=None, summation=None, sequential=None,
          jobs=None, progress=False, stop_on_cycle=None):
    """Runs every combination of the settings' values with every seed, as
    "impactsim sweep" does, and returns one row per run as a DataFrame whose
    columns and values are those of the runner's rows (see impactsim.MEANINGS).

    Each setting (and program) takes one value or a list of values; seeds is
    required (an integer, a range or an iterable of integers). The runs go on
    `jobs` threads (default: one per processor) with the GIL released; Ctrl+C
    stops them and raises KeyboardInterrupt. progress=True shows the runs done
    on stderr; a callable is called as progress(done, total).

        df = impactsim.sweep(distance=["nb", 2, 4], seeds=range(100), jobs=2)
        df.groupby("distance").minority_share_end.mean()
    """
    names = _values.program_names(program, lists=True)
    if seeds is None:
        raise TypeError("seeds: required: an integer, a range or an iterable of integers")
    ranges = _values.seed_ranges(seeds)
    if jobs is None:
        jobs = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    elif not _values._is_integer(jobs):
        raise TypeError(f"jobs: expects None or an integer, got {type(jobs).__name__}")
    if stop_on_cycle is None:
        stop_on_cycle = 0
    elif not _values._is_integer(stop_on_cycle):
        raise TypeError(f"stop_on_cycle: expects None or an integer, got {type(stop_on_cycle).__name__}")
    elif not 1 <= stop_on_cycle <= 2**31 - 1:
        raise ValueError(f"stop_on_cycle: expects None or an integer 1..2147483647, got {stop_on_cycle}")
    if progress is True:
        progress = _progress_line
    elif progress is False or progress is None:
        progress = None
    elif not callable(progress):
        raise TypeError("progress: expects True, False or a callable progress(done, total)")
    settings = dict(rounds=rounds, initial_dist=initial_dist, distance=distance, edge=edge,
                    wide_scope=wide_scope, remove_self=remove_self, summation=summation,
                    sequential=sequential)
    texts = _values.setting_texts(settings, lists=True)
    rows = _core.sweep(names, texts, ranges, min(int(jobs), 2**31), int(stop_on_cycle), progress)
    return _frames.from_csv(rows)


def __getattr__(name):
    # matplotlib loads only when a figure is asked for.
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module 'impactsim' has no attribute {name!r}")
