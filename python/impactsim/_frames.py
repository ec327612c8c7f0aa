"""Rows as data frames: the type of every column of a sweep's rows, the
frame of rows the engine hands over as columns, and the reader of rows files
(CSV or JSON lines), both giving the same types. The files spell settings as
text ("on", "nb", "2"); the frames hold them in natural types."""

import csv
import io
import itertools
import json
import math
import operator
import os
import re
import warnings
from typing import Union

import numpy as np
import pandas as pd

from . import _core, _values

COLUMNS = [name for name, _, _, always in _core.columns() if always]
MEANINGS = {name: meaning for name, meaning, _, _ in _core.columns()}


def _kind(name, kind):
    """The kind of a column as a frame holds it. A switch is a "switch", an
    "optional switch" where a program lacks it; the power of distance, text
    in the rows, is a "power"."""
    entry = _values.SETTINGS.get(name)
    if kind != "text" or entry is None:
        return kind
    if not entry["switch"]:
        return "power" if name == "distance" else kind
    return "switch" if set(entry["programs"]) == set(_values.PROGRAMS) else "optional switch"


KINDS = {name: _kind(name, kind) for name, _, kind, _ in _core.columns()}

# The pandas type of each kind of column: text as str (NaN where there is
# none), whole numbers as int64 (Int64 where a value may be missing), decimals
# as float64 (NaN where there is none), switches as bool (the nullable
# "boolean", <NA> where a program lacks the switch), the power of distance as
# an ordered categorical: "nb" first, then the powers present, ascending.
_DTYPE_OF_KIND = {"text": object, "optional integer": "Int64", "decimal": "float64",
                  "integer": "int64", "switch": "bool", "optional switch": "boolean",
                  "power": "category"}
DTYPES = {name: _DTYPE_OF_KIND[kind] for name, kind in KINDS.items()}


class _BadText(Exception):
    """The value at `position` of a column of setting texts is not one."""

    def __init__(self, position):
        super().__init__(position)
        self.position = position


def _power(text):
    """The power of distance a text spells: "nb", or a number >= 0 (an int
    where it is whole, so that "2" and "2.0" are one power); None if none."""
    if text == "nb":
        return text
    if not isinstance(text, str) or not re.fullmatch(_DECIMAL_TEXT, text):
        return None
    value = float(text)
    if not (math.isfinite(value) and value >= 0):
        return None
    return int(value) if value.is_integer() else value


def _setting_column(kind, texts):
    """A column of setting texts (str, None or NaN where missing) in its
    frame type; raises _BadText at the first text that is not a value."""
    codes, uniques = pd.factorize(pd.Series(texts, dtype=object))
    missing = codes < 0
    if missing.any() and kind != "optional switch":
        raise _BadText(int(np.argmax(missing)))
    if kind == "power":
        values = [_power(text) for text in uniques]
    else:
        values = [{"on": True, "off": False}.get(text) for text in uniques]
    if None in values:
        raise _BadText(int(np.argmax(codes == values.index(None))))
    if kind == "power":
        present = sorted(v for v in set(values) if v != "nb")
        categories = pd.Index((["nb"] if "nb" in values else []) + present, dtype=object)
        order = np.array([categories.get_loc(v) for v in values], dtype=np.int64)
        return pd.Categorical.from_codes(order[codes], categories, ordered=True)
    truth = np.array(values + [False], dtype=bool)[codes]
    return truth if kind == "switch" else pd.arrays.BooleanArray(truth, missing)


_SETTING_KINDS = ("switch", "optional switch", "power")


def _typed(frame):
    for name in frame.columns:
        kind = KINDS.get(name)
        if kind is None:
            continue
        if kind in _SETTING_KINDS:
            # Texts (from the engine, or no rows) to values; the readers
            # hand over their values already typed.
            dtype = frame[name].dtype
            typed = isinstance(dtype, pd.CategoricalDtype) if kind == "power" else \
                str(dtype) == DTYPES[name]
            if not typed:
                frame[name] = _setting_column(kind, frame[name].tolist())
        elif DTYPES[name] is object:
            frame[name] = frame[name].astype(object).map(
                lambda v: v if isinstance(v, str) else np.nan if pd.isna(v) else str(v))
        else:
            frame[name] = frame[name].astype(DTYPES[name])
    return frame


def from_columns(columns):
    """A frame of rows handed over by the engine as columns."""
    data = {}
    for name, column in columns.items():
        if isinstance(column, tuple) and column[0] == "masked":
            column = pd.arrays.IntegerArray(column[1], column[2])
        data[name] = column
    return _typed(pd.DataFrame(data))


# What a value of each kind of column may be in a JSON line, by its type:
# whole numbers only as JSON integers, decimals as any JSON number, text as
# strings; None (null) where a value may be missing.
_JSON_TYPES = {"integer": (int,), "optional integer": (int, type(None)),
               "decimal": (float, int, type(None)), "text": (str, type(None)),
               "switch": (str,), "optional switch": (str, type(None)), "power": (str,)}
