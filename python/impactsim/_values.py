"""Python values of arguments turned into the texts the engine takes ("0.3",
"nb", "on", "0-99"), with TypeError for a value of the wrong type. The engine
itself then checks the text, so every front end accepts the same values and
reports a bad one the same way."""

import decimal
import itertools
import numbers
import operator
import os

from . import _core
from ._spread import Spread

SETTINGS = {entry["name"]: entry for entry in _core.settings()}
PROGRAMS = {entry["name"]: entry for entry in _core.programs()}


def _is_integer(value):
    return isinstance(value, numbers.Integral) and not isinstance(value, bool)


def _type_error(name, accepts, value):
    return TypeError(f"{name}: expects {accepts}, got {type(value).__name__} {value!r}")


def _decimal_text(value):
    """A real number in plain digits, the shortest that reads back as the
    same float: 0.5 -> "0.5", 1e-05 -> "0.00001", 2.0 -> "2.0"; an integer
    as its digits."""
    if _is_integer(value):
        return str(operator.index(value))
    return format(decimal.Decimal(repr(float(value))), "f")


def _is_real(value):
    return isinstance(value, numbers.Real) and not _is_bool(value)


def _is_scope_pair(value):
    """Whether a value is one ring scope given as a pair (R, C)."""
    return isinstance(value, tuple) and len(value) == 2 and all(map(_is_real, value))


def _is_shares(value):
    """Whether a value is one set of initial shares given as a tuple of reals."""
    return isinstance(value, tuple) and len(value) > 0 and all(map(_is_real, value))


def _shares_text(value):
    if isinstance(value, str):
        return value
    if _is_shares(value):
        return ":".join(map(_decimal_text, value))
    return None


def _switch_text(value):
    # numpy's bool_ is not a bool; take it too, but not 0 and 1.
    if _is_bool(value):
        return "on" if value else "off"
    return value if isinstance(value, str) else None


def _integer_text(value):
    return str(operator.index(value)) if _is_integer(value) else None


def _number_text(value):
    if isinstance(value, str):
        return value
    return _decimal_text(value) if _is_real(value) else None


def _scope_text(value):
    if isinstance(value, str):
        return value
    if _is_scope_pair(value) and _is_integer(value[0]):
        return f"{operator.index(value[0])}:{_decimal_text(value[1])}"
    return None


def _word_text(value):
    return value if isinstance(value, str) else None


# The text of a Python value of each form of setting, or None for a value
# of another type.
_TEXT_OF_FORM = {"switch": _switch_text, "integer": _integer_text, "decimal": _number_text,
                 "power": _number_text, "scope": _scope_text, "shares": _shares_text,
                 "text": _word_text}

# What each form takes beyond the engine's texts, for TypeError.
_PYTHON_ACCEPTS = {"scope": "a pair (R, C) or ", "shares": "a tuple (s1, ..., sK) or "}


def python_accepts(entry):
    """What a setting takes in Python, e.g. "a pair (R, C) or R,C or R:C ..."."""
    return _PYTHON_ACCEPTS.get(entry["form"], "") + entry["accepts"]


def setting_text(name, value):
    """The text of one value of setting `name`, e.g. ("edge", True) -> "on",
    ("scope", (17, 10)) -> "17:10"; TypeError for a value of the wrong type."""
    entry = SETTINGS[name]
    text = _TEXT_OF_FORM[entry["form"]](value)
    if text is None:
        raise _type_error(name, python_accepts(entry), value)
    return text


def _is_list(value):
    """Whether a value is a list of values: a list, tuple or range, or an
    array of one dimension (NumPy's, or a pandas Series, Index or the
    unique() of a frame's column)."""
    return isinstance(value, (list, tuple, range)) or getattr(value, "ndim", None) == 1


def setting_texts(values, lists):
    """The given settings as {name: [text, ...]}; None means the default.
    With `lists`, a value may also be a list of values (see _is_list); a
    pair (R, C) of a scope is one value, a list of pairs a list of them, and
    so are a tuple of initial shares and a list of tuples."""
    texts = {}
    for name, value in values.items():
        if value is None:
            continue
        form = SETTINGS[name]["form"]
        one = (form == "scope" and _is_scope_pair(value)) or (form == "shares" and _is_shares(value))
        if lists and _is_list(value) and not one:
            if len(value) == 0:
                raise ValueError(f"{name}: expects at least one value, got an empty list")
            texts[name] = [setting_text(name, v) for v in value]
        else:
            texts[name] = [setting_text(name, value)]
    return texts


def program_names(program, lists):
    """The program names given, as a list."""
    if isinstance(program, str):
        return [program]
    if lists and _is_list(program) and not isinstance(program, range):
        program = list(program)
        for name in program:
            if not isinstance(name, str):
                raise _type_error("program", "a program name", name)
        return program
    accepts = "a program name" + (" or a list of them" if lists else "")
    raise _type_error("program", accepts, program)


def seed_value(seed):
    """The seed of a run, an integer 0..seeds_per_day - 1 of any Python size
    (too large for the engine's integers is out of range too)."""
    if not _is_integer(seed):
        raise _type_error("seed", "an integer", seed)
    seed = operator.index(seed)
    if not 0 <= seed < _core.seeds_per_day:
        raise ValueError(f"seed: expects a seed 0..{_core.seeds_per_day - 1}, got {seed}")
    return seed


