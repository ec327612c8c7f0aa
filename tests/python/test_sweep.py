"""impactsim.sweep and impactsim.read against "impactsim sweep": the same
columns and values, in task order, for any number of threads; Ctrl+C stops a
sweep cleanly; bad arguments raise ValueError or TypeError naming them."""

import itertools
import json
import os
import signal
import sys
import threading
import time

import numpy as np
import pandas as pd
import pytest

import impactsim

# Both programs with settings kestane lacks left to their defaults, a
# halvorn-only sweep over switches, and seeds out of order.
SWEEPS = [
    (dict(program=["halvorn", "kestane"], distance=["nb", 2], initial_dist=[0.4, 0.1],
          seeds=range(3), rounds=[5, 60]),
     "--program halvorn,kestane --distance nb,2 --initial-dist 0.4,0.1 --seeds 0-2 --rounds 5,60"),
    (dict(edge=[True, False], wide_scope=True, remove_self=[False, True], seeds=[17, 5, 6],
          rounds=30, stop_on_cycle=2),
     "--edge on,off --wide-scope --remove-self off,on --seeds 17,5-6 --rounds 30 "
     "--stop-on-cycle 2"),
    (dict(program="kestane", summation=[True], sequential=[False, True], seeds=86399999),
     "--program kestane --summation on --sequential off,on --seeds 86399999"),
    # Settings beyond the windows' add their columns (side 40 is halvorn's
    # own but not kestane's): noise of any decimal, an exact count, equal
    # strengths; a scope, each a pair or its text, with powers of any decimal.
    (dict(program=["halvorn", "kestane"], noise=[0, 1e-05], initial_count=[90],
          strengths="equal:40", side=[40], seeds=[4, 9], rounds=6),
     "--program halvorn,kestane --noise 0,0.00001 --initial-count 90 "
     "--strengths equal:40 --side 40 --seeds 4,9 --rounds 6"),
    (dict(scope=[(20, 12.5), "17,10"], distance=[0.5, 2], seeds=[2], rounds=4),
     "--scope 20:12.5,17:10 --distance 0.5,2 --seeds 2 --rounds 4"),
    # More than two opinions: the columns of opinions 3..16, no initial_dist;
    # shares, each a tuple or its text.
    (dict(program="kestane", opinions=[2, 16], seeds=[4, 9], rounds=6),
     "--program kestane --opinions 2,16 --seeds 4,9 --rounds 6"),
    (dict(opinions=3, initial_shares=[(0.5, 0.3, 0.2), "0.2:0.3:0.5"], seeds=[2], rounds=4),
     "--opinions 3 --initial-shares 0.5:0.3:0.2,0.2:0.3:0.5 --seeds 2 --rounds 4"),
]


# The frame's type of each setting the rows spell as text.
SPELLED = {"distance": "category", "edge": "boolean", "wide_scope": "boolean",
           "remove_self": "boolean", "summation": "bool", "sequential": "bool"}


def spelled(value):
    """A frame's value of a setting as the rows spell it."""
    if pd.isna(value):
        return np.nan
    if isinstance(value, (bool, np.bool_)):
        return "on" if value else "off"
    return str(value)


@pytest.mark.parametrize("kwargs,options", SWEEPS, ids=[s[1] for s in SWEEPS])
def test_sweep_equals_runner_rows(kwargs, options, impactsim_cli, tmp_path):
    df = impactsim.sweep(jobs=2, **kwargs)
    csv, jsonl = tmp_path / "rows.csv", tmp_path / "rows.jsonl"
    impactsim_cli("sweep", *options.split(), "--quiet", "--out", csv)
    impactsim_cli("sweep", *options.split(), "--quiet", "--format", "jsonl", "--out", jsonl)

    # pandas' own reading of the runner's file: same columns, same values.
    plain = pd.read_csv(csv, float_precision="round_trip", keep_default_na=False, na_values=[""],
                        dtype={"distance": str})
    assert list(df.columns) == list(plain.columns)
    assert [name for name in df.columns if name in impactsim.COLUMNS] == impactsim.COLUMNS
    for name in df.columns:
        # Whole numbers stay whole (nullable where a value may be missing),
        # decimals stay decimals; settings the rows spell as text are values
        # in their own types, each the value its text spells.
        if name in SPELLED:
            assert str(df[name].dtype) == SPELLED[name], name
        elif df[name].dtype == object:
            assert name in ("program", "stop", "scope", "strengths", "initial_shares"), name
        elif df[name].dtype == "int64":
            assert plain[name].dtype == "int64", name
        elif (plain[name].dropna() % 1 != 0).any():
            assert df[name].dtype == "float64", name
        ours, theirs = df[name].astype(object), plain[name].astype(object)
        if name in SPELLED:
            ours = ours.map(spelled)
        if theirs.dtype == object and ours.map(type).eq(str).any():
            theirs = theirs.map(lambda v: v if pd.isna(v) else str(v))
        assert ours.isna().tolist() == theirs.isna().tolist(), name
        assert ours[ours.notna()].tolist() == theirs[theirs.notna()].tolist(), name

    # impactsim.read gives the very frame, from CSV and from JSON lines alike,
    # with the description in attrs.
    for path in (csv, jsonl):
        read = impactsim.read(path)
        pd.testing.assert_frame_equal(read, df)
        assert read.attrs["complete"] is True and read.attrs["rows_written"] == len(df)


