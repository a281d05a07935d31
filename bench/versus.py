"""This tree's lookups against another build of quorvatine (today's main,
say), side by side in one run: fuzzy_match at max_dist 1, 2 and 3 and
suggest(n=5, max_dist=2) on Debian's wbritish-huge, wukrainian and wpolish,
queries per second and the ratio, every answer compared.

    git archive main | tar -x -C /tmp/main && \\
      .venv/bin/pip install --no-build-isolation --no-deps --target /tmp/main-site /tmp/main
    .venv-bench/bin/python bench/versus.py --baseline /tmp/main-site

Each round runs one child per build, in turn; a child builds the trie from
the word list and times one pass of the queries per call. Figures are the
best round of each.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import textwrap
from pathlib import Path

WORD_LISTS = {
    "wbritish-huge": Path("/usr/share/dict/british-english-huge"),
    "wukrainian": Path("/usr/share/dict/ukrainian"),
    "wpolish": Path("/usr/share/dict/polish"),
}
CALLS = ["fuzzy_match 1", "fuzzy_match 2", "fuzzy_match 3", "suggest 5 2"]

CHILD = textwrap.dedent(
    """
    import hashlib, json, random, sys, time
    import quorvatine
    path, count = sys.argv[1], int(sys.argv[2])
    trie = quorvatine.build_word_list(path)
    words = [w for w in open(path, encoding="utf-8").read().split("\\n") if w]
    rng = random.Random(11)
    alphabet = sorted(set("".join(rng.sample(words, 2000))))
    queries = []
    for _ in range(count):
        word = list(rng.choice(words))
        for _ in range(rng.randrange(3)):
            i = rng.randrange(len(word) + 1)
            kind = rng.randrange(3)
            if kind == 0 or not word:
                word.insert(i, rng.choice(alphabet))
            elif i < len(word):
                if kind == 1:
                    del word[i]
                else:
                    word[i] = rng.choice(alphabet)
        queries.append("".join(word))
    calls = {
        "fuzzy_match 1": lambda q: trie.fuzzy_match(q, 1, None),
        "fuzzy_match 2": lambda q: trie.fuzzy_match(q, 2, None),
        "fuzzy_match 3": lambda q: trie.fuzzy_match(q, 3, None),
        "suggest 5 2": lambda q: quorvatine.suggest(trie, q, 5, 2),
    }
    result = {}
    for name, call in calls.items():
        t = time.perf_counter()
        answers = [call(q) for q in queries]
        seconds = time.perf_counter() - t
        result[name] = [seconds, hashlib.sha256(repr(answers).encode()).hexdigest()]
    print(json.dumps(result))
    """
)


def run(site: str | None, path: Path, count: int) -> dict[str, list]:
    env = dict(os.environ)
    if site:
        env["PYTHONPATH"] = site
    out = subprocess.run(
        [sys.executable, "-c", CHILD, str(path), str(count)],
        env=env, check=True, capture_output=True, text=True,
    ).stdout
    return json.loads(out)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--baseline", required=True, help="site directory of the other build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--queries", type=int, default=500)
    parser.add_argument("--dict", choices=sorted(WORD_LISTS), action="append")
    args = parser.parse_args()
    print("| word list | call | this tree (q/s) | baseline (q/s) | ratio |\n|---|---|---|---|---|")
    for name in args.dict or list(WORD_LISTS):
        path = WORD_LISTS[name]
        best: dict[str, dict[str, float]] = {"this": {}, "baseline": {}}
        digests: dict[str, dict[str, str]] = {"this": {}, "baseline": {}}
        for _ in range(args.rounds):
            for who, site in (("this", None), ("baseline", args.baseline)):
                for call, (seconds, digest) in run(site, path, args.queries).items():
                    best[who][call] = min(best[who].get(call, seconds), seconds)
                    digests[who][call] = digest
        for call in CALLS:
            if digests["this"][call] != digests["baseline"][call]:
                raise SystemExit(f"{name}: {call} answers differ from the baseline's")
            ours = args.queries / best["this"][call]
            theirs = args.queries / best["baseline"][call]
            print(f"| {name} | `{call}` | {ours:,.0f} | {theirs:,.0f} | {ours / theirs:.2f}x |")


if __name__ == "__main__":
    main()
