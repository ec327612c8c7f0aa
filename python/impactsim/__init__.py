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

from __future__ import annotations

import dataclasses
import importlib
import json
import os
import re
import textwrap
from typing import Any, Callable, Dict, Iterable, List, Optional, Tuple, Union

import numpy as np
import pandas as pd

from . import _core, _frames, _values
from ._frames import COLUMNS, MEANINGS, read
from ._spread import spread
from ._start import start_argument, sweep_start_files

# impactsim.plot is left out: it loads matplotlib, which "import *" must not.
__all__ = ["run", "sweep", "verify", "read", "Run", "Verification", "COLUMNS", "MEANINGS",
           "PROGRAMS", "SETTINGS", "spread", "__version__"]

__version__ = _core.version
PROGRAMS = tuple(_values.PROGRAMS)
SETTINGS = tuple(_values.SETTINGS)

# A value of a setting as the functions take it: True/False or "on"/"off"
# for a switch, "nb" or a power for distance, a pair (R, C) or "R:C" for the
# ring scope, text for the strengths' rule, a number for the others.
Setting = Union[bool, int, float, str, Tuple[int, float]]
# One value, or a list of values (any sequence, a NumPy array, a Series).
Settings = Union[Setting, Iterable[Setting], None]
Progress = Union[bool, Callable[[int, int], Any], None]
PathLike = Union[str, bytes, os.PathLike]


@dataclasses.dataclass(eq=False, repr=False)
class Run:
    """One finished run: the settings it was run with and the columns of its
    row of a sweep as fields, each a plain Python value in the type of the
    frame's column (None where the program lacks a switch or there was no
    cycle, NaN where a mean has no cells), and what a row does not hold.

    log: the log lines, "0 : " first and "Normal End of Job" last.
    census: DataFrame of round, changes, opinion1, opinion2 (and opinion3 up
        to the last with more than two opinions), from round 0.
    series: the census with each round's clusters and like_neighbours.
    opinions, persuasiveness, supportiveness: uint8 arrays of the final
        population, shape (side, side), indexed [y - 1, x - 1].
    start_opinions, start_persuasiveness, start_supportiveness: the same of
        the population the run started from.
    grids: with record="grids", the opinions after every round from round 0,
        shape (rounds_run + 1, side, side); otherwise None.
    row: the row as a dict of every column but the task, every setting
        included; settings: the settings' columns of it. scope is the ring
        scope the run had ("17:10"), None for kestane; initial_count is
        None unless given; the opinions column is the field opinion_count
        (opinions is the final population), and initial_dist is None with
        more than two opinions.
    """

    # The columns of the run's row (impactsim.MEANINGS says what each holds).
    program: str
    seed: int
    rounds: int
    initial_dist: float
    distance: Union[str, int, float]  # "nb" or the power
    edge: Optional[bool]
    wide_scope: Optional[bool]
    remove_self: Optional[bool]
    summation: bool
    sequential: bool
    side: int
    scope: Optional[str]  # "R:C"; None for a program without rings
    initial_count: Optional[int]  # None: initial_dist decided
    strengths: str  # "uniform", "equal:V" or "file"
    noise: float
    opinion_count: int  # the opinions column (opinions is the final population)
    initial_shares: Optional[str]  # "s1:...:sK"; None: 1/K each, or initial_dist
    rounds_run: int
    stop: str
    opinion1_start: int
    opinion2_start: int
    opinion1_end: int
    opinion2_end: int
    minority_share_end: float
    clusters_end: int
    like_neighbours_end: float
    period: int
    cycle_start: Optional[int]
    last_change_round: int
    total_changes: int
    clusters_start: int
    like_neighbours_start: float
    minority_clusters_start: int
    minority_clusters_end: int
    largest_minority_cluster_start: int
    largest_minority_cluster_end: int
    mean_minority_cluster_size_start: float
    mean_minority_cluster_size_end: float
    minority_persuasiveness_start: float
    minority_persuasiveness_end: float
    minority_supportiveness_start: float
    minority_supportiveness_end: float
    majority_persuasiveness_start: float
    majority_persuasiveness_end: float
    majority_supportiveness_start: float
    majority_supportiveness_end: float
    # What the row does not hold.
    log: List[str]
    census: pd.DataFrame
    series: pd.DataFrame
    opinions: np.ndarray
    persuasiveness: np.ndarray
    supportiveness: np.ndarray
    start_opinions: np.ndarray
    start_persuasiveness: np.ndarray
    start_supportiveness: np.ndarray
    grids: Optional[np.ndarray]

    @classmethod
    def _of(cls, data: dict) -> Run:
        """The Run of what the engine hands over."""
        row = _frames.from_columns(data["row"])
        series = pd.DataFrame(data["series"])
        fields = {_FIELD.get(name, name): _field(row, name) for name in _ROW}
        arrays = {name: data[name] for name in _ARRAYS}
        census = ["round", "changes"] + [c for c in series.columns if c.startswith("opinion")]
        return cls(**fields, **arrays, log=list(data["log"]), series=series,
                   census=series[census].copy())

    @property
    def row(self) -> Dict[str, Any]:
        return {name: getattr(self, _FIELD.get(name, name)) for name in _ROW}

    @property
    def settings(self) -> Dict[str, Any]:
        return {name: getattr(self, _FIELD.get(name, name)) for name in SETTINGS}

    def __repr__(self):
        given = " ".join(f"{k}={v}" for k, v in self.settings.items() if v is not None)
        return (f"<impactsim.Run {self.program} seed={self.seed} {given}: "
                f"{self.rounds_run} rounds, stop={self.stop}, opinion2 "
                f"{self.opinion2_start} -> {self.opinion2_end}>")


