"""impactsim.sweep with out= writes the runner's very files: the same rows
and series bytes and the same description, resumable by either front end
and checked by either verify."""

import json
import subprocess

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


def test_a_sweep_without_a_file_is_described_too():
    df = impactsim.sweep(seeds=range(3), rounds=5)
    assert df.attrs["tasks"] == 3 and df.attrs["rows_written"] == 3 and df.attrs["complete"]
    assert df.attrs["sweep_identity"] and "rows_sha256" not in df.attrs
    assert df.attrs["command_line"] == ["impactsim", "sweep", "--rounds", "5", "--seeds", "0-2"]
    assert df.attrs["sessions"][0]["call"] == "impactsim.sweep(seeds=range(0, 3), rounds=5)"


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
