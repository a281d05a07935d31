"""Dictionaries and query sets of the fuzzy-lookup benchmark.

Everything here is deterministic: the same files and seeds give the same
words, queries and order on every run.
"""

from __future__ import annotations

import dataclasses
import random
import re
import subprocess
from pathlib import Path

# name -> (Debian package, file)
DICTIONARIES = {
    "wamerican": ("wamerican", Path("/usr/share/dict/american-english")),
    "wamerican-insane": ("wamerican-insane", Path("/usr/share/dict/american-english-insane")),
    "wngerman": ("wngerman", Path("/usr/share/dict/ngerman")),
}

CODESPELL_FALLBACK = Path("/usr/lib/python3/dist-packages/codespell_lib/data/dictionary.txt")

# A "single word" typo: letters, optionally one inner apostrophe ("doesnt'" and
# "arch-dependet" are left out, "wouldnt" and "are'nt" stay).
_SINGLE_WORD = re.compile(r"[^\W\d_]+(?:'[^\W\d_]+)?")

TYPO_SEED = 5
EDIT_SEED = 7


@dataclasses.dataclass
class Dictionary:
    name: str
    path: Path
    words: list[str]  # deduplicated, in file order; a word's payload is its position
    duplicates: int  # lines dropped as repeats
    empty: int  # empty lines dropped
    non_ascii: int  # words with a code point above U+007F

    @property
    def max_len(self) -> int:
        return max(map(len, self.words))

    def describe(self) -> str:
        extra = []
        if self.duplicates:
            extra.append(f"{self.duplicates:,} repeated lines dropped")
        if self.empty:
            extra.append(f"{self.empty:,} empty line(s) dropped")
        tail = f" ({'; '.join(extra)})" if extra else ""
        return (
            f"{self.name}: {len(self.words):,} words from {self.path}, "
            f"{self.non_ascii:,} with non-ASCII code points, longest {self.max_len} "
            f"code points{tail}"
        )


def load_dictionary(name: str) -> Dictionary:
    """Reads a word list as it is: one word a line, no case folding or
    normalisation; repeats and empty lines are dropped."""
    _, path = DICTIONARIES[name]
    lines = path.read_text(encoding="utf-8").split("\n")
    if lines and lines[-1] == "":
        lines.pop()  # the newline that ends the file
    empty = sum(1 for w in lines if w == "")
    words = list(dict.fromkeys(w for w in lines if w != ""))
    duplicates = len(lines) - empty - len(words)
    non_ascii = sum(1 for w in words if not w.isascii())
    return Dictionary(name, path, words, duplicates, empty, non_ascii)


def codespell_dictionary() -> Path:
    """The installed codespell's dictionary.txt, found through dpkg."""
    try:
        listing = subprocess.run(
            ["dpkg", "-L", "codespell"], capture_output=True, text=True, check=True
        ).stdout.split()
        for line in listing:
            if line.endswith("/codespell_lib/data/dictionary.txt"):
                return Path(line)
    except (OSError, subprocess.CalledProcessError):
        pass
    if CODESPELL_FALLBACK.exists():
        return CODESPELL_FALLBACK
    raise FileNotFoundError("codespell's dictionary.txt not found: run bench/setup.sh")


def misspellings(count: int, seed: int = TYPO_SEED) -> list[str]:
    """`count` distinct single-word typos from codespell's "typo->fix" lines,
    sampled with a fixed seed."""
    typos = []
    for line in codespell_dictionary().read_text(encoding="utf-8").splitlines():
        typo, arrow, _ = line.partition("->")
        if arrow and _SINGLE_WORD.fullmatch(typo):
            typos.append(typo)
    typos = list(dict.fromkeys(typos))
    return random.Random(seed).sample(typos, min(count, len(typos)))


def edited_words(words: list[str], count: int, seed: int = EDIT_SEED) -> list[str]:
    """`count` dictionary words, each with 0, 1 or 2 random edits (insertion,
    deletion or substitution, uniformly), new code points drawn from the
    dictionary's own alphabet weighted by frequency."""
    rng = random.Random(seed)
    alphabet = "".join(rng.sample(words, min(len(words), 5000)))
    queries = []
    for word in rng.sample(words, count):
        chars = list(word)
        for _ in range(rng.randrange(3)):
            op = rng.randrange(3) if chars else 0
            if op == 0:
                chars.insert(rng.randrange(len(chars) + 1), rng.choice(alphabet))
            elif op == 1:
                del chars[rng.randrange(len(chars))]
            else:
                i = rng.randrange(len(chars))
                new = rng.choice(alphabet)
                while new == chars[i]:
                    new = rng.choice(alphabet)
                chars[i] = new
        queries.append("".join(chars))
    return queries


QUERY_SETS = {
    "typos": "codespell misspellings",
    "edits": "dictionary words with 0-2 random edits",
}


def queries(kind: str, dictionary: Dictionary, count: int) -> list[str]:
    if kind == "typos":
        return misspellings(count)
    if kind == "edits":
        return edited_words(dictionary.words, count)
    raise ValueError(kind)
