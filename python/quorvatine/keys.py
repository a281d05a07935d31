"""A read-only view of a trie as a collection of keys with payloads."""

from __future__ import annotations

from collections.abc import Iterator

from _quorvatine import PrefixSearch

from . import _native


class Dictionary:
    """The keys of `trie`: ``len(d)`` counts them, ``word in d`` is an exact
    match, iterating gives the keys and ``d.items()`` the (key, payload)
    pairs, both in stored pre-order (a key before the longer keys it begins,
    siblings in stored order; code-point order for tries from ``build``).

    The keys are those ``fuzzy_match`` and ``exact_match`` can report: nodes
    with a payload, never the root. Iteration and ``len`` walk the whole trie
    natively once per call (``len`` only on its first call, since the trie
    never changes), with the interpreter lock released; the pairs come as
    one list, as the walk cannot stop halfway. On arrays that are no tree
    (``from_internal_data`` validates nothing) they raise the walk's
    ``PanicException``, as a ``fuzzy_match`` that reaches the bad node does.
    Passing anything but a ``PrefixSearch`` is a ``TypeError``.

    >>> keys = quorvatine.Dictionary(quorvatine.build(["cat", "car", "cart"]))
    >>> len(keys), "cart" in keys, "ca" in keys
    (3, True, False)
    >>> list(keys)
    ['car', 'cart', 'cat']
    >>> keys.items()
    [('car', 1), ('cart', 2), ('cat', 0)]
    """

    __slots__ = ("_trie", "_count")

    def __init__(self, trie: PrefixSearch) -> None:
        if not isinstance(trie, PrefixSearch):
            raise TypeError(f"Dictionary needs a PrefixSearch, not {type(trie).__name__}")
        self._trie = trie
        self._count: int | None = None

    @property
    def trie(self) -> PrefixSearch:
        """The trie this views (fixed: the kept count belongs to it)."""
        return self._trie

    def __len__(self) -> int:
        if self._count is None:
            self._count = _native.key_count(self.trie)
        return self._count

    def __contains__(self, word: object) -> bool:
        # Like a dict of str keys: any other object is simply absent. So is a
        # str holding a lone surrogate, which no stored key can hold.
        if not isinstance(word, str):
            return False
        try:
            return self.trie.exact_match(word) is not None
        except UnicodeEncodeError:
            return False

    def __iter__(self) -> Iterator[str]:
        return (key for key, _ in _native.items(self.trie))

    def items(self) -> list[tuple[str, int]]:
        """Every (key, payload) pair, in stored pre-order."""
        return _native.items(self.trie)

    def __repr__(self) -> str:
        # No walk: a representation must not fail on a trie that is no tree.
        return f"quorvatine.Dictionary({self._trie!r})"
