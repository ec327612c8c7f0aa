"""impactsim.run against "impactsim run": the same seed and settings must give
the same log, census, final grid and sweep row."""

import dataclasses

import numpy as np
import pandas as pd
import pytest

import impactsim

# (keyword arguments of impactsim.run, the same run's options for the runner)
CASES = [
    (dict(seed=12345000, rounds=50), "--seed 12345000 --rounds 50"),
    (dict(seed=86399999, edge=False, distance="nb"), "--seed 86399999 --no-edge --distance nb"),
    (dict(seed=7, wide_scope=True, rounds=20, initial_dist=0.4),
     "--seed 7 --wide-scope --rounds 20 --initial-dist 0.4"),
    (dict(seed=12345000, remove_self=True, summation=True, distance=4, sequential=True),
     "--seed 12345000 --remove-self --summation --distance 4 --sequential"),
    (dict(program="kestane", seed=0), "--program kestane --seed 0"),
    (dict(program="kestane", seed=12345000, sequential="off", summation="on", distance=0),
     "--program kestane --seed 12345000 --simultaneous --summation --distance 0"),
    (dict(program="kestane", seed=99, initial_dist=0.1, rounds=3),
     "--program kestane --seed 99 --initial-dist 0.1 --rounds 3"),
    (dict(seed=12345000, distance=2.5, initial_dist=0.35, noise=0.5, rounds=20),
     "--seed 12345000 --distance 2.5 --initial-dist 0.35 --noise 0.5 --rounds 20"),
    (dict(program="kestane", seed=31, distance=3, noise=2.0, rounds=9),
     "--program kestane --seed 31 --distance 3 --noise 2 --rounds 9"),
    (dict(seed=12345000, side=12, opinions=12, rounds=4),
     "--seed 12345000 --side 12 --opinions 12 --rounds 4"),
]

# The Run's field of a column that a field of the population names already.
FIELD = {"opinions": "opinion_count"}


# The Python type of a value of each type of column (distance: str or int).
PLAIN = {"int64": int, "Int64": int, "float64": float, "bool": bool, "boolean": bool,
         "object": str}


@pytest.mark.parametrize("kwargs,options", CASES, ids=[c[1] for c in CASES])
def test_run_matches_runner(kwargs, options, impactsim_cli, tmp_path):
    census, grid = tmp_path / "census.csv", tmp_path / "final.grid"
    done = impactsim_cli("run", *options.split(), "--census-csv", census, "--grid-out", grid)
    run = impactsim.run(**kwargs)

    assert run.log == done.stdout.splitlines()
    pd.testing.assert_frame_equal(run.census, pd.read_csv(census), check_dtype=False)
    lines = grid.read_text().splitlines()
    # Opinions 10..16 are the letters a..g.
    assert run.opinions.tolist() == [[int(c, 17) for c in line] for line in lines]
    assert run.opinions.dtype == np.uint8 and run.persuasiveness.dtype == np.uint8

    # The run's row is the row of a one-seed sweep with the same settings.
    sweep = options.replace("--seed", "--seeds").replace("--no-edge", "--edge off")
    sweep = sweep.replace("--simultaneous", "--sequential off")
    rows = tmp_path / "rows.csv"
    impactsim_cli("sweep", *sweep.split(), "--quiet", "--out", rows)
    expected = impactsim.read(rows).iloc[0].drop("task").to_dict()
    if kwargs.get("opinions", 2) > 2:
        # The census has the cells of opinions 3..K; the row, as Run's
        # fields, those of two opinions.
        last = {f"opinion{k}": value for k, value in enumerate(
            [expected.pop(f"opinion{k}_end") for k in range(3, kwargs["opinions"] + 1)], 3)}
        assert run.census.iloc[-1][list(last)].to_dict() == last
        kept = {f.name for f in dataclasses.fields(impactsim.Run)} | set(FIELD)
        expected = {name: value for name, value in expected.items() if name in kept}
    # The run's row shows every setting; the sweep's those it was given.
    assert [name for name in run.row if name in expected] == list(expected)
    assert set(run.row) - set(expected) <= set(impactsim.SETTINGS)
    for name, value in expected.items():
        if pd.isna(value):
            assert pd.isna(run.row[name]), name
        else:
            assert run.row[name] == value, name
    assert (run.rounds_run, run.stop) == (expected["rounds_run"], expected["stop"])
    assert len(run.census) == run.rounds_run + 1

    # Every column of the row, in order, is a declared field of Run holding
    # the row's value as plain Python: None where nothing is, NaN for a
    # decimal without a value. The opinions column is opinion_count, as
    # opinions is the final population.
    fields = [f.name for f in dataclasses.fields(impactsim.Run)]
    assert fields[:len(run.row)] == [FIELD.get(n, n) for n in run.row]
    dtypes = impactsim.read(rows).dtypes
    for name, value in expected.items():
        field = getattr(run, FIELD.get(name, name))
        if pd.isna(value):
            assert field is None or (dtypes[name] == "float64" and np.isnan(field)), name
        else:
            assert field == value and type(field) is PLAIN.get(str(dtypes[name]), type(value)), \
                name
    # The settings as given are the run's, in natural types: True for "on",
    # numbers as numbers, "nb" as text.
    for name, given in kwargs.items():
        if name in impactsim.SETTINGS:
            natural = {"on": True, "off": False}.get(given, given)
            field = getattr(run, FIELD.get(name, name))
            assert field == natural and type(field) is type(natural)
    assert run.settings == {name: getattr(run, FIELD.get(name, name)) for name in impactsim.SETTINGS}


