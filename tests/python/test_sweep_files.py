"""impactsim.sweep with out= writes the runner's very files: the same rows
and series bytes and the same description, resumable by either front end
and checked by either verify."""

import hashlib
import json
import os
import re
import subprocess
import sys

import pandas as pd
import pytest

import impactsim

# (keyword arguments of impactsim.sweep, the same sweep's runner options)
FILES = [
    (dict(program=["halvorn", "kestane"], distance=["nb", 2], seeds=range(4), rounds=30),
     "--program halvorn,kestane --distance nb,2 --seeds 0-3 --rounds 30"),
    (dict(edge=[True, False], seeds=[9, 3, 4], rounds=12, format="jsonl", shard=(1, 2),
          stop_on_cycle=2),
     "--edge on,off --seeds 9,3-4 --rounds 12 --format jsonl --shard 1/2 --stop-on-cycle 2"),
    (dict(seeds=impactsim.spread(5, key=2), rounds=10), "--seeds spread:5:2 --rounds 10"),
]

# What differs between two descriptions of the same sweep: who wrote it,
# where and when.
WHO = ("command_line", "started", "finished", "sessions", "series")


def description(path):
    with open(str(path) + ".meta.json", encoding="utf-8") as f:
        return json.load(f)


def cut_short(path, keep):
    """Keeps the first `keep` bytes of a finished file, its description as a
    sweep cut short leaves it: not complete, without the digest."""
    path.write_bytes(path.read_bytes()[:keep])
    meta = description(path)
    meta.pop("rows_sha256", None)
    meta["complete"] = False
    with open(str(path) + ".meta.json", "w", encoding="utf-8") as f:
        json.dump(meta, f, indent=2)


@pytest.mark.parametrize("kwargs,options", FILES, ids=[c[1] for c in FILES])
def test_python_writes_the_runners_files(kwargs, options, impactsim_cli, tmp_path):
    ours, theirs = tmp_path / "py", tmp_path / "cli"
    ours.mkdir(), theirs.mkdir()
    df = impactsim.sweep(**kwargs, out=ours / "rows", series=ours / "series", jobs=2)
    impactsim_cli("sweep", *options.split(), "--quiet", "--out", theirs / "rows",
                  "--series", theirs / "series")

    for name in ("rows", "series"):
        assert (ours / name).read_bytes() == (theirs / name).read_bytes(), name
    mine, runner = description(ours / "rows"), description(theirs / "rows")
    assert {k: v for k, v in mine.items() if k not in WHO} == \
        {k: v for k, v in runner.items() if k not in WHO}
    assert mine["complete"] and mine["rows_sha256"] == runner["rows_sha256"]
    session = mine["sessions"][-1]
    assert session["call"].startswith("impactsim.sweep(") and "out=" in session["call"]
    assert session["version"] == impactsim.__version__ and len(session["commit"]) in (7, 40)

    # The frame is the file's, with its description.
    pd.testing.assert_frame_equal(df, impactsim.read(theirs / "rows"))
    assert df.attrs == mine

    # Each front end's verify accepts the other's file.
    assert impactsim.verify(theirs / "rows", jobs=2)
    done = impactsim_cli("verify", ours / "rows", "--quiet")
    assert done.stdout.startswith("agrees:"), done.stdout


def test_a_sweep_from_a_start_file_writes_the_runners_files(impactsim_cli, tmp_path):
    start = tmp_path / "start.txt"
    impactsim_cli("run", "--program", "kestane", "--seed", "3", "--rounds", "1",
                  "--start-out", start)
    ours, theirs = tmp_path / "py", tmp_path / "cli"
    df = impactsim.sweep(program="kestane", start=start, strengths="file", seeds=[5, 6],
                         rounds=10, out=ours)
    impactsim_cli("sweep", "--program", "kestane", "--start", start, "--strengths", "file",
                  "--seeds", "5,6", "--rounds", "10", "--quiet", "--out", theirs)
    assert ours.read_bytes() == theirs.read_bytes()
    mine, runner = description(ours), description(theirs)
    assert {k: v for k, v in mine.items() if k not in WHO} == \
        {k: v for k, v in runner.items() if k not in WHO}
    digest = hashlib.sha256(start.read_bytes()).hexdigest()
    assert mine["start_files"] == [{"file": str(start), "sha256": digest}]
    assert list(df.start) == ["sha256:" + digest] * 2