def test_threads_give_the_same_rows_and_progress_reaches_the_total():
    seen = []
    one = impactsim.sweep(seeds=range(40, 80), distance=[2, 3], jobs=1)
    two = impactsim.sweep(seeds=range(40, 80), distance=[2, 3], jobs=2,
                          progress=lambda done, total: seen.append((done, total)))
    pd.testing.assert_frame_equal(one, two)
    assert seen and seen[-1] == (80, 80)
    assert [d for d, _ in seen] == sorted(d for d, _ in seen)
    assert one.task.tolist() == list(range(80))
    assert one.cycle_start.dtype == "Int64" and one.distance.tolist()[::40] == [2, 3]


def test_other_python_threads_run_while_a_sweep_runs():
    ticks, running = [], threading.Event()

    def count():
        while running.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    running.set()
    counter = threading.Thread(target=count)
    counter.start()
    started = time.monotonic()
    impactsim.sweep(seeds=range(300), jobs=2)
    finished = time.monotonic()
    running.clear()
    counter.join()
    # Were the GIL held through the sweep, the counter would stand still.
    during = [t for t in ticks if started < t < finished]
    assert len(during) >= 20


def test_ctrl_c_stops_a_sweep_and_the_module_stays_usable():
    # A sweep of hours, interrupted as a terminal's Ctrl+C would.
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        impactsim.sweep(seeds=range(2_000_000), jobs=2)
    timer.join()
    assert time.monotonic() - started < 30
    # The workers are gone: the next sweep runs as usual.
    assert len(impactsim.sweep(seeds=range(3), jobs=2)) == 3


# Seeds 1-3 settle within a few rounds; seed 8 blinks for ever, and its run of
# ten million rounds would take minutes.
LONG = dict(seeds=[1, 2, 3, 8], distance="nb", initial_dist=0.3, rounds=10_000_000)


def interrupt_once(condition):
    """Sends this process SIGINT, as Ctrl+C does, as soon as condition()
    holds; returns the list the time it was sent goes to."""
    sent = []

    def watch():
        while not condition():
            time.sleep(0.002)
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Thread(target=watch, daemon=True).start()
    return sent


def test_ctrl_c_stops_a_long_run_between_rounds():
    entered = threading.Event()

    def profile(frame, event, arg):
        if event == "c_call" and getattr(arg, "__name__", "") == "run":
            entered.set()

    sent = interrupt_once(entered.is_set)
    sys.setprofile(profile)
    try:
        with pytest.raises(KeyboardInterrupt):
            impactsim.run(seed=8, distance="nb", initial_dist=0.3, rounds=10_000_000)
    finally:
        sys.setprofile(None)
    assert time.monotonic() - sent[0] < 5
    assert impactsim.run(seed=8, rounds=3).stop == "rounds"


def test_ctrl_c_stops_a_long_task_and_the_files_resume(tmp_path):
    out, series = tmp_path / "rows.csv", tmp_path / "rounds.csv"
    kwargs = dict(LONG, out=out, series=series, jobs=2)
    # The short tasks' rows are written, and the long task's rounds reach the
    # file while it runs.
    sent = interrupt_once(lambda: out.exists() and out.read_bytes().count(b"\n") == 4 and
                          b"\n3,1000," in series.read_bytes())
    with pytest.raises(KeyboardInterrupt):
        impactsim.sweep(**kwargs)
    assert time.monotonic() - sent[0] < 5
    rows = out.read_bytes()
    assert rows.count(b"\n") == 4  # the header and the three short tasks

    def stop(done, total):
        raise RuntimeError("resumed")

    # Resume takes the files, cuts off the unfinished task's rounds, and runs
    # on from there.
    with pytest.raises(RuntimeError, match="resumed"):
        impactsim.sweep(**kwargs, resume=True, progress=stop)
    assert out.read_bytes() == rows
    assert b"\n3," not in series.read_bytes() and b"\n2," in series.read_bytes()


