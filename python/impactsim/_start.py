"""The start population impactsim.run takes (start=...), checked and put in
the form the engine takes."""

import os

import numpy as np


_START_KEYS = ("opinions", "persuasiveness", "supportiveness")
MAX_OPINIONS = 16  # the most opinions a run may have


def _start_array(name, value, low, high, shape):
    """One array of a start population, checked, as bytes row by row."""
    array = np.asarray(value)
    if not np.issubdtype(array.dtype, np.integer):
        raise ValueError(f"start: {name} expects integers, got dtype {array.dtype}")
    if array.ndim != 2 or array.shape[0] != array.shape[1] or array.shape[0] == 0:
        raise ValueError(f"start: {name} expects a square (side, side) array, "
                         f"got shape {array.shape}")
    if shape is not None and array.shape != shape:
        raise ValueError(f"start: {name} expects the opinions' shape {shape}, "
                         f"got {array.shape}")
    bad = (array < low) | (array > high)
    if bad.any():
        y, x = (int(i) for i in np.argwhere(bad)[0])
        raise ValueError(f"start: {name} expects values {low}..{high}, got {array[y, x]} "
                         f"at [{y}, {x}]")
    return np.ascontiguousarray(array, dtype=np.uint8).tobytes()


def start_argument(start):
    """The start population as the engine takes it: None, a path, or
    (side, opinions, persuasiveness, supportiveness) as bytes."""
    if start is None:
        return None
    if isinstance(start, (str, os.PathLike)):
        path = os.fspath(start)
        return path if isinstance(path, str) else os.fsdecode(path)
    if isinstance(start, dict):
        unknown = sorted(set(start) - set(_START_KEYS))
        if unknown or "opinions" not in start:
            raise ValueError("start: expects a dict of opinions and, optionally, persuasiveness "
                             f"and supportiveness, got keys {sorted(start)}")
        parts = [start.get(key) for key in _START_KEYS]
    elif isinstance(start, tuple):
        if len(start) not in (1, 3):
            raise ValueError("start: expects (opinions,) or (opinions, persuasiveness, "
                             f"supportiveness), got a tuple of {len(start)}")
        parts = list(start) + [None] * (3 - len(start))
    else:
        parts = [start, None, None]
    if (parts[1] is None) != (parts[2] is None):
        raise ValueError("start: expects both persuasiveness and supportiveness, or neither")
    # Opinions above the run's own count are refused by the run, which knows it.
    opinions = _start_array("opinions", parts[0], 1, MAX_OPINIONS, None)
    side = np.asarray(parts[0]).shape[0]
    strengths = [None if part is None else _start_array(name, part, 0, 100, (side, side))
                 for name, part in zip(_START_KEYS[1:], parts[1:])]
    return (side, opinions, *strengths)


def sweep_start_files(start):
    """A sweep's start files as the engine takes them: a list of paths (a
    sweep starts from files only, as its rows name each by its digest)."""
    items = [start] if isinstance(start, (str, os.PathLike)) else start
    if not isinstance(items, (list, tuple)) or \
            not all(isinstance(item, (str, os.PathLike)) for item in items):
        raise TypeError("start: a sweep takes a start file's path or a list of paths, got "
                        f"{type(start).__name__}; to start from arrays, use impactsim.run()")
    if not items:
        raise ValueError("start: expects at least one value, got an empty list")
    paths = [start_argument(item) for item in items]
    for path in paths:
        if "," in path:
            raise ValueError(f"start: a sweep cannot take a file name holding a comma, got "
                             f"{path!r}")
    return paths