_ACCEPTS = {"integer": "an integer", "optional integer": "an integer or nothing",
            "decimal": "a finite number or nothing", "text": "text or nothing",
            "switch": "'on' or 'off'", "optional switch": "'on', 'off' or nothing",
            "power": "'nb' or a number 0 or more, as text"}
# The same in a CSV field, whose empty text is a missing value.
_INTEGER_TEXT = r"-?[0-9]+"
_DECIMAL_TEXT = r"[-+]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][-+]?[0-9]+)?"
_INTEGER_CHARACTERS = set("-0123456789")
_DECIMAL_CHARACTERS = set("-+.0123456789eE")
_INT64 = (-2**63, 2**63 - 1)


class _Unreadable(Exception):
    """What is wrong with line `line` of a rows file."""

    def __init__(self, line, what):
        super().__init__(what)
        self.line, self.what = line, what


def _refuse_constant(name):
    raise _Unreadable(None, f"expects finite numbers, got {name}")


# Refuses NaN and Infinity, which are not JSON.
_DECODER = json.JSONDecoder(parse_constant=_refuse_constant)


def _bad_value(line, name, kind, value):
    return _Unreadable(line, f"{name}: expects {_ACCEPTS[kind]}, got {value!r}")


def _first(values, wrong):
    """The position of the first value for which wrong(value) holds."""
    return next(i for i, v in enumerate(values) if wrong(v))


def _out_of_range(value, kind):
    """Whether a value of a type its column takes is beyond what it holds:
    a whole number past 64 bits, a decimal that is not a finite double."""
    if value is None:
        return False
    if kind != "decimal":
        return not _INT64[0] <= value <= _INT64[1]
    try:
        return not math.isfinite(float(value))
    except OverflowError:
        return True


def _typed_column(name, kind, values, lines):
    """The values of a known column, each of a type its kind allows (see
    _JSON_TYPES), in the column's type; `lines` gives the line of each."""
    if kind == "text":
        return [np.nan if v is None else v for v in values]
    if kind in _SETTING_KINDS:
        return _settings_of(name, kind, values, values, lines)
    try:
        if kind == "decimal":
            column = np.array(values, dtype=float)  # None as NaN
            if np.isinf(column).any():
                raise OverflowError
            return column
        if kind == "integer":
            return np.array(values, dtype=np.int64)
        return pd.array(values, dtype="Int64")
    except OverflowError:
        at = _first(values, lambda v: _out_of_range(v, kind))
        raise _bad_value(lines[at], name, kind, values[at]) from None


def _settings_of(name, kind, texts, shown, lines):
    """A column of setting texts in its frame type; `shown` gives each value
    as an error names it."""
    try:
        return _setting_column(kind, texts)
    except _BadText as e:
        raise _bad_value(lines[e.position], name, kind, shown[e.position]) from None


def _json_records(text):
    """The JSON objects of the lines and the number of each line; blank lines
    are passed over."""
    records, lines = [], []
    for number, line in enumerate(text.split("\n"), start=1):
        if not line or line.isspace():
            continue
        try:
            record = _DECODER.decode(line)
        except _Unreadable as e:
            raise _Unreadable(number, e.what) from None
        except RecursionError:
            raise _Unreadable(number, "not a row: JSON nested too deeply") from None
        except ValueError as e:
            raise _Unreadable(number, f"not JSON: {e}") from None
        if type(record) is not dict:
            raise _Unreadable(number, "not a row: expects a JSON object")
        records.append(record)
        lines.append(number)
    return records, lines


def _json_rows(text):
    """The rows of JSON lines, each a JSON object with the keys of the first."""
    records, lines = _json_records(text)
    if not records:
        return pd.DataFrame({name: [] for name in COLUMNS})
    names = list(records[0])
    keys = records[0].keys()
    # itemgetter gives a tuple for two names or more.
    getter = operator.itemgetter(*names) if len(names) > 1 else \
        lambda r: tuple(r[name] for name in names)
    try:
        if any(len(r) != len(keys) for r in records):
            raise KeyError
        rows = list(map(getter, records))
    except KeyError:
        at = _first(records, lambda r: r.keys() != keys)
        raise _Unreadable(lines[at], f"its fields are not those of line {lines[0]}") from None
    data = {}
    for name, values in zip(names, map(list, zip(*rows))):
        kind = KINDS.get(name)
        if kind is None:
            data[name] = values
            continue
        allowed = _JSON_TYPES[kind]
        if not set(map(type, values)) <= set(allowed):
            at = _first(values, lambda v: type(v) not in allowed)
            raise _bad_value(lines[at], name, kind, values[at])
        data[name] = _typed_column(name, kind, values, lines)
    return pd.DataFrame(data, columns=names)