def test_a_failing_progress_callback_stops_the_sweep():
    def fail(done, total):
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        impactsim.sweep(seeds=range(2_000_000), jobs=2, progress=fail)


@pytest.mark.parametrize("function,kwargs,error,words", [
    ("run", dict(program="halvorn2"), ValueError, ["program", "halvorn or kestane", "halvorn2"]),
    ("run", dict(program=3), TypeError, ["program"]),
    ("run", dict(distance=65), ValueError, ["distance", "nb or a decimal 0..64", "'65'"]),
    ("run", dict(distance=True), TypeError, ["distance", "bool"]),
    ("run", dict(initial_dist=1.5), ValueError, ["initial_dist", "a decimal 0..1", "'1.5'"]),
    ("run", dict(initial_dist=float("nan")), ValueError, ["initial_dist", "0..1", "'NaN'"]),
    ("run", dict(side=True), TypeError, ["side", "an integer 4..400", "bool"]),
    ("run", dict(side=3), ValueError, ["side", "an integer 4..400", "'3'"]),
    ("run", dict(side=40.0), TypeError, ["side", "float"]),
    ("run", dict(scope=(0, 10)), ValueError, ["scope", "R an integer 1..100", "'0:10'"]),
    ("run", dict(scope=(17.5, 10)), TypeError, ["scope", "a pair (R, C)", "tuple"]),
    ("run", dict(scope=[17, 10]), TypeError, ["scope", "a pair (R, C)", "list"]),
    ("run", dict(program="kestane", scope="17:10"), ValueError, ["scope", "halvorn"]),
    ("run", dict(strengths="equal:101"), ValueError, ["strengths", "V an integer 0..100",
                                                      "'equal:101'"]),
    ("run", dict(strengths=50), TypeError, ["strengths", "uniform, file or equal:V", "int"]),
    ("run", dict(strengths="file"), ValueError, ["strengths", "start population", "none"]),
    ("sweep", dict(seeds=1, strengths=["uniform", "file"]), ValueError,
     ["strengths", "start population"]),
    ("run", dict(program="kestane", start=np.full((20, 20), 3)), ValueError,
     ["start: opinions", "1..2 (opinions 2)", "got 3 at [0, 0]"]),
    ("run", dict(program="kestane", start=np.full((20, 20), 257)), ValueError,
     ["start: opinions", "1..16", "got 257 at [0, 0]"]),
    ("run", dict(program="kestane", opinions=3, start=np.full((20, 20), 4)), ValueError,
     ["start: opinions", "1..3 (opinions 3)", "got 4 at [0, 0]"]),
    ("run", dict(program="kestane", start=np.ones((20, 20))), ValueError,
     ["start: opinions", "integers", "float64"]),
    ("run", dict(program="kestane", start=np.ones((20, 19), int)), ValueError,
     ["start: opinions", "square", "(20, 19)"]),
    ("run", dict(start=np.ones((20, 20), int)), ValueError,
     ["start:", "side 20", "side 40"]),
    ("run", dict(program="kestane", start=(np.ones((20, 20), int), np.ones((20, 20), int))),
     ValueError, ["start:", "tuple of 2"]),
    ("run", dict(program="kestane", start=dict(opinions=np.ones((20, 20), int),
                                              persuasiveness=np.ones((20, 20), int))),
     ValueError, ["start:", "both persuasiveness and supportiveness"]),
    ("run", dict(program="kestane", start=(np.ones((20, 20), int), np.ones((20, 20), int),
                                           np.full((20, 20), 101))),
     ValueError, ["start: supportiveness", "0..100", "101"]),
    ("run", dict(program="kestane", start=np.ones((20, 20), int), strengths="file"),
     ValueError, ["strengths", "holds none"]),
    ("run", dict(program="kestane", start=np.ones((20, 20), int), initial_count=5),
     ValueError, ["start", "initial_count"]),
    ("run", dict(start="/nonexistent/start.txt"), ValueError,
     ["start: cannot read '/nonexistent/start.txt'"]),
    ("run", dict(initial_count=1.0), TypeError, ["initial_count", "0..160000", "float"]),
    ("run", dict(noise=-1), ValueError, ["noise", "a decimal 0..1000000", "'-1'"]),
    ("run", dict(opinions=3, initial_shares=(0.5, 0.5)), ValueError,
     ["initial_shares", "3 for opinions 3, got 2"]),
    ("sweep", dict(seeds=1, initial_shares=[0.5, 0.5]), TypeError,
     ["initial_shares", "a tuple (s1, ..., sK)", "float"]),
    ("sweep", dict(seeds=1, scope=[(17, 10), (17, 10.0)]), ValueError, ["scope", "once"]),
    ("run", dict(initial_dist="lots"), ValueError, ["initial_dist", "'lots'"]),
    ("run", dict(initial_dist=True), TypeError, ["initial_dist"]),
    ("run", dict(rounds=0), ValueError, ["rounds", "1..2147483647"]),
    ("run", dict(rounds=2**31), ValueError, ["rounds", "1..2147483647"]),
    ("run", dict(rounds="50"), TypeError, ["rounds", "str"]),
    ("run", dict(rounds=5.0), TypeError, ["rounds", "float"]),
    ("run", dict(edge=1), TypeError, ["edge", "True, False"]),
    ("run", dict(edge="yes"), ValueError, ["edge", "True, False, 'on' or 'off'", "'yes'"]),
    ("run", dict(edge=""), ValueError, ["edge", "True, False, 'on' or 'off'", "got ''"]),
    ("sweep", dict(seeds=1, edge=""), ValueError, ["edge", "'on' or 'off'", "got ''"]),
    ("sweep", dict(seeds=1, summation=["on", ""]), ValueError, ["summation", "got ''"]),
    ("run", dict(program="kestane", edge=True), ValueError, ["edge", "halvorn", "kestane"]),
    ("run", dict(program="kestane", wide_scope=False), ValueError, ["wide_scope", "halvorn"]),
    ("run", dict(seed=86400000), ValueError, ["seed", "0..86399999"]),
    ("run", dict(seed=-1), ValueError, ["seed"]),
    ("run", dict(seed="1"), TypeError, ["seed"]),
    ("run", dict(seed=2**70), ValueError, ["seed", "0..86399999", str(2**70)]),
    ("run", dict(seed=-2**64), ValueError, ["seed", "0..86399999"]),
    ("run", dict(record="all"), ValueError, ["record", "grids"]),
    ("run", dict(distance=[2, 3]), TypeError, ["distance"]),
    ("sweep", dict(), TypeError, ["seeds", "required"]),
    ("sweep", dict(seeds=[]), ValueError, ["seeds", "at least one"]),
    ("sweep", dict(seeds=[3, 4, 3]), ValueError, ["seeds", "once", "3"]),
    ("sweep", dict(seeds=[1, "2"]), TypeError, ["seed"]),
    ("sweep", dict(seeds=1.5), TypeError, ["seeds"]),
    ("sweep", dict(seeds=[86400000]), ValueError, ["seeds", "0..86399999"]),
    ("sweep", dict(seeds=b"5"), TypeError, ["seeds", "an integer, a range or an", "bytes"]),
    ("sweep", dict(seeds=bytearray(b"5")), TypeError, ["seeds", "bytearray"]),
    ("sweep", dict(seeds="5"), TypeError, ["seeds", "an integer, a range or an iterable", "str"]),
    ("sweep", dict(seeds=[2**70]), ValueError, ["seeds", "0..86399999", str(2**70)]),
    ("sweep", dict(seeds=itertools.repeat(5)), ValueError, ["seeds", "once", "5 again"]),
    ("sweep", dict(seeds=itertools.cycle([1, 3])), ValueError, ["seeds", "once", "1 again"]),
    ("sweep", dict(seeds=itertools.count(80_000_000)), ValueError,
     ["seeds", "0..86399999", "'86400000'"]),
    ("sweep", dict(seeds=(s for s in [*range(100, 200_000), 7, 150])), ValueError,
     ["seeds", "150 again"]),
    ("sweep", dict(seeds=1, start=np.ones((40, 40), dtype=np.int64)), TypeError,
     ["start", "a start file's path", "ndarray", "run()"]),
    ("sweep", dict(seeds=1, start=["a,b.txt"]), ValueError, ["start", "comma", "'a,b.txt'"]),
    ("spread", dict(n=0), ValueError, ["n", "1..86400000", "got 0"]),
    ("spread", dict(n=86400001), ValueError, ["n", "1..86400000"]),
    ("spread", dict(n=1.5), TypeError, ["n", "an integer", "float"]),
    ("spread", dict(n=True), TypeError, ["n", "bool"]),
    ("spread", dict(n=5, key=2**32), ValueError, ["key", "0..4294967295", str(2**32)]),
    ("spread", dict(n=5, key=-1), ValueError, ["key", "0..4294967295"]),
    ("spread", dict(n=5, key="1"), TypeError, ["key", "str"]),
    ("sweep", dict(seeds=1, distance=[2, 2]), ValueError, ["distance", "once"]),
    ("sweep", dict(seeds=1, distance=[]), ValueError, ["distance", "at least one"]),
    ("sweep", dict(seeds=1, program=["kestane", "kestane"]), ValueError, ["program", "once"]),
    ("sweep", dict(seeds=1, program=["halvorn", "kestane"], remove_self=[True]), ValueError,
     ["remove_self", "halvorn", "kestane"]),
    ("sweep", dict(seeds=1, jobs=0), ValueError, ["jobs", "1..1024"]),
    ("sweep", dict(seeds=1, jobs="2"), TypeError, ["jobs"]),
    ("sweep", dict(seeds=1, stop_on_cycle=0), ValueError, ["stop_on_cycle"]),
    ("sweep", dict(seeds=1, progress="yes"), TypeError, ["progress"]),
    ("sweep", dict(seeds=1, resume=True), ValueError, ["resume", "out"]),
    ("sweep", dict(seeds=1, resume="yes"), TypeError, ["resume"]),
    ("sweep", dict(seeds=1, series="s.csv"), ValueError, ["series", "out"]),
    ("sweep", dict(seeds=1, out=3), TypeError, ["out", "path"]),
    ("sweep", dict(seeds=1, out="/"), ValueError, ["out", "'/'"]),
    ("sweep", dict(seeds=1, format="xml"), ValueError, ["format", "csv or jsonl", "'xml'"]),
    ("sweep", dict(seeds=1, shard="2/2"), ValueError, ["shard", "K/N"]),
    ("sweep", dict(seeds=1, shard=[0, 2]), TypeError, ["shard"]),
    ("verify", dict(path="/nonexistent/rows.csv"), ValueError, ["path", "cannot read"]),
    ("verify", dict(path="x", sample=0), ValueError, ["sample", "1.."]),
    ("verify", dict(path="x", sample=1, tasks=2), ValueError, ["tasks", "sample"]),
    ("verify", dict(path="x", tasks=[1, "2"]), TypeError, ["task"]),
])
def test_bad_arguments(function, kwargs, error, words):
    with pytest.raises(error) as raised:
        getattr(impactsim, function)(**kwargs)
    for word in words:
        assert word in str(raised.value)


