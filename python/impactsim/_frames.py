"""Rows as data frames: the type of every column of a sweep's rows, the
frame of rows the engine hands over as columns, and the reader of rows files
(CSV or JSON lines), both giving the same types."""

import io
import json
import os

import numpy as np
import pandas as pd

from . import _core

COLUMNS = [name for name, _, _ in _core.columns()]
MEANINGS = {name: meaning for name, meaning, _ in _core.columns()}

# The pandas type of each kind of column: text as str (NaN where the program
# lacks the setting), whole numbers as int64 (Int64 where a value may be
# missing), decimals as float64 (NaN where there is none).
_DTYPE_OF_KIND = {"text": object, "optional integer": "Int64", "decimal": "float64",
                  "integer": "int64"}
DTYPES = {name: _DTYPE_OF_KIND[kind] for name, _, kind in _core.columns()}


def _typed(frame):
    for name in frame.columns:
        dtype = DTYPES.get(name)
        if dtype is None:
            continue
        if dtype is object:
            frame[name] = frame[name].astype(object).map(
                lambda v: v if isinstance(v, str) else np.nan if pd.isna(v) else str(v))
        else:
            frame[name] = frame[name].astype(dtype)
    return frame


def from_columns(columns):
    """A frame of rows handed over by the engine as columns."""
    data = {}
    for name, column in columns.items():
        if isinstance(column, tuple) and column[0] == "masked":
            column = pd.arrays.IntegerArray(column[1], column[2])
        data[name] = column
    return _typed(pd.DataFrame(data, columns=COLUMNS))


def from_csv(text):
    """A frame of rows given as CSV text (bytes or str) with a header."""
    if isinstance(text, bytes):
        text = text.decode()
    known = {name: (str if dtype is object else dtype) for name, dtype in DTYPES.items()}
    # Decimals are written as the shortest text that reads back as the same
    # number; the round-trip parser reads them back exactly.
    frame = pd.read_csv(io.StringIO(text), dtype=known, keep_default_na=False, na_values=[""],
                        float_precision="round_trip")
    return _typed(frame)


def from_jsonl(text):
    """A frame of rows given as JSON lines."""
    if isinstance(text, bytes):
        text = text.decode()
    records = [json.loads(line) for line in text.splitlines() if line.strip()]
    frame = pd.DataFrame.from_records(records, columns=list(records[0]) if records else COLUMNS)
    return _typed(frame)


def read(path):
    """Reads a rows file of "impactsim sweep" (CSV or JSON lines, told apart
    by the first character) into a data frame with the same column types as
    impactsim.sweep returns; the file's description FILE.meta.json, when there
    is one, goes into df.attrs.

        df = impactsim.read("sweep.csv")
        df.groupby("distance").minority_share_end.mean()
    """
    path = os.fspath(path)
    with open(path, "rb") as f:
        text = f.read()
    jsonl = text.lstrip()[:1] == b"{"
    frame = from_jsonl(text) if jsonl else from_csv(text)
    meta = path + ".meta.json"
    if os.path.exists(meta):
        with open(meta, encoding="utf-8") as f:
            frame.attrs.update(json.load(f))
    return frame
