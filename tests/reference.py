"""Deliberately naive models for the tests: plain Levenshtein and alignment tables, a
recursive walk over the four node arrays, a reader of laid-out arrays, and a
plain layout of words into arrays."""

from __future__ import annotations

import math
import os.path


def layout(words) -> tuple[list[int], list[str], list[int | None], list[int]]:
    """The four node arrays of the trie holding `words` (a dict of word to
    payload, or words whose payload is their first position), the plain way:
    the distinct words in code-point order each add a chain of nodes for the
    part past what they share with the word before, so ids are pre-order."""
    entries = dict(words) if isinstance(words, dict) else {}
    if not isinstance(words, dict):
        for position, word in enumerate(words):
            entries.setdefault(word, position)
    strings: list[str] = [""]
    payloads: list[int | None] = [None]
    parents = [0]
    path = [0]  # the node at each depth of the previous word
    previous = ""
    for word in sorted(entries):
        shared = len(os.path.commonprefix([previous, word]))
        del path[shared + 1 :]
        for ch in word[shared:]:
            parents.append(path[-1])
            path.append(len(strings))
            strings.append(ch)
            payloads.append(None)
        payloads[path[-1]] = entries[word]
        previous = word
    # A stable sort by parent groups the children, each group in id order.
    child_indices = sorted(range(1, len(strings)), key=parents.__getitem__)
    counts = [0] * len(strings)
    for node in child_indices:
        counts[parents[node]] += 1
    shifts = [0]
    for count in counts[:-1]:
        shifts.append(shifts[-1] + count)
    return shifts, strings, payloads, child_indices


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


def osa(a: str, b: str) -> int:
    """Optimal string alignment: Levenshtein's edits and the swap of two
    adjacent code points, each costing 1, no part edited twice."""
    d = [[i + j if i == 0 or j == 0 else 0 for j in range(len(b) + 1)] for i in range(len(a) + 1)]
    for i in range(1, len(a) + 1):
        for j in range(1, len(b) + 1):
            d[i][j] = min(d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1]))
            if i > 1 and j > 1 and a[i - 1] == b[j - 2] and a[i - 2] == b[j - 1]:
                d[i][j] = min(d[i][j], d[i - 2][j - 2] + 1)
    return d[-1][-1]


def ranked(found, n: int, scores=None) -> list[tuple[str, int, int]]:
    """(key, payload, distance) sorted nearest first, then by score
    (descending) or payload, then key; the first n."""
    if scores is None:
        found = sorted(found, key=lambda m: (m[2], m[1], m[0]))
    else:
        found = sorted(found, key=lambda m: (m[2], -scores[m[1]], m[0]))
    return found[:n]


def suggest(words, word: str, n: int, max_dist: int, swaps: bool, scores=None, ignore_case=False):
    """The n best keys within max_dist of `word`, from every key; with
    ignore_case, compared lower-cased and written in the word's case."""
    distance = osa if swaps else levenshtein
    fold = str.lower if ignore_case else str
    found = [(k, p, distance(fold(k), fold(word))) for k, p in words.items()]
    return in_case(word, ranked([m for m in found if m[2] <= max_dist], None, scores), n, ignore_case)


def complete(words, prefix: str, n: int, max_dist: int, swaps: bool, scores=None, ignore_case=False):
    """The n best keys by the distance of their nearest beginning to `prefix`."""
    distance = osa if swaps else levenshtein
    fold = str.lower if ignore_case else str
    found = [
        (k, p, min(distance(fold(k[:end]), fold(prefix)) for end in range(len(k) + 1)))
        for k, p in words.items()
    ]
    return in_case(prefix, ranked([m for m in found if m[2] <= max_dist], None, scores), n, ignore_case)


def in_case(query: str, found, n: int, ignore_case: bool):
    """The first n of `found`; with ignore_case, each key in the query's case
    (all capitals, or a capital first letter onto a small one), and a key that
    then reads as an earlier one left out."""
    if not ignore_case:
        return found[:n]
    out, seen = [], set()
    for key, payload, d in found:
        if len(query) > 1 and query.isupper():
            key = key.upper()
        elif query[:1].isupper() and key[:1].islower():
            key = key[:1].upper() + key[1:]
        if key not in seen:
            seen.add(key)
            out.append((key, payload, d))
    return out[:n]


def word_cost(payload: int, counts=None) -> float:
    """What a key costs a text: log(N / count) by counts per payload (N their
    sum, 0 read as half the rarest count), else log(payload + 2) + 2.49."""
    if not counts or not sum(counts):
        return math.log(payload + 2) + 2.49
    floor = max(min(c for c in counts if c) / 2, 0.5)
    return math.log(sum(counts)) - math.log(max(counts[payload], floor))


def segmentation_cost(words: dict[str, int], text: str, max_dist: int, costs, cuts=(), fixed=(),
                      counts=None, pairs=None, before=None, after=None):
    """The least cost of any cut of `text` into pieces, each a key within its
    allowed edits (at most 1 for a piece beginning inside a word or at a
    fixed piece, none for one beginning inside a fixed piece), a fixed piece
    ((start, end, cost[, payload[, written]])) or a kept run of at most 64
    characters, by trying every set of cuts. With `pairs` ((first, second)
    payloads to a cost), a key right after another (or after `before`, or
    before `after`) costs the lesser of its own cost and the pair's, unless
    its piece begins or ends inside a written fixed piece (then it pairs
    with nothing)."""
    per_edit, kept, per_char, split, join = costs
    fixed = [tuple(f) + (None, False)[len(f) - 3:] for f in fixed]
    pairs = pairs or {}
    sealed = {k for s, e, _, _, w in fixed if w for k in range(s + 1, e)}

    def paired(first, second, alone):
        return min(alone, pairs.get((first, second), alone))

    n = len(text)
    best = math.inf
    for mask in range(1 << max(n - 1, 0)):
        ends = [k for k in range(1, n) if mask >> (k - 1) & 1] + [n]
        ways, start = {before: 0.0}, 0  # the least cost by the last piece's key
        for end in ends:
            radius = max_dist if (start == 0 or start in cuts) and not any(
                f[0] == start for f in fixed) else min(max_dist, 1)
            radius = 0 if any(f[0] < start < f[1] for f in fixed) else radius
            piece = text[start:end]
            options = [(kept + per_char * len(piece), None)] if len(piece) <= 64 else []
            options += [(f[2], f[3]) for f in fixed if (f[0], f[1]) == (start, end)]
            for key, payload in words.items():
                d = osa(key, piece)
                allowed = min(len(key), len(piece))
                allowed = 0 if allowed <= 2 else 1 if allowed <= 4 else 2 if allowed <= 8 else 3
                if d <= min(radius, allowed):
                    options.append((word_cost(payload, counts) + d * per_edit, payload))
            cut_cost = join * sum(1 for c in cuts if start < c < end)
            cut_cost += split if end < n and end not in cuts else 0.0
            following: dict = {}
            cut_in = start in sealed or end in sealed
            for last, so_far in ways.items():
                for cost, payload in options:
                    if payload is not None and not cut_in:
                        alone = word_cost(payload, counts)
                        cost += paired(last, payload, alone) - alone
                        if end == n and after is not None:
                            next_cost = word_cost(after, counts)
                            cost += paired(payload, after, next_cost) - next_cost
                    total = so_far + cost + cut_cost
                    ending = None if cut_in else payload
                    following[ending] = min(following.get(ending, math.inf), total)
            ways, start = following, end
        best = min([best, *ways.values()])
    return best if n else 0.0