def test_a_sweep_without_a_file_is_described_too():
    df = impactsim.sweep(seeds=range(3), rounds=5)
    assert df.attrs["tasks"] == 3 and df.attrs["rows_written"] == 3 and df.attrs["complete"]
    assert df.attrs["sweep_identity"] and "rows_sha256" not in df.attrs
    assert df.attrs["command_line"] == ["impactsim", "sweep", "--rounds", "5", "--seeds", "0-2"]
    assert df.attrs["sessions"][0]["call"] == "impactsim.sweep(seeds=range(0, 3), rounds=5)"


def test_spread_seeds_are_the_runners_and_recorded_by_their_text(impactsim_cli):
    seeds = impactsim.spread(1000, key=5)
    listed = impactsim_cli("sweep", "--seeds", "spread:1000:5", "--list").stdout.splitlines()
    expected = [int(line.split(",")[2]) for line in listed[1:]]
    assert len(seeds) == 1000 and list(seeds) == expected
    assert (seeds[0], seeds[-1], seeds[10:13]) == (expected[0], expected[-1], expected[10:13])
    assert expected[7] in seeds and expected[7] - 1 not in seeds and "5" not in seeds
    with pytest.raises(IndexError):
        seeds[1000]
    assert repr(seeds) == "impactsim.spread(1000, key=5)"

    df = impactsim.sweep(seeds=impactsim.spread(3), rounds=2)
    assert df.seed.tolist() == list(impactsim.spread(3))
    assert df.attrs["command_line"] == ["impactsim", "sweep", "--rounds", "2", "--seeds",
                                        "spread:3"]
    assert df.attrs["sessions"][0]["call"] == \
        "impactsim.sweep(seeds=impactsim.spread(3), rounds=2)"


class Stop(Exception):
    pass


def stop_after(runs):
    def progress(done, total):
        if done >= runs:
            raise Stop()
    return progress


def test_resume_across_front_ends(impactsim_cli, tmp_path):
    options = "--distance 1,3 --seeds 0-299 --rounds 20".split()
    whole = tmp_path / "whole.csv"
    impactsim_cli("sweep", *options, "--quiet", "--out", whole)
    expected = whole.read_bytes()

    # Python stops midway; the runner continues the file.
    first = tmp_path / "first.csv"
    with pytest.raises(Stop):
        impactsim.sweep(distance=[1, 3], seeds=range(300), rounds=20, out=first, jobs=2,
                        progress=stop_after(40))
    kept = first.read_bytes()
    assert 0 < len(kept) < len(expected) and description(first)["sessions"][-1]["status"] == "failed"
    impactsim_cli("sweep", *options, "--quiet", "--resume", "--out", first)
    assert first.read_bytes() == expected

    # The runner's file cut short, with a torn last line; Python continues it
    # and hands back every row, those kept too.
    second = tmp_path / "second.csv"
    impactsim_cli("sweep", *options, "--quiet", "--out", second)
    lines = expected.split(b"\n")
    cut_short(second, len(b"\n".join(lines[:100])) + 1 + 7)
    df = impactsim.sweep(distance=[1, 3], seeds=range(300), rounds=20, out=second, resume=True)
    assert second.read_bytes() == expected
    pd.testing.assert_frame_equal(df, impactsim.read(whole), check_like=False)
    assert impactsim.verify(second, sample=20)


def test_verify_reports_what_differs(impactsim_cli, tmp_path):
    rows = tmp_path / "rows.csv"
    impactsim.sweep(seeds=range(6), rounds=8, out=rows)
    lines = rows.read_text().splitlines(keepends=True)
    fields = lines[4].split(",")
    fields[-1] = "99\n"
    lines[4] = ",".join(fields)
    rows.write_text("".join(lines))

    found = impactsim.verify(rows, tasks=range(2, 5))
    assert not found and found.checked == 3 and found.differing == 1
    assert [f.split(":")[0] for f in found.findings] == ["task 3", "rows_sha256"]
    assert found.summary.startswith("differs: checked 3 rows of 6")
    done = subprocess.run([impactsim_cli.binary, "verify", rows, "--quiet"], capture_output=True,
                          text=True)
    assert done.returncode == 1 and done.stdout.splitlines()[:2] == found.findings


