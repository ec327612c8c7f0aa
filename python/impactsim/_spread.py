"""Seeds spread over the whole day, as "impactsim sweep --seeds spread:N"
takes them: one seed in each of N equal parts of the day, at an offset the
engine computes from the part's number and the key alone."""

import bisect
import collections.abc
import numbers
import operator

from . import _core

_KEYS = 2**32
_CHUNK = 1 << 16


def _whole(name, value, low, high):
    if not isinstance(value, numbers.Integral) or isinstance(value, bool):
        raise TypeError(f"{name}: expects an integer, got {type(value).__name__} {value!r}")
    value = operator.index(value)
    if not low <= value <= high:
        raise ValueError(f"{name}: expects an integer {low}..{high}, got {value}")
    return value


class Spread(collections.abc.Sequence):
    """The seeds of impactsim.spread(n, key): ascending, distinct ints."""

    __slots__ = ("_n", "_key")

    def __init__(self, n, key=0):
        self._n = _whole("n", n, 1, _core.seeds_per_day)
        self._key = _whole("key", key, 0, _KEYS - 1)

    @property
    def item(self):
        """The text "--seeds" takes for these seeds: "spread:N" or "spread:N:K"."""
        return f"spread:{self._n}" + (f":{self._key}" if self._key else "")

    def __len__(self):
        return self._n

    def __getitem__(self, index):
        if isinstance(index, slice):
            return [self[i] for i in range(*index.indices(self._n))]
        i = operator.index(index)
        if i < 0:
            i += self._n
        if not 0 <= i < self._n:
            raise IndexError("spread index out of range")
        return _core.spread_seeds(self._n, self._key, i, 1)[0]

    def __iter__(self):
        for first in range(0, self._n, _CHUNK):
            yield from _core.spread_seeds(self._n, self._key, first,
                                          min(_CHUNK, self._n - first))

    def __contains__(self, seed):
        if not isinstance(seed, numbers.Integral) or isinstance(seed, bool):
            return False
        i = bisect.bisect_left(self, seed)
        return i < self._n and self[i] == seed

    def __eq__(self, other):
        if not isinstance(other, Spread):
            return NotImplemented
        return (self._n, self._key) == (other._n, other._key)

    def __hash__(self):
        return hash((Spread, self._n, self._key))

    def __repr__(self):
        return f"impactsim.spread({self._n}" + (f", key={self._key})" if self._key else ")")


def spread(n, key=0):
    """`n` seeds (1..86400000) spread over the whole day, as
    "impactsim sweep --seeds spread:N:KEY" takes them: seed i lies in the
    i-th of n equal parts of the day, so the seeds ascend and never repeat.
    A key (0..2**32 - 1) picks another, independent set. Consecutive or
    evenly spaced seeds give patterned start populations; spread ones do not,
    so use them wherever it matters where the opinions lie.

        df = impactsim.sweep(seeds=impactsim.spread(1000))
    """
    return Spread(n, key)