class _Once:
    """Values 0..limit - 1, each allowed once, checked as they are read: the
    first out of range or given again is refused, so that even an endless
    iterable is refused by the time it has given `limit` values."""

    def __init__(self, name, limit):
        self.name, self.limit = name, limit
        self.highest = -1  # while each value so far was above all before it
        self.seen = None   # a bit per value, made once one was not

    def rising(self, chunk):
        """Whether the values are plain ints, each one more than the one
        before, above all so far and in range: none of them can repeat."""
        first, count = chunk[0], len(chunk)
        if self.seen is not None or type(first) is not int:
            return False
        if not self.highest < first <= self.limit - count:
            return False
        if set(map(type, chunk)) != {int} or chunk != list(range(first, first + count)):
            return False
        self.highest = first + count - 1
        return True

    def check(self, value, ranges):
        """Checks one more value; `ranges` hold every value before it."""
        if not 0 <= value < self.limit:
            raise ValueError(f"{self.name}: expects {self.name} 0..{self.limit - 1}, "
                             f"got '{value}'")
        if self.seen is None:
            if value > self.highest:
                self.highest = value
                return
            self.seen = bytearray((self.limit + 7) // 8)
            for first, last in ranges:
                self._mark(first, last)
        byte, bit = value >> 3, 1 << (value & 7)
        if self.seen[byte] & bit:
            raise ValueError(f"{self.name}: expects each {self.name.rstrip('s')} once, "
                             f"got {value} again")
        self.seen[byte] |= bit

    def _mark(self, first, last):
        seen = self.seen
        while first <= last and first & 7:
            seen[first >> 3] |= 1 << (first & 7)
            first += 1
        while first <= last and (last + 1) & 7:
            seen[last >> 3] |= 1 << (last & 7)
            last -= 1
        if first <= last:
            seen[first >> 3:(last >> 3) + 1] = b"\xff" * ((last >> 3) + 1 - (first >> 3))


def _extend(ranges, first, last):
    if ranges and ranges[-1][1] + 1 == first:
        ranges[-1][1] = last
    else:
        ranges.append([first, last])


def _ranges(name, values, once=None):
    """Integers as (first, last) ranges of consecutive ones, in order. Text
    (str, bytes) is not taken for its characters. With `once`, each value
    read from an iterable is checked by it as it is read; the iterable is
    read in chunks, a run of consecutive ones taken at once."""
    accepts = "an integer, a range or an iterable of integers"
    if _is_integer(values):
        values = [values]
    if isinstance(values, range) and values.step == 1:
        return [(values.start, values.stop - 1)] if len(values) else []
    if isinstance(values, (str, bytes, bytearray, memoryview)):
        raise _type_error(name, accepts, values)
    try:
        iterator = iter(values)
    except TypeError:
        raise _type_error(name, accepts, values) from None
    ranges = []
    for chunk in iter(lambda: list(itertools.islice(iterator, 1 << 16)), []):
        if once is not None and once.rising(chunk):
            _extend(ranges, chunk[0], chunk[-1])
            continue
        for value in chunk:
            if not _is_integer(value):
                raise _type_error(name.rstrip("s"), "an integer", value)
            value = operator.index(value)
            if once is not None:
                once.check(value, ranges)
            _extend(ranges, value, value)
    return [tuple(r) for r in ranges]


def seed_ranges(seeds):
    """The seeds as (first, last) ranges of consecutive seeds, in order. An
    iterable is read no further than its first seed out of range or given
    again, and so never past seeds_per_day + 1 values: an endless one is
    refused, not read for ever."""
    return _ranges("seeds", seeds, _Once("seeds", _core.seeds_per_day))


def _range_items(ranges):
    return [str(a) if a == b else f"{a}-{b}" for a, b in ranges]


def _integer_item(name, value):
    if not _is_integer(value):
        raise _type_error(name, "None or an integer", value)
    return [str(operator.index(value))]


def _path_item(name, value):
    if not isinstance(value, (str, bytes, os.PathLike)):
        raise _type_error(name, "None or a path", value)
    return [os.fsencode(os.fspath(value))]


def _is_bool(value):
    return isinstance(value, bool) or type(value).__name__ == "bool_"


def sweep_arguments(program, seeds, settings, jobs, stop_on_cycle, out, series, format, resume,
                    shard):
    """The arguments of impactsim.sweep as the engine reads them: each
    argument's values as text items, by name."""
    arguments = {"program": program_names(program, lists=True)}
    arguments.update(setting_texts(settings, lists=True))
    if seeds is None:
        raise TypeError("seeds: required: an integer, a range or an iterable of integers")
    if isinstance(seeds, Spread):
        arguments["seeds"] = [seeds.item]
    else:
        arguments["seeds"] = _range_items(seed_ranges(seeds))
    for name, value in (("jobs", jobs), ("stop_on_cycle", stop_on_cycle)):
        if value is not None:
            arguments[name] = _integer_item(name, value)
    for name, value in (("out", out), ("series", series)):
        if value is not None:
            arguments[name] = _path_item(name, value)
    if not isinstance(format, str):
        raise _type_error("format", "'csv' or 'jsonl'", format)
    arguments["format"] = [format]
    if not _is_bool(resume):
        raise _type_error("resume", "True or False", resume)
    if resume:
        arguments["resume"] = []
    if shard is not None:
        if isinstance(shard, tuple) and len(shard) == 2 and all(map(_is_integer, shard)):
            shard = f"{operator.index(shard[0])}/{operator.index(shard[1])}"
        if not isinstance(shard, str):
            raise _type_error("shard", "None, 'K/N' or a pair (K, N)", shard)
        arguments["shard"] = [shard]
    return arguments


def verify_arguments(path, sample, tasks, jobs):
    """The arguments of impactsim.verify as the engine reads them."""
    arguments = {"file": _path_item("path", path)}
    if sample is not None:
        arguments["sample"] = _integer_item("sample", sample)
    if tasks is not None:
        arguments["tasks"] = _range_items(_ranges("tasks", tasks))
    if jobs is not None:
        arguments["jobs"] = _integer_item("jobs", jobs)
    return arguments
