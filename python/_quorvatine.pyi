"""Type stubs of the `_quorvatine` extension module.

The compiled module keeps no docstrings of its own: the ones here are its
documentation (the API reference is built from them).
"""

from collections.abc import Sequence
from typing import SupportsIndex, final

__all__ = ["from_internal_data", "from_bytes", "PrefixSearch"]

@final
class PrefixSearch:
    """A read-only trie of text keys, each with an unsigned 32-bit payload,
    answering fuzzy and exact lookups and node queries.

    Made only by ``from_internal_data`` and ``from_bytes``: the class cannot
    be constructed or subclassed from Python. Instances are immutable and may
    be shared between threads. A key is a node with a payload, other than
    the root; its text is the characters on the path from the root.

    Every method takes its arguments by position or keyword, all required,
    and raises ``TypeError`` for a wrong argument count, an unknown or
    repeated keyword or an argument of the wrong type (the message names the
    parameter), ``OverflowError`` for an integer out of range and
    ``PanicException`` for inconsistent arrays that a query meets (a child
    id past the arrays, a child without a character, a child relation that
    is not a tree); the instance stays unchanged and usable.

    >>> trie = _quorvatine.from_internal_data(
    ...     [0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
    >>> trie.fuzzy_match("c", 1, None)
    [('cd', 5, 1), ('a', 7, 1)]
    """

    def fuzzy_match(
        self, prefix: str, max_dist: SupportsIndex, limit: SupportsIndex | None
    ) -> list[tuple[str, int, int]]:
        """Every key within `max_dist` edits of the whole `prefix`, as
        ``(key, payload, distance)``, at most `limit` of them (``None``: no
        limit).

        Edits are unit-cost insertions, deletions and substitutions
        (Levenshtein; a swap of adjacent characters is two edits). Results
        come in the order a depth-first walk finds them, not sorted by
        distance: at every node the child that continues the query is
        searched first, so the query's own path comes first, and a key
        always comes before the longer keys below it. The walk visits only
        nodes whose keys can still come within reach.

        Raises ``OverflowError`` for `max_dist` or `limit` outside 0 to
        2**64 - 1, ``UnicodeEncodeError`` for a `prefix` holding a lone
        surrogate, ``PanicException`` when the walk meets inconsistent arrays.

        >>> trie = _quorvatine.from_internal_data(
        ...     [0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
        >>> trie.fuzzy_match("cd", 1, None)
        [('cd', 5, 0)]
        >>> trie.fuzzy_match("c", 1, 1)
        [('cd', 5, 1)]
        """

    def exact_match(self, prefix: str) -> tuple[str, int, int] | None:
        """``(prefix, payload, 0)`` for the key equal to `prefix`, or
        ``None`` (also for a text that only begins keys).

        Raises ``UnicodeEncodeError`` for a lone surrogate,
        ``PanicException`` when the descent meets inconsistent arrays.

        >>> trie = _quorvatine.from_internal_data(
        ...     [0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
        >>> trie.exact_match("cd")
        ('cd', 5, 0)
        >>> print(trie.exact_match("c"))
        None
        """

    def get_children(self, node_id: SupportsIndex) -> list[tuple[str, int]]:
        """The children of node `node_id` as ``(character, child_id)``, in
        stored order; node 0 is the root.

        Raises ``OverflowError`` for `node_id` outside 0 to 4294967295,
        ``PanicException`` for a node or child id past the arrays or a child
        without a character.

        >>> trie = _quorvatine.from_internal_data(
        ...     [0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
        >>> trie.get_children(0)
        [('c', 1), ('a', 3)]
        """

    def get_payload(self, node_id: SupportsIndex) -> int | None:
        """The payload of node `node_id`, or ``None`` if it has none.

        Raises ``OverflowError`` for `node_id` outside 0 to 4294967295,
        ``PanicException`` for a node id past the arrays.

        >>> trie = _quorvatine.from_internal_data(
        ...     [0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
        >>> trie.get_payload(2)
        5
        >>> trie.get_payload(9)
        Traceback (most recent call last):
        tovrek_runtime.PanicException: node id 9 not below node_payloads length 4
        """

    def to_bytes(self) -> bytes:
        """The trie's byte form, which ``from_bytes`` reads back: the four
        node arrays one after the other, each a count followed by its
        entries, integers as variable-length little-endian numbers (one byte
        up to 250), characters as UTF-8. There is no header, version or
        checksum.

        >>> trie = _quorvatine.from_internal_data([0, 1], ["", "a"], [None, 7], [1])
        >>> trie.to_bytes()
        b'\\x02\\x00\\x01\\x02\\x00\\x01a\\x02\\x00\\x01\\x07\\x01\\x01'
        """

def from_internal_data(
    node_shifts: Sequence[SupportsIndex],
    node_strings: Sequence[str],
    node_payloads: Sequence[SupportsIndex | None],
    child_indices: Sequence[SupportsIndex],
) -> PrefixSearch:
    """A new ``PrefixSearch`` over four parallel node arrays, taken as they
    are: nothing is validated.

    Node 0 is the root. ``node_strings[i]`` holds the character on the edge
    into node i (its first code point is used; the root's may be ``''``),
    ``node_payloads[i]`` its payload or ``None``, and the children of node i
    are ``child_indices[node_shifts[i]:node_shifts[i + 1]]`` (the last
    node's run to the end of `child_indices`). ``quorvatine.layout`` makes
    these arrays from a list of words. Inconsistent arrays surface as
    ``PanicException`` when a query meets them.

    Raises ``TypeError`` for an argument that is not a sequence of the
    right kind, ``OverflowError`` for a node id or payload outside 0 to
    4294967295, ``UnicodeEncodeError`` for a lone surrogate.

    >>> trie = _quorvatine.from_internal_data([0, 1], ["", "a"], [None, 7], [1])
    >>> trie.exact_match("a")
    ('a', 7, 0)
    """

def from_bytes(bs: Sequence[SupportsIndex]) -> PrefixSearch:
    """A new ``PrefixSearch`` from the byte form written by
    ``PrefixSearch.to_bytes``, given as ``bytes``, ``bytearray`` or a
    sequence of ints from 0 to 255. Bytes after the fourth array are
    ignored; never reserves more memory than the input could fill.

    Raises ``PanicException`` for bytes that are not a byte form (the
    message says why), ``TypeError`` for another type, ``OverflowError``
    for an int outside 0 to 255.

    >>> trie = _quorvatine.from_internal_data([0, 1], ["", "a"], [None, 7], [1])
    >>> _quorvatine.from_bytes(trie.to_bytes()).exact_match("a")
    ('a', 7, 0)
    >>> _quorvatine.from_bytes(b"\\xfd")
    Traceback (most recent call last):
    tovrek_runtime.PanicException: cannot decode trie bytes: UnexpectedEnd { additional: 8 }
    """