def test_a_default_only_list_leaves_the_sweep_as_it_was(tmp_path):
    given, plain = tmp_path / "given.csv", tmp_path / "plain.csv"
    with_side = impactsim.sweep(seeds=[1, 2], rounds=3, side=[40], strengths="uniform",
                                out=given)
    without = impactsim.sweep(seeds=[1, 2], rounds=3, out=plain)
    pd.testing.assert_frame_equal(with_side, without)
    assert given.read_bytes() == plain.read_bytes()
    assert with_side.attrs["sweep_identity"] == without.attrs["sweep_identity"]


# (values in Python's types, the same values as the runner's texts); a pair
# is one scope, a list of pairs a list of scopes.
ONE_SETTING = [
    (dict(edge=False, distance=0, initial_dist=0.2, sequential=np.bool_(True),
          rounds=np.int64(9)),
     dict(edge="off", distance="0", initial_dist="0.2", sequential="on", rounds=9)),
    (dict(scope=(20, 12.5), noise=1e-05, distance=np.float64(2.5), initial_count=np.int64(90)),
     dict(scope="20:12.5", noise="0.00001", distance="2.5", initial_count=90)),
    (dict(scope=[(20, 12.5), (3, 0)], initial_dist=0.30, strengths=["uniform", "equal:0"]),
     dict(scope=["20,12.5", "3:0"], initial_dist="0.3", strengths=["uniform", "equal:0"])),
]