# The Run's field of a column whose name a field of the population has.
_FIELD = {"opinions": "opinion_count"}
# The columns of a run's row: all but the task, every setting among them.
# A run's row: a sweep's, without its task and the start file's digest, and
# without the columns of opinions 3..16 (a sweep's frame has those).
_ROW = [name for name in _frames.KINDS if name not in ("task", "start") and
        _FIELD.get(name, name) in Run.__dataclass_fields__]
_ARRAYS = ("opinions", "persuasiveness", "supportiveness", "start_opinions",
           "start_persuasiveness", "start_supportiveness", "grids")


def _field(row, name):
    """The value of a column of a one-row frame as a Run's field holds it:
    None where the row lacks the column or a text, such as a kestane's
    scope, is missing."""
    if name not in row:
        return None
    value = _plain(row[name].iloc[0])
    return None if _frames.DTYPES[name] is object and not isinstance(value, str) else value


def _plain(value):
    """A frame's value as a plain Python one: None where it is missing
    (<NA>), NumPy's numbers and booleans as Python's."""
    if value is pd.NA:
        return None
    return value.item() if isinstance(value, np.generic) else value


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


def run(program: str = "halvorn", seed: Optional[int] = None, rounds: Optional[int] = None,
        initial_dist: Optional[Setting] = None, distance: Optional[Setting] = None,
        edge: Optional[Setting] = None, wide_scope: Optional[Setting] = None,
        remove_self: Optional[Setting] = None, summation: Optional[Setting] = None,
        sequential: Optional[Setting] = None, side: Optional[int] = None,
        scope: Union[Tuple[int, float], str, None] = None, initial_count: Optional[int] = None,
        strengths: Optional[str] = None, noise: Optional[Union[float, str]] = None,
        opinions: Optional[int] = None, initial_shares: Union[Tuple[float, ...], str, None] = None,
        record: str = "census", start: Any = None) -> Run:
    """Makes one seeded run, as "impactsim run" does, and returns a Run.

    A setting left as None takes the program's default; seed=None reads the
    clock once (run.seed then repeats the run). record="grids" also keeps the
    opinions of every round in run.grids. The run goes on with the GIL
    released; Ctrl+C stops it after its current round and raises
    KeyboardInterrupt.

        r = impactsim.run(seed=12345000, rounds=50, distance="nb")
        r.census.tail(), r.opinions.shape, r.stop

    start: the population to start from instead of drawing the opinions
    (the draws are taken all the same, so the rest of the run draws what it
    would have): a start file's path, as "impactsim run --start" takes it;
    an integer array of opinions 1..2 (1..opinions with more opinions) of
    shape (side, side), indexed [y - 1, x - 1] as run.opinions; or the
    opinions with their strengths (0..100, same shape) as a tuple
    (opinions, persuasiveness, supportiveness) or a dict with those keys. strengths="file" takes the
    strengths from it too; otherwise they are drawn. The side must be the
    run's (side=, or the program's own); initial_count cannot be given.

    The settings (listed below) take one value each; initial_shares a tuple
    (s1, ..., sK), one share per opinion:
    run(opinions=3, initial_shares=(0.5, 0.3, 0.2)).
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
                    sequential=sequential, side=side, scope=scope, initial_count=initial_count,
                    strengths=strengths, noise=noise, opinions=opinions,
                    initial_shares=initial_shares)
    texts = _values.setting_texts(settings, lists=False)
    return Run._of(_core.run(names[0], seed, texts, record == "grids", start_argument(start)))



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


def _shown(value):
    """A value as the call shows it: an array (a frame's unique values) as
    the list it holds."""
    if _values._is_list(value) and not isinstance(value, (list, tuple, range)):
        return list(map(_plain, value))
    return value


def _call(name, given):
    """The call as Python shows it, for a sweep's description."""
    shown = ", ".join(f"{key}={_shown(value)!r}" for key, value in given.items())
    return f"impactsim.{name}({shown})"


def sweep(program: Union[str, Iterable[str]] = "halvorn",
          seeds: Union[int, Iterable[int], None] = None, rounds: Settings = None,
          initial_dist: Settings = None, distance: Settings = None, edge: Settings = None,
          wide_scope: Settings = None, remove_self: Settings = None, summation: Settings = None,
          sequential: Settings = None, side: Settings = None, scope: Settings = None,
          initial_count: Settings = None, strengths: Settings = None, noise: Settings = None,
          opinions: Settings = None, initial_shares: Settings = None, jobs: Optional[int] = None, progress: Progress = False,
          stop_on_cycle: Optional[int] = None, out: Optional[PathLike] = None,
          series: Optional[PathLike] = None, format: str = "csv", resume: bool = False,
          shard: Union[str, Tuple[int, int], None] = None, start: Any = None) -> pd.DataFrame:
    """Runs every combination of the settings' values with every seed, as
    "impactsim sweep" does, and returns one row per run as a DataFrame whose
    columns and values are those of the runner's rows (see impactsim.MEANINGS),
    with the sweep's description (call, version, commit, build) in df.attrs.
    Settings come in natural types: switches as bool ("boolean", <NA> where
    a program lacks the switch), distance as an ordered categorical of "nb"
    and the powers (df.distance == 2, df.distance >= 2, df.distance == "nb").

    Each setting (and program) takes one value or a list of values (a list,
    tuple, range, array or a frame's unique(): sweep(distance=df.distance.
    unique()) sweeps the powers of df); seeds is required (an integer, a
    range or an iterable of integers such as impactsim.spread(1000), seeds
    spread over the day). The runs go on
    `jobs` threads (default: one per processor) with the GIL released; Ctrl+C
    stops them and raises KeyboardInterrupt. progress=True shows the runs done
    on stderr; a callable is called as progress(done, total).

    out=PATH also writes the rows to PATH and its description to
    PATH.meta.json, exactly as "impactsim sweep --out PATH" does, in `format`
    ("csv" or "jsonl"); series=PATH writes every round of every run beside
    them; resume=True continues a file either of them started, keeping its
    rows (the frame holds them all); shard="K/N" or (K, N) runs the tasks
    whose number mod N is K. start=PATH or a list of paths starts every run
    from each start file, as "impactsim sweep --start" does (the rows' start
    column names the file by its digest); arrays are for impactsim.run().

        df = impactsim.sweep(distance=["nb", 2, 4], seeds=range(100), jobs=2)
        df.groupby("distance", observed=True).minority_share_end.mean()

    The settings (listed below) take one value or a list; a
    scope's pair (R, C) is one value, a list of pairs a list, and so are a
    tuple of initial shares (s1, ..., sK) and a list of tuples. The rows show
    side, scope, initial_count, strengths, noise, opinions and initial_shares
    only where a program of the sweep is given a value it does not open with.
    """
    settings = dict(rounds=rounds, initial_dist=initial_dist, distance=distance, edge=edge,
                    wide_scope=wide_scope, remove_self=remove_self, summation=summation,
                    sequential=sequential, side=side, scope=scope, initial_count=initial_count,
                    strengths=strengths, noise=noise, opinions=opinions,
                    initial_shares=initial_shares)
    given = {} if isinstance(program, str) and program == "halvorn" else {"program": program}
    given.update(_settings(seeds=seeds, **settings, jobs=jobs, stop_on_cycle=stop_on_cycle,
                           out=out, series=series, shard=shard))
    if format != "csv":
        given["format"] = format
    if resume is not False:
        given["resume"] = resume
    arguments = _values.sweep_arguments(program, seeds, settings, jobs=jobs,
                                        stop_on_cycle=stop_on_cycle, out=out, series=series,
                                        format=format, resume=resume, shard=shard)
    if start is not None:
        arguments["start"] = sweep_start_files(start)
        given["start"] = start if isinstance(start, str) else arguments["start"]
    result = _core.sweep(arguments, _call("sweep", given), _progress(progress, "sweep"))
    frame = _frames.from_columns(result["columns"])
    if result["description"] is not None:
        frame.attrs.update(json.loads(result["description"]))
    else:
        path = os.fsencode(os.fspath(out)) + b".meta.json"
        frame.attrs.update(_frames.read_description(path) or {})
    return frame


def _settings_help():
    """Each setting's meaning, the values it takes and its default, from the
    engine's own table."""
    lines = ["Settings (None: the program's default):"]
    for name, entry in _values.SETTINGS.items():
        only = "" if set(entry["programs"]) == set(PROGRAMS) else \
            f" ({', '.join(entry['programs'])} only)"
        accepts = _values.python_accepts(entry)
        text = f"{name}: {entry['help']}{only}. Takes {accepts}; default {entry['default']}."
        # The options' names as the keywords they are here.
        text = re.sub(r"--([a-z][a-z-]*)", lambda m: m.group(1).replace("-", "_"), text)
        lines.append(textwrap.fill(text, width=78, initial_indent="    ",
                                   subsequent_indent="        ", break_on_hyphens=False))
    return "\n".join(lines)


_SETTINGS_HELP = _settings_help()
for _function in (run, sweep):
    _function.__doc__ = _function.__doc__.rstrip() + "\n\n" + _SETTINGS_HELP + "\n"
del _function


def verify(path: PathLike, sample: Optional[int] = None,
           tasks: Union[int, Iterable[int], None] = None, jobs: Optional[int] = None,
           progress: Progress = False) -> Verification:
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


def __getattr__(name: str) -> Any:
    # impactsim.plot, and with it matplotlib, loads when it is first used.
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module 'impactsim' has no attribute {name!r}")


def __dir__() -> List[str]:
    return sorted(set(globals()) | {"plot"})
