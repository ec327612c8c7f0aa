"""Python values of run settings turned into the texts the engine's settings
table takes ("0.3", "nb", "on"), with TypeError for a value of the wrong type.
The engine itself then checks the text, so every front end accepts the same
values and reports a bad one the same way."""

import numbers
import operator

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


def seed_ranges(seeds):
    """The seeds as (first, last) ranges of consecutive seeds, in order."""
    if _is_integer(seeds):
        seeds = [seeds]
    if isinstance(seeds, range) and seeds.step == 1:
        return [(seeds.start, seeds.stop - 1)] if len(seeds) else []
    try:
        iterator = iter(seeds)
    except TypeError:
        raise _type_error("seeds", "an integer, a range or an iterable of integers", seeds) from None
    ranges = []
    for seed in iterator:
        seed = seed_value(seed)
        if ranges and ranges[-1][1] + 1 == seed:
            ranges[-1][1] = seed
        else:
            ranges.append([seed, seed])
    return [tuple(r) for r in ranges]