@pytest.mark.parametrize("python,text", ONE_SETTING, ids=[str(t) for _, t in ONE_SETTING])
def test_values_as_python_and_as_runner_text_are_one_setting(python, text):
    as_python = impactsim.sweep(**{"seeds": [1, 2], "rounds": 3, **python})
    as_text = impactsim.sweep(**{"seeds": range(1, 3), "rounds": 3, **text})
    pd.testing.assert_frame_equal(as_python, as_text)
    assert set(text) <= set(as_python.columns) and len(as_python) == 2 * len(
        list(itertools.product(*[v for v in text.values() if isinstance(v, list)])))
    assert as_python.attrs["sweep_identity"] == as_text.attrs["sweep_identity"]


# A sweep of both programs over distance, the powers given out of order: what
# each question of a frame finds (tasks), in the frame and in its file.
NATURAL = dict(program=["halvorn", "kestane"], distance=[4, "nb", 0, 2], seeds=[3], rounds=4)
QUERIES = [
    ("df[df.distance == 2]", [3, 7]),
    ("df[df.distance == 'nb']", [1, 5]),
    ("df[df.distance >= 2]", [0, 3, 4, 7]),
    ("df[df.distance > 'nb']", [0, 2, 3, 4, 6, 7]),
    ("df[df.distance.isin([0, 'nb'])]", [1, 2, 5, 6]),
    ("df[df.edge]", [0, 1, 2, 3]),
    ("df[df.edge == True]", [0, 1, 2, 3]),
    ("df[df.edge.isna()]", [4, 5, 6, 7]),
    ("df[df.sequential]", [4, 5, 6, 7]),
    ("df[~df.summation & (df.program == 'kestane')]", [4, 5, 6, 7]),
    ("df.sort_values(['distance', 'task'])", [1, 5, 2, 6, 3, 7, 0, 4]),
    ("df.groupby('distance', observed=True).task.first().to_frame()", [1, 2, 3, 0]),
    ("df.groupby(['program', 'distance'], observed=False).task.min().dropna().to_frame()",
     [1, 2, 3, 0, 5, 6, 7, 4]),
]