@pytest.fixture(scope="module")
def rows_files(tmp_path_factory):
    """A sweep's rows as CSV and as JSON lines, with kestane's missing
    values and halvorn's, and the frame impactsim.sweep gives."""
    folder = tmp_path_factory.mktemp("rows")
    files = {}
    for format in ("csv", "jsonl"):
        files[format] = folder / f"rows.{format}"
        df = impactsim.sweep(program=["halvorn", "kestane"], seeds=range(3), rounds=6,
                             out=files[format], format=format)
    return files, df


def set_field(name, value):
    """Changes one field of a row, CSV or JSON, to the given text."""
    def change(line, header):
        if line.startswith(b"{"):
            return re.sub(rb'("%s":)([^,}]*)' % name.encode(), rb"\g<1>" + value, line)
        fields = line.split(b",")
        fields[header.split(b",").index(name.encode())] = value
        return b",".join(fields)
    return change


def whole_line(text):
    return lambda line, header: text


# Line 3 of a rows file changed; read() raises ValueError with these words.
BAD_ROWS = [
    ("csv", set_field("total_changes", b"11.5"), ["total_changes", "an integer", "'11.5'"]),
    ("csv", set_field("rounds_run", b"true"), ["rounds_run", "an integer", "'true'"]),
    ("csv", set_field("period", b'"11"'), ["period", "an integer", "'\"11\"'"]),
    ("csv", set_field("task", b""), ["task", "an integer", "''"]),
    ("csv", set_field("total_changes", b"99999999999999999999"), ["total_changes", "integer"]),
    ("csv", set_field("cycle_start", b"1.0"), ["cycle_start", "an integer or nothing"]),
    ("csv", set_field("like_neighbours_end", b"Infinity"), ["like_neighbours_end", "finite"]),
    ("csv", set_field("minority_share_end", b"nan"), ["minority_share_end", "finite", "'nan'"]),
    ("csv", set_field("like_neighbours_end", b"1e999"), ["like_neighbours_end", "finite"]),
    ("csv", set_field("edge", b"yes"), ["edge", "expects 'on', 'off' or nothing", "'yes'"]),
    ("csv", set_field("sequential", b""), ["sequential", "expects 'on' or 'off'", "got ''"]),
    ("csv", set_field("distance", b"-1"), ["distance", "'nb' or a number 0 or more", "'-1'"]),
    ("csv", set_field("distance", b"1e999"), ["distance", "'nb' or a number", "'1e999'"]),
    ("csv", whole_line(b""), ["task", "an integer", "''"]),
    ("csv", lambda line, header: line + b",1", ["line 3", "not CSV rows"]),
    ("csv", lambda line, header: b"\xe9" + line, ["not UTF-8"]),
    ("jsonl", set_field("rounds_run", b'"11"'), ["rounds_run", "an integer", "'11'"]),
    ("jsonl", set_field("rounds_run", b"11.5"), ["rounds_run", "an integer", "11.5"]),
    ("jsonl", set_field("rounds_run", b"true"), ["rounds_run", "an integer", "True"]),
    ("jsonl", set_field("task", b"null"), ["task", "an integer", "None"]),
    ("jsonl", set_field("total_changes", b"18446744073709551616"), ["total_changes", "integer"]),
    ("jsonl", set_field("cycle_start", b"[1]"), ["cycle_start", "an integer or nothing"]),
    ("jsonl", set_field("like_neighbours_end", b"Infinity"), ["finite", "Infinity"]),
    ("jsonl", set_field("minority_share_end", b"NaN"), ["finite", "NaN"]),
    ("jsonl", set_field("like_neighbours_end", b"1e400"), ["like_neighbours_end", "finite"]),
    ("jsonl", set_field("like_neighbours_end", b"1" + b"0" * 400), ["like_neighbours_end"]),
    ("jsonl", set_field("distance", b"2"), ["distance", "as text", "got 2"]),
    ("jsonl", set_field("distance", b'"far"'), ["distance", "'nb' or a number", "'far'"]),
    ("jsonl", set_field("summation", b"true"), ["summation", "'on' or 'off'", "got True"]),
    ("jsonl", set_field("wide_scope", b'"On"'), ["wide_scope", "'on', 'off' or nothing", "'On'"]),
    ("jsonl", whole_line(b"[" * 100000 + b"]" * 100000), ["nested too deeply"]),
    ("jsonl", whole_line(b"[1, 2]"), ["a JSON object"]),
    ("jsonl", whole_line(b'{"task": 1}'), ["not those of line 1"]),
    ("jsonl", whole_line(b'{"task": 1'), ["not JSON"]),
]


