"""Deliberately naive models for the search tests: a plain Levenshtein table,
a recursive walk over the four node arrays, and a reader of laid-out arrays."""

from __future__ import annotations


def levenshtein(a: str, b: str) -> int:
    """Unit-cost insertions, deletions and substitutions, code point by code point."""
    row = list(range(len(b) + 1))
    for i, x in enumerate(a, start=1):
        previous, row = row, [i]
        for j, y in enumerate(b, start=1):
            row.append(min(previous[j] + 1, row[j - 1] + 1, previous[j - 1] + (x != y)))
    return row[-1]


def children(arrays, node: int) -> list[tuple[str, int]]:
    """(code point, child id) in stored order."""
    shifts, strings, _, child_indices = arrays
    end = shifts[node + 1] if node + 1 < len(shifts) else len(child_indices)
    return [(strings[c][0], c) for c in child_indices[shifts[node] : end]]


def stored_keys(arrays) -> dict[str, int]:
    """Every node below the root that carries a payload, by its text."""
    payloads = arrays[2]
    keys = {}
    pending = [(0, "")]
    while pending:
        node, text = pending.pop()
        if text and payloads[node] is not None:
            keys[text] = payloads[node]
        pending.extend((child, text + ch) for ch, child in children(arrays, node))
    return keys


def preorder(arrays) -> list[int]:
    """Node ids in the order of a walk that takes children in stored order."""
    order = []
    pending = [0]
    while pending:
        node = pending.pop()
        order.append(node)
        pending.extend(reversed([child for _, child in children(arrays, node)]))
    return order


def walk(arrays, query: str, max_dist: int, limit: int | None = None) -> list[tuple[str, int, int]]:
    """What fuzzy_match returns, found by recursion: each node's row from its
    parent's, a node closed when the limit is met or every cell exceeds
    max_dist, and the children that continue the query visited first (all of
    them, in stored order), then the others in stored order."""
    payloads = arrays[2]
    found: list[tuple[str, int, int]] = []

    def is_full() -> bool:
        return limit is not None and len(found) >= limit

    def visit(node: int, text: str, row: list[int]) -> None:
        if text and payloads[node] is not None and row[-1] <= max_dist and not is_full():
            found.append((text, payloads[node], row[-1]))
        if is_full() or min(row) > max_dist:
            return
        depth = len(text)
        kids = children(arrays, node)
        wanted = query[depth] if depth < len(query) else None
        front = [k for k in kids if k[0] == wanted]
        rest = [k for k in kids if k[0] != wanted]
        for ch, child in front + rest:
            next_row = [row[0] + 1]
            for j, q in enumerate(query, start=1):
                next_row.append(min(row[j] + 1, next_row[j - 1] + 1, row[j - 1] + (q != ch)))
            visit(child, text + ch, next_row)

    visit(0, "", list(range(len(query) + 1)))
    return found
