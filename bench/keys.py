"""Random multi-word keys: the vocabulary of a fuzzy join over names or
phrases rather than single words. Deterministic: the same count, seed and
word list give the same file.

    python bench/keys.py 1000000 -o build/bench-data/keys-1m.txt
"""

from __future__ import annotations

import argparse
import random
from pathlib import Path

WORDS = Path("/usr/share/dict/american-english")


def write_keys(path: Path, count: int, words_per_key: int = 2, seed: int = 21) -> Path:
    """Writes `count` distinct keys of `words_per_key` words of WORDS
    (possessives left out) joined by spaces, one a line, to `path` unless it
    is there already; returns `path`."""
    if path.exists():
        return path
    rng = random.Random(seed)
    vocabulary = [w for w in WORDS.read_text(encoding="utf-8").split("\n") if w and "'" not in w]
    seen: set[str] = set()
    path.parent.mkdir(parents=True, exist_ok=True)
    temporary = path.with_suffix(".part")
    with open(temporary, "w", encoding="utf-8") as out:
        while len(seen) < count:
            key = " ".join(rng.choice(vocabulary) for _ in range(words_per_key))
            if key not in seen:
                seen.add(key)
                out.write(key + "\n")
    temporary.replace(path)
    return path


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("count", type=int)
    parser.add_argument("-o", "--output", type=Path, required=True)
    parser.add_argument("--words", type=int, default=2, help="words per key (default 2)")
    args = parser.parse_args()
    write_keys(args.output, args.count, args.words)


if __name__ == "__main__":
    main()
