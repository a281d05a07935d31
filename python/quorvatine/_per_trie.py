"""What is worked out once per trie and kept for the last few tries used
(spelling indexes, word costs), each entry holding its trie so that an id
is never taken for another trie's."""

from __future__ import annotations

from collections import OrderedDict
from collections.abc import Callable
from typing import Generic, Optional, TypeVar

from _quorvatine import PrefixSearch

Made = TypeVar("Made")


class PerTrie(Generic[Made]):
    """``kept(trie)``: ``make(trie)``, made on first use and kept for the
    last `size` tries."""

    def __init__(self, make: Callable[[PrefixSearch], Made], size: int = 4) -> None:
        self._make = make
        self._size = size
        self._kept: OrderedDict[int, tuple[PrefixSearch, Made]] = OrderedDict()
        self._last: Optional[tuple[PrefixSearch, Made]] = None  # the entry used last

    def __call__(self, trie: PrefixSearch) -> Made:
        last = self._last
        if last is not None and last[0] is trie:
            return last[1]  # already the most recent: nothing to reorder
        entry = self._kept.get(id(trie))
        if entry is None or entry[0] is not trie:
            entry = (trie, self._make(trie))
            self._kept[id(trie)] = entry
            while len(self._kept) > self._size:
                self._kept.popitem(last=False)
        elif len(self._kept) > 1:
            self._kept.move_to_end(id(trie))
        self._last = entry
        return entry[1]
