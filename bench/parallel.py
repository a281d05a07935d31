"""Speed-up of `fuzzy_match_many` over a plain loop on this machine's cores.

    .venv/bin/python bench/parallel.py [QUERIES] [MAX_DIST]

Queries are words of the bundled dictionary with one or two random edits
(fixed seed). Both sides answer the same batch; their results are compared.
"""

import os
import random
import sys
import time

import quorvatine
from quorvatine.cli import _load


def misspell(word: str, rng: random.Random) -> str:
    letters = "abcdefghijklmnopqrstuvwxyz"
    for _ in range(rng.randint(1, 2)):
        i = rng.randrange(len(word) + 1)
        op = rng.choice("ids")
        if op == "i":
            word = word[:i] + rng.choice(letters) + word[i:]
        elif op == "d" and len(word) > 1:
            word = word[: max(0, i - 1)] + word[i:]
        else:
            word = word[: max(0, i - 1)] + rng.choice(letters) + word[i:]
    return word


def main() -> None:
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 4000
    max_dist = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    trie = _load(None)
    rng = random.Random(7)
    words = [t for t, _, _ in trie.fuzzy_match("", 6, None)]
    queries = [misspell(rng.choice(words), rng) for _ in range(count)]

    start = time.perf_counter()
    expected = [trie.fuzzy_match(q, max_dist, None) for q in queries]
    loop = time.perf_counter() - start

    start = time.perf_counter()
    got = quorvatine.fuzzy_match_many(trie, queries, max_dist)
    parallel = time.perf_counter() - start

    assert got == expected, "fuzzy_match_many disagrees with the loop"
    cores = os.cpu_count()
    print(
        f"{count} queries, max_dist {max_dist}, {cores} cores: loop {loop:.2f} s, "
        f"fuzzy_match_many {parallel:.2f} s, speed-up {loop / parallel:.2f}x"
    )


if __name__ == "__main__":
    main()