@pytest.mark.parametrize("format,change,words", BAD_ROWS,
                         ids=[f"{row[0]}-{i}-{row[2][0]}" for i, row in enumerate(BAD_ROWS)])
def test_read_refuses_what_is_not_a_row(format, change, words, rows_files, tmp_path):
    lines = rows_files[0][format].read_bytes().split(b"\n")
    lines[2] = change(lines[2], lines[0])
    path = tmp_path / f"bad.{format}"
    path.write_bytes(b"\n".join(lines))
    with pytest.raises(ValueError) as raised:
        impactsim.read(path)
    message = str(raised.value)
    assert message.startswith("path: ") and repr(str(path)) in message, message
    for word in ["line 3"] + words:
        assert word in message, message


@pytest.mark.parametrize("text", [b"", b"HEADER\n"], ids=["empty", "header only"])
def test_a_file_without_rows_reads_in_the_types_of_a_sweep(text, rows_files, tmp_path):
    header = rows_files[0]["csv"].read_bytes().split(b"\n")[0]
    path = tmp_path / "rows.csv"
    path.write_bytes(text.replace(b"HEADER", header))
    df = impactsim.read(path)
    assert len(df) == 0 and list(df.columns) == impactsim.COLUMNS
    assert df.dtypes.astype(str).tolist() == rows_files[1].dtypes.astype(str).tolist()


@pytest.mark.parametrize("format", ["csv", "jsonl"])
def test_read_leaves_out_an_unfinished_last_line(format, rows_files, tmp_path):
    text = rows_files[0][format].read_bytes()
    path = tmp_path / f"torn.{format}"
    # Cut inside the last number of the last row, as a full disk leaves it.
    torn = text[:text.rindex(b".") + 4]
    path.write_bytes(torn)
    with pytest.warns(UserWarning) as warned:
        df = impactsim.read(path)
    line = torn.count(b"\n") + 1
    assert [str(w.message) for w in warned] == [
        f"{str(path)!r}: line {line} is unfinished (no line break ends it) and is left out"]
    pd.testing.assert_frame_equal(df, rows_files[1].iloc[:-1], check_like=False)


# Files read() is handed or finds beside the rows that are not regular files
# or too large to be a description; each read in a child process with a time
# limit, so that a reader that blocks or reads without end fails the case.
def unreadable(kind, path):
    if kind == "fifo":
        os.mkfifo(path)
    elif kind == "dev_zero":
        os.symlink("/dev/zero", path)
    else:
        with open(path, "w") as f:
            f.write("{}" + " " * impactsim._core.description_limit)


@pytest.mark.parametrize("target,kind,words", [
    ("rows", "fifo", ["a FIFO, not a regular file"]),
    ("meta", "fifo", ["rows.csv.meta.json", "a FIFO, not a regular file"]),
    ("meta", "dev_zero", ["rows.csv.meta.json", "a character device, not a regular file"]),
    ("meta", "oversize", ["rows.csv.meta.json", "larger than 16 MiB"]),
])
def test_read_refuses_what_is_not_a_regular_file(target, kind, words, rows_files, tmp_path):
    rows = tmp_path / "rows.csv"
    if target == "rows":
        unreadable(kind, rows)
    else:
        rows.write_bytes(rows_files[0]["csv"].read_bytes())
        unreadable(kind, tmp_path / "rows.csv.meta.json")
    script = ("import sys, impactsim\n"
              "try:\n    impactsim.read(sys.argv[1])\n"
              "except ValueError as e:\n    print(e)\n")
    done = subprocess.run([sys.executable, "-c", script, str(rows)], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("path: cannot read "), done.stdout
    for word in words:
        assert word in done.stdout, done.stdout