# A start population given as the runner's start file or as arrays, with
# its strengths or without, makes the runner's run from that file.
@pytest.mark.parametrize("form,opinions", [("path", 2), ("tuple", 2), ("dict", 2),
                                           ("opinions", 2), ("opinions", 5)])
def test_start_population_matches_runner(form, opinions, impactsim_cli, tmp_path):
    start, census, grid = tmp_path / "start.txt", tmp_path / "c.csv", tmp_path / "g.grid"
    impactsim_cli("run", "--program", "kestane", "--seed", "5", "--rounds", "1",
                  "--opinions", str(opinions), "--start-out", start)
    made = impactsim.run(program="kestane", seed=5, rounds=1, opinions=opinions)
    assert made.start_opinions.max() == opinions
    arrays = (made.start_opinions, made.start_persuasiveness, made.start_supportiveness)
    given = {"path": start, "tuple": arrays, "dict": dict(zip(
        ("opinions", "persuasiveness", "supportiveness"), arrays)),
        "opinions": made.start_opinions.astype(np.int64)}[form]
    strengths = ["--strengths", "file"] if form != "opinions" else []
    done = impactsim_cli("run", "--program", "kestane", "--seed", "9", "--start", start,
                         "--opinions", str(opinions), *strengths, "--census-csv", census,
                         "--grid-out", grid)
    run = impactsim.run(program="kestane", seed=9, start=given, opinions=opinions,
                        strengths="file" if strengths else None)
    assert run.log == done.stdout.splitlines()
    pd.testing.assert_frame_equal(run.census, pd.read_csv(census), check_dtype=False)
    assert run.opinions.tolist() == [[int(c) for c in line]
                                     for line in grid.read_text().splitlines()]
    assert (run.start_opinions == made.start_opinions).all()
    kept = (run.start_persuasiveness == made.start_persuasiveness).all()
    assert kept == bool(strengths)


# The settings beyond the windows' as a run's fields, by program: the scope
# the run had ("R:C", none for kestane), no count unless given.
FIELDS = [
    (dict(), dict(side=40, scope="17:10", initial_count=None, strengths="uniform", noise=0.0)),
    (dict(wide_scope=True), dict(scope="29:19")),
    (dict(scope=(20, 12.5), strengths="equal:7", noise=1e-05, initial_count=500),
     dict(scope="20:12.5", strengths="equal:7", noise=1e-05, initial_count=500)),
    (dict(program="kestane"),
     dict(side=20, scope=None, initial_count=None, strengths="uniform", noise=0.0)),
    (dict(program="kestane", initial_count=0, noise="3.50"), dict(initial_count=0, noise=3.5)),
    # Two shares are the share of opinion 2.
    (dict(opinions=2, initial_shares=(0.75, 0.25)), dict(initial_dist=0.25, initial_shares=None)),
]


@pytest.mark.parametrize("kwargs,fields", FIELDS, ids=[str(k) for k, _ in FIELDS])
def test_settings_beyond_the_windows_are_fields(kwargs, fields):
    run = impactsim.run(seed=2024, rounds=2, record="grids", **kwargs)
    for name, value in fields.items():
        assert getattr(run, name) == value and type(getattr(run, name)) is type(value), name
        assert run.settings[name] == value, name
    # The start population is the one round 0 counts.
    side = run.side
    for array in (run.start_opinions, run.start_persuasiveness, run.start_supportiveness):
        assert array.shape == (side, side) and array.dtype == np.uint8
    assert np.array_equal(run.grids[0], run.start_opinions)
    assert (run.start_opinions == 2).sum() == run.opinion2_start == run.census.opinion2[0]
    assert run.start_persuasiveness.max() <= 100


def test_population_arrays_and_grids():
    run = impactsim.run(program="kestane", seed=4321, rounds=8, record="grids")
    side = 20
    assert run.opinions.shape == run.persuasiveness.shape == run.supportiveness.shape == (side, side)
    assert run.grids.shape == (run.rounds_run + 1, side, side)
    assert np.array_equal(run.grids[-1], run.opinions)
    # Every round's grid agrees with that round's census.
    for r, grid in enumerate(run.grids):
        assert (grid == 2).sum() == run.census.opinion2[r]
    changes = [(a != b).sum() for a, b in zip(run.grids[:-1], run.grids[1:])]
    assert changes == run.census.changes[1:].tolist()
    assert run.persuasiveness.max() <= 100 and run.supportiveness.max() <= 100
    assert impactsim.run(program="kestane", seed=4321, rounds=8).grids is None


def test_unseeded_run_reports_its_seed():
    first = impactsim.run(rounds=3)
    again = impactsim.run(rounds=3, seed=first.seed)
    assert 0 <= first.seed < 86400000
    assert first.log == again.log and np.array_equal(first.opinions, again.opinions)
    assert f"seed={first.seed}" in repr(first) and "stop=" in repr(first)