@pytest.fixture(scope="module")
def natural_frames(tmp_path_factory):
    path = tmp_path_factory.mktemp("natural") / "rows.jsonl"
    df = impactsim.sweep(**NATURAL, out=path, format="jsonl")
    return df, impactsim.read(path)


@pytest.mark.parametrize("query,tasks", QUERIES, ids=[q for q, _ in QUERIES])
def test_settings_answer_questions_in_their_own_types(query, tasks, natural_frames):
    for df in natural_frames:
        found = eval(query, {"df": df})
        assert found["task"].tolist() == tasks, query


def test_a_frames_values_sweep_again():
    df = impactsim.sweep(**NATURAL)
    again = impactsim.sweep(program=df.program.unique(), distance=df.distance.unique(),
                            summation=df.summation.unique(), seeds=df.seed.unique(), rounds=4)
    # unique() keeps the order the values came in, so the tasks are the same.
    pd.testing.assert_frame_equal(again, df)
    assert again.attrs["sessions"][0]["call"] == (
        "impactsim.sweep(program=['halvorn', 'kestane'], seeds=[3], rounds=4, "
        "distance=[4, 'nb', 0, 2], summation=[False])")
    halvorn = df[df.program == "halvorn"]
    pd.testing.assert_frame_equal(
        impactsim.sweep(edge=halvorn.edge.unique(), distance=halvorn.distance.iloc[0], seeds=3,
                        rounds=4),
        impactsim.sweep(edge=True, distance=4, seeds=3, rounds=4))


def test_read_without_description_and_kestane_gaps(tmp_path):
    df = impactsim.sweep(program=["kestane", "halvorn"], seeds=[5], rounds=4)
    text = df.assign(**{name: df[name].astype(object).map(spelled) for name in SPELLED})
    path = tmp_path / "rows.csv"
    path.write_text(text.to_csv(index=False, na_rep=""))
    read = impactsim.read(path)
    assert read.attrs == {}
    assert read.edge.isna().tolist() == [True, False]
    pd.testing.assert_frame_equal(read, df)
    lines = [json.dumps({k: (None if pd.isna(v) else v) for k, v in row.items()},
                        default=lambda v: v.item())
             for row in text.astype(object).to_dict("records")]
    (tmp_path / "rows.jsonl").write_text("\n".join(lines) + "\n")
    pd.testing.assert_frame_equal(impactsim.read(tmp_path / "rows.jsonl"), df)
