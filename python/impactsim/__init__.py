"""The social impact simulations halvorn and kestane in Python: seeded runs
and sweeps from the same engine as the programs and the impactsim runner,
with NumPy arrays, pandas data frames and matplotlib figures.

    import impactsim
    run = impactsim.run(seed=12345000, rounds=50)
    df = impactsim.sweep(program=["halvorn", "kestane"], distance=["nb", 2], seeds=range(100))
    impactsim.plot.by_setting(df, x="distance", y="minority_share_end", hue="program")

Every setting not given takes the chosen program's own default, exactly as
"impactsim run" and "impactsim sweep" do; the same seed and settings give the
same numbers as the runner, on every machine. A sweep written to a file
(out=...) is the runner's file, byte for byte: either can resume it, and
"impactsim verify" or impactsim.verify can check it.
"""

import importlib
import json
import os

import pandas as pd

from . import _core, _frames, _values
from ._frames import COLUMNS, MEANINGS, read
from ._spread import spread

__all__ = ["run", "sweep", "verify", "read", "Run", "Verification", "COLUMNS", "MEANINGS",
           "PROGRAMS", "SETTINGS", "plot", "spread", "__version__"]

__version__ = _core.version
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
        row = _frames.from_columns(data["row"]).iloc[0]
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


class Verification:
    """What impactsim.verify found; true when everything checked agrees.

    agrees: nothing differs. findings: every difference, one line each, as
    "impactsim verify" prints them. checked, differing: rows re-run and
    compared, and of those the rows that differ. rows, present, shard_tasks:
    rows in the file, the shard's tasks that have one, and the shard's tasks.
    digests: what the recorded SHA-256 digests say. summary: the summary line.
    """

    def __init__(self, data):
        self.__dict__.update(data)
        self.findings = list(data["findings"])

    def __bool__(self):
        return self.agrees

    def __repr__(self):
        return f"<impactsim.Verification {self.summary}>"


def _settings(**values):
    return {name: value for name, value in values.items() if value is not None}


def run(program="halvorn", seed=None, rounds=None, initial_dist=None, distance=None, edge=None,
        wide_scope=None, remove_self=None, summation=None, sequential=None, record="census"):
    """Makes one seeded run, as "impactsim run" does, and returns a Run.

    A setting left as None takes the program's default; seed=None reads the
    clock once (run.seed then repeats the run). record="grids" also keeps the
    opinions of every round in run.grids. The run goes on with the GIL
    released; Ctrl+C stops it after its current round and raises
    KeyboardInterrupt.

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


def _progress_line(name):
    import sys

    def show(done, total):
        sys.stderr.write(f"\rimpactsim.{name}: {done}/{total} runs")
        if done == total:
            sys.stderr.write("\n")
        sys.stderr.flush()
    return show


def _progress(progress, name):
    if progress is True:
        return _progress_line(name)
    if progress is False or progress is None:
        return None
    if not callable(progress):
        raise TypeError("progress: expects True, False or a callable progress(done, total)")
    return progress


def _call(name, given):
    """The call as Python shows it, for a sweep's description."""
    shown = ", ".join(f"{key}={value!r}" for key, value in given.items())
    return f"impactsim.{name}({shown})"


def sweep(program="halvorn", seeds=None, rounds=None, initial_dist=None, distance=None,
          edge=None, wide_scope=None, remove_self=None, summation=None, sequential=None,
          jobs=None, progress=False, stop_on_cycle=None, out=None, series=None, format="csv",
          resume=False, shard=None):
    """Runs every combination of the settings' values with every seed, as
    "impactsim sweep" does, and returns one row per run as a DataFrame whose
    columns and values are those of the runner's rows (see impactsim.MEANINGS),
    with the sweep's description (call, version, commit, build) in df.attrs.

    Each setting (and program) takes one value or a list of values; seeds is
    required (an integer, a range or an iterable of integers such as
    impactsim.spread(1000), seeds spread over the day). The runs go on
    `jobs` threads (default: one per processor) with the GIL released; Ctrl+C
    stops them and raises KeyboardInterrupt. progress=True shows the runs done
    on stderr; a callable is called as progress(done, total).

    out=PATH also writes the rows to PATH and its description to
    PATH.meta.json, exactly as "impactsim sweep --out PATH" does, in `format`
    ("csv" or "jsonl"); series=PATH writes every round of every run beside
    them; resume=True continues a file either of them started, keeping its
    rows (the frame holds them all); shard="K/N" or (K, N) runs the tasks
    whose number mod N is K.

        df = impactsim.sweep(distance=["nb", 2, 4], seeds=range(100), jobs=2)
        df.groupby("distance").minority_share_end.mean()
    """
    given = {"program": program} if program != "halvorn" else {}
    given.update(_settings(seeds=seeds, rounds=rounds, initial_dist=initial_dist,
                           distance=distance, edge=edge, wide_scope=wide_scope,
                           remove_self=remove_self, summation=summation, sequential=sequential,
                           jobs=jobs, stop_on_cycle=stop_on_cycle, out=out, series=series,
                           shard=shard))
    if format != "csv":
        given["format"] = format
    if resume is not False:
        given["resume"] = resume
    arguments = _values.sweep_arguments(program, seeds, dict(
        rounds=rounds, initial_dist=initial_dist, distance=distance, edge=edge,
        wide_scope=wide_scope, remove_self=remove_self, summation=summation,
        sequential=sequential), jobs=jobs, stop_on_cycle=stop_on_cycle, out=out, series=series,
        format=format, resume=resume, shard=shard)
    result = _core.sweep(arguments, _call("sweep", given), _progress(progress, "sweep"))
    frame = _frames.from_columns(result["columns"])
    if result["description"] is not None:
        frame.attrs.update(json.loads(result["description"]))
    else:
        path = os.fsencode(os.fspath(out)) + b".meta.json"
        frame.attrs.update(_frames.read_description(path) or {})
    return frame


def verify(path, sample=None, tasks=None, jobs=None, progress=False):
    """Checks a sweep's file as "impactsim verify" does: re-runs its rows (all
    of them, `sample` picked at random, or those of `tasks`: an integer, a
    range or an iterable of task numbers) as its description PATH.meta.json
    records the sweep, compares them (and their rounds, for a sweep with a
    series) byte for byte, and checks the recorded digests. Returns a
    Verification, true when everything checked agrees.

        v = impactsim.verify("sweep.csv", sample=100)
        assert v, v.findings
    """
    arguments = _values.verify_arguments(path, sample=sample, tasks=tasks, jobs=jobs)
    return Verification(_core.verify(arguments, _progress(progress, "verify")))


def __getattr__(name):
    # matplotlib loads only when a figure is asked for.
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module 'impactsim' has no attribute {name!r}")