def _csv_column(name, kind, column, lines):
    """A known column of CSV fields (str, NaN where empty) in its type; each
    number in plain decimal notation."""
    missing = column.isna().to_numpy()
    if kind == "text":
        return column
    if kind in _SETTING_KINDS:
        return _settings_of(name, kind, column.tolist(), column.fillna("").tolist(), lines)
    if kind == "integer" and missing.any():
        at = int(np.flatnonzero(missing)[0])
        raise _bad_value(lines[at], name, kind, "")
    texts = list(itertools.compress(column.tolist(), ~missing))
    at_text = np.flatnonzero(~missing)
    allowed = _DECIMAL_CHARACTERS if kind == "decimal" else _INTEGER_CHARACTERS
    present = np.array(texts, dtype=object)
    try:
        # Only digits, signs, points and exponents get past this check, so
        # float() and int() take nothing but the plain notation.
        if not set("".join(texts)) <= allowed:
            raise ValueError
        if kind == "decimal":
            values = np.full(len(column), np.nan)
            values[~missing] = present.astype(float)
            if np.isinf(values).any():
                raise OverflowError
            return values
        values = np.zeros(len(column), dtype=np.int64)
        values[~missing] = present.astype(np.int64)
    except (ValueError, OverflowError):
        pattern = re.compile(_DECIMAL_TEXT if kind == "decimal" else _INTEGER_TEXT)
        number = float if kind == "decimal" else int
        k = _first(texts, lambda t: not pattern.fullmatch(t) or _out_of_range(number(t), kind))
        raise _bad_value(lines[at_text[k]], name, kind, texts[k]) from None
    return values if kind == "integer" else pd.arrays.IntegerArray(values, missing)


def _csv_rows(text):
    """The rows of CSV text with its header, each field as the runner writes
    it: no quotes, numbers in plain decimal notation, empty where missing."""
    if not text:
        return pd.DataFrame({name: [] for name in COLUMNS})
    try:
        frame = pd.read_csv(io.StringIO(text), dtype={name: str for name in KINDS},
                            keep_default_na=False, na_values=[""], quoting=csv.QUOTE_NONE,
                            skip_blank_lines=False, index_col=False)
    except (ValueError, pd.errors.ParserError) as e:
        raise _Unreadable(None, f"not CSV rows: {e}") from None
    lines = range(2, len(frame) + 2)
    return pd.DataFrame({name: _csv_column(name, KINDS[name], frame[name], lines)
                         if name in KINDS else frame[name] for name in frame.columns})


def read_description(encoded_path):
    """The description at `encoded_path` (bytes) as a dict; None when there
    is no such file. Raises ValueError for one that is not a JSON object."""
    try:
        data = _core.read_file(encoded_path, _core.description_limit)
    except FileNotFoundError:
        return None
    shown = os.fsdecode(encoded_path)
    try:
        description = json.loads(data)
    except RecursionError:
        raise ValueError(f"path: {shown!r} is not a sweep's description: JSON nested too "
                         "deeply") from None
    except ValueError as e:
        raise ValueError(f"path: {shown!r} is not a sweep's description: {e}") from None
    if not isinstance(description, dict):
        raise ValueError(f"path: {shown!r} is not a sweep's description: not a JSON object")
    return description


def read(path: Union[str, bytes, os.PathLike]) -> pd.DataFrame:
    """Reads a rows file of "impactsim sweep" (CSV or JSON lines, told apart
    by the first character) into a data frame with the same column types as
    impactsim.sweep returns; the file's description FILE.meta.json, when there
    is one, goes into df.attrs.

    Only a regular file is read. A last line without its line break (what
    an interrupted sweep or a full disk leaves) is left out with a warning;
    any other line that is not a row, or a value its column cannot hold
    (a whole number's column takes only integers, a decimal's only finite
    numbers, nothing is converted), raises ValueError naming the line.

        df = impactsim.read("sweep.csv")
        df.groupby("distance", observed=True).minority_share_end.mean()
    """
    encoded = os.fsencode(os.fspath(path))
    shown = os.fsdecode(encoded)
    text = _core.read_file(encoded, None)
    if text and not text.endswith(b"\n"):
        kept = text.rfind(b"\n") + 1
        line = text.count(b"\n") + 1
        warnings.warn(f"{shown!r}: line {line} is unfinished (no line break ends it) and is "
                      "left out", stacklevel=2)
        text = text[:kept]
    try:
        try:
            decoded = text.decode()
        except UnicodeDecodeError as e:
            raise _Unreadable(text.count(b"\n", 0, e.start) + 1, "not UTF-8 text") from None
        jsonl = decoded.lstrip()[:1] == "{"
        frame = _typed(_json_rows(decoded) if jsonl else _csv_rows(decoded))
    except _Unreadable as e:
        where = f"line {e.line} of {shown!r}" if e.line is not None else repr(shown)
        raise ValueError(f"path: {where}: {e.what}") from None
    description = read_description(encoded + b".meta.json")
    if description is not None:
        frame.attrs.update(description)
    return frame
