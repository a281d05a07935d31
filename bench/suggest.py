"""Ranked suggestions and typo-tolerant completion, against the peers a user
would otherwise pick, measured side by side in one run, every answer checked.

    bench/setup.sh                       # once: .venv-bench with symspellpy, the project
    .venv-bench/bin/python bench/suggest.py

suggest(q, n=5, max_dist=2) against symspellpy's lookup(q, Verbosity.TOP, 2)
and lookup(q, Verbosity.CLOSEST, 2) on wamerican, 1,000 codespell
misspellings: both hold the same words, and symspellpy's count of a word is
N - its payload (the word's position), so both rank ties alike. Checked: our
first suggestion is TOP's, and our five are CLOSEST's first five (or all of
CLOSEST's, when it has fewer, followed by words further away).

complete(p, n=10, max_dist=1) on 1,000 prefixes of 3 to 6 code points of
dictionary words, against a plain Python walk over get_children that works
out the same rows (optimal string alignment) and ranks what it collects;
the peer answers a subset (it is slow), on which the answers must agree.
"""

from __future__ import annotations

import random
import sys
import time
from collections.abc import Callable

import wordlists
from symspellpy import SymSpell, Verbosity

import quorvatine
from _quorvatine import PrefixSearch

QUERIES = 1000
PEER_PREFIXES = 200
SEED = 14


def best_of(rounds: int, run: Callable[[], object]) -> float:
    """The fastest of `rounds` runs, in seconds."""
    return interleaved(rounds, {"": run})[""]


def interleaved(rounds: int, runs: dict[str, Callable[[], object]]) -> dict[str, float]:
    """The fastest of `rounds` runs of each, in seconds, taken in turn (one of
    each per round), so that a slow spell of a shared machine falls on all
    of them rather than on one."""
    best = dict.fromkeys(runs, float("inf"))
    for _ in range(rounds):
        for label, run in runs.items():
            start = time.perf_counter()
            run()
            best[label] = min(best[label], time.perf_counter() - start)
    return best


def python_complete(trie: PrefixSearch, prefix: str, n: int, max_dist: int) -> list[tuple[str, int, int]]:
    """Completion by a plain walk: each node's alignment row from its parent's
    and grandparent's, a subtree listed whole once no deeper beginning can
    come nearer, everything collected, then sorted."""
    found: list[tuple[str, int, int]] = []
    none = 1 << 30
    stack: list[tuple[int, str, list[int], list[int] | None, int]] = [
        (0, "", list(range(len(prefix) + 1)), None, none)
    ]
    while stack:
        node, text, row, above, best = stack.pop()
        best = min(best, row[-1])
        payload = trie.get_payload(node)
        if text and payload is not None and best <= max_dist:
            found.append((text, payload, best))
        if min(row) > max_dist or best == 0:
            if best <= max_dist:  # the subtree completes at `best`
                pending = [(child, text + ch) for ch, child in trie.get_children(node)]
                while pending:
                    below, key = pending.pop()
                    if (p := trie.get_payload(below)) is not None:
                        found.append((key, p, best))
                    pending.extend((c, key + ch) for ch, c in trie.get_children(below))
            continue
        for ch, child in trie.get_children(node):
            new = [row[0] + 1]
            for j, q in enumerate(prefix, 1):
                cell = min(row[j] + 1, new[j - 1] + 1, row[j - 1] + (q != ch))
                if above is not None and j > 1 and ch == prefix[j - 2] and text[-1] == q:
                    cell = min(cell, above[j - 2] + 1)
                new.append(cell)
            stack.append((child, text + ch, new, row, best))
    found.sort(key=lambda m: (m[2], m[1], m[0]))
    return found[:n]


def suggestions(trie: PrefixSearch, words: list[str], queries: list[str]) -> None:
    index = SymSpell(max_dictionary_edit_distance=2)
    for position, word in enumerate(words):
        index.create_dictionary_entry(word, len(words) - position)
    ours = {q: quorvatine.suggest(trie, q, 5, 2) for q in queries}
    for q in queries:
        top = index.lookup(q, Verbosity.TOP, 2)
        closest = [(s.term, s.distance) for s in index.lookup(q, Verbosity.CLOSEST, 2)]
        mine = [(key, d) for key, _, d in ours[q]]
        if [(s.term, s.distance) for s in top] != mine[:1]:
            raise SystemExit(f"{q!r}: TOP {top}, ours {mine}")
        if mine[: len(closest)] != closest[:5]:
            raise SystemExit(f"{q!r}: CLOSEST {closest[:5]}, ours {mine}")
    times = interleaved(
        5,
        {
            "quorvatine suggest(q, 5, 2)": lambda: [quorvatine.suggest(trie, q, 5, 2) for q in queries],
            "symspellpy lookup(q, TOP, 2)": lambda: [index.lookup(q, Verbosity.TOP, 2) for q in queries],
            "symspellpy lookup(q, CLOSEST, 2)": lambda: [index.lookup(q, Verbosity.CLOSEST, 2) for q in queries],
        },
    )
    print(f"\nsuggestions: {len(queries):,} codespell misspellings, answers checked")
    ours_time = times["quorvatine suggest(q, 5, 2)"]
    for label, seconds in times.items():
        print(f"  {len(queries) / seconds:10,.0f} q/s  {seconds / ours_time:5.2f}x ours' time  {label}")


def completions(trie: PrefixSearch, words: list[str]) -> None:
    rng = random.Random(SEED)
    long_enough = [w for w in words if len(w) >= 3]
    prefixes = [w[: rng.randint(3, min(6, len(w)))] for w in rng.sample(long_enough, QUERIES)]
    checked = prefixes[:PEER_PREFIXES]
    for p in checked:
        mine, plain = quorvatine.complete(trie, p, 10, 1), python_complete(trie, p, 10, 1)
        if mine != plain:
            raise SystemExit(f"{p!r}: complete {mine}, plain walk {plain}")
    ours = best_of(3, lambda: [quorvatine.complete(trie, p, 10, 1) for p in prefixes])
    peer = best_of(1, lambda: [python_complete(trie, p, 10, 1) for p in checked])
    print(f"\ncompletion: {len(prefixes):,} prefixes of 3-6 code points, n=10, max_dist 1")
    print(f"  {len(prefixes) / ours:10,.0f} q/s  quorvatine complete(p, 10, 1)")
    print(
        f"  {len(checked) / peer:10,.0f} q/s  plain Python walk over get_children "
        f"({len(checked)} prefixes, answers equal): {len(prefixes) / ours / (len(checked) / peer):,.0f}x slower"
    )


def main() -> None:
    dictionary = wordlists.load_dictionary("wamerican")
    words = dictionary.words
    trie = quorvatine.build(words)
    print(f"dictionary: {dictionary.describe()}, payload = position")
    suggestions(trie, words, wordlists.queries("typos", dictionary, QUERIES))
    completions(trie, words)
    sys.stdout.flush()


if __name__ == "__main__":
    main()
