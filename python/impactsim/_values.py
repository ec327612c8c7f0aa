"""Python values of arguments turned into the texts the engine takes ("0.3",
"nb", "on", "0-99"), with TypeError for a value of the wrong type. The engine
itself then checks the text, so every front end accepts the same values and
reports a bad one the same way."""

import numbers
import operator
import os

from . import _core

SETTINGS = {entry["name"]: entry for entry in _core.settings()}
PROGRAMS = {entry["name"]: entry for entry in _core.programs()}


def _is_integer(value):
    return isinstance(value, numbers.Integral) and not isinstance(value, bool)


def _type_error(name, accepts, value):
    return TypeError(f"{name}: expects {accepts}, got {type(value).__name__} {value!r}")


def setting_text(name, value):
    """The text of one value of setting `name`, e.g. ("edge", True) -> "on"."""
    entry = SETTINGS[name]
    if entry["switch"]:
        # numpy's bool_ is not a bool; take it too, but not 0 and 1.
        if isinstance(value, bool) or type(value).__name__ == "bool_":
            return "on" if value else "off"
        if isinstance(value, str):
            return value
        raise _type_error(name, entry["accepts"], value)
    if not entry["items"]:  # a range of integers
        if _is_integer(value):
            return str(operator.index(value))
        raise _type_error(name, entry["accepts"], value)
    if isinstance(value, str):
        return value
    if entry["number"] and isinstance(value, numbers.Real) and not isinstance(value, bool):
        return repr(float(value))
    if not entry["number"] and _is_integer(value):
        return str(operator.index(value))
    raise _type_error(name, entry["accepts"], value)


def setting_texts(values, lists):
    """The given settings as {name: [text, ...]}; None means the default.
    With `lists`, a value may also be a list, tuple or range of values."""
    texts = {}
    for name, value in values.items():
        if value is None:
            continue
        if lists and isinstance(value, (list, tuple, range)):
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
    if lists and isinstance(program, (list, tuple)):
        for name in program:
            if not isinstance(name, str):
                raise _type_error("program", "a program name", name)
        return list(program)
    accepts = "a program name" + (" or a list of them" if lists else "")
    raise _type_error("program", accepts, program)


def seed_value(seed):
    if not _is_integer(seed):
        raise _type_error("seed", "an integer", seed)
    return operator.index(seed)


def _ranges(name, values):
    """Integers as (first, last) ranges of consecutive ones, in order."""
    if _is_integer(values):
        values = [values]
    if isinstance(values, range) and values.step == 1:
        return [(values.start, values.stop - 1)] if len(values) else []
    try:
        iterator = iter(values)
    except TypeError:
        raise _type_error(name, "an integer, a range or an iterable of integers", values) from None
    ranges = []
    for value in iterator:
        if not _is_integer(value):
            raise _type_error(name.rstrip("s"), "an integer", value)
        value = operator.index(value)
        if ranges and ranges[-1][1] + 1 == value:
            ranges[-1][1] = value
        else:
            ranges.append([value, value])
    return [tuple(r) for r in ranges]


def seed_ranges(seeds):
    """The seeds as (first, last) ranges of consecutive seeds, in order."""
    return _ranges("seeds", seeds)


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
