"""Derives the spelling ranker's edit weights (src/prefix/spell/error_model.hpp)
from codespell's main typo list: how often each kind of single edit turns a
word into a real misspelling, per chance it had to.

    apt-get install codespell      # or: pip install codespell
    python scripts/error_weights.py

For every "typo->word" line with one correction that is one edit away
(adjacent swaps counting one), the edit is classed as the ranker classes it;
each class's rate is its count divided by its opportunities over the same
intended words (a doubling has one per letter, a swap one per pair of unlike
neighbours, a vowel for a vowel four per vowel, and so on). A class's weight
is 1 - s ln(rate / rate of a plain substitution), with s chosen so that the
most frequent class costs 0.4; the weights print in the header's order.
The first-letter factor compares the rate of edits at the first letter with
the rate elsewhere.
"""

from __future__ import annotations

import math
import subprocess
import sys
from collections import Counter
from pathlib import Path

VOWELS = set("aeiouy")
ROWS = ("qwertyuiop", "asdfghjkl", "zxcvbnm")
SOUND_PAIRS = ("ck", "cs", "sz", "iy", "fv", "gj", "mn", "dt", "bp")
LETTERS = "abcdefghijklmnopqrstuvwxyz"


def place(c: str) -> tuple[int, int]:
    for r, row in enumerate(ROWS):
        if c in row:
            return r, 2 * row.index(c) + r
    return -1, 0


def neighbours(a: str, b: str) -> bool:
    (ra, ca), (rb, cb) = place(a), place(b)
    if ra < 0 or rb < 0:
        return False
    return (ra == rb and abs(ca - cb) == 2) or (abs(ra - rb) == 1 and abs(ca - cb) <= 1)


def sound_alike(a: str, b: str) -> bool:
    return any({a, b} == set(p) for p in SOUND_PAIRS)


def substitution_class(a: str, b: str) -> str:
    if a in VOWELS and b in VOWELS:
        return "vowel"
    if sound_alike(a, b):
        return "sound_alike"
    if neighbours(a, b):
        return "keyboard"
    return "other_substitution"


def repeats(text: str, i: int) -> bool:
    return (i > 0 and text[i - 1] == text[i]) or (i + 1 < len(text) and text[i + 1] == text[i])


def classify(typo: str, word: str) -> tuple[str, int] | None:
    """The class of the one edit from `word` to `typo`, and its position in `word`."""
    if len(typo) == len(word):
        diffs = [i for i in range(len(word)) if typo[i] != word[i]]
        if len(diffs) == 1:
            i = diffs[0]
            return substitution_class(word[i], typo[i]), i
        if len(diffs) == 2 and diffs[1] == diffs[0] + 1:
            i = diffs[0]
            if typo[i] == word[i + 1] and typo[i + 1] == word[i]:
                return "swap", i
        return None
    if len(typo) == len(word) + 1:
        i = next((k for k in range(len(word)) if typo[k] != word[k]), len(word))
        if typo[:i] + typo[i + 1 :] != word:
            return None
        if repeats(typo, i):
            return "doubled", i
        return ("vowel_added" if typo[i] in VOWELS else "other_insertion"), i
    if len(word) == len(typo) + 1:
        i = next((k for k in range(len(typo)) if typo[k] != word[k]), len(typo))
        if word[:i] + word[i + 1 :] != typo:
            return None
        if repeats(word, i):
            return "undoubled", i
        return ("vowel_dropped" if word[i] in VOWELS else "other_deletion"), i
    return None


def opportunities(word: str, counts: Counter[str]) -> None:
    for i, c in enumerate(word):
        counts["doubled"] += 1
        if repeats(word, i):
            counts["undoubled"] += 1
        elif c in VOWELS:
            counts["vowel_dropped"] += 1
        else:
            counts["other_deletion"] += 1
        for b in LETTERS:
            if b != c:
                counts[substitution_class(c, b)] += 1
        if i + 1 < len(word) and word[i + 1] != c:
            counts["swap"] += 1
    counts["vowel_added"] += (len(word) + 1) * len(VOWELS)
    counts["other_insertion"] += (len(word) + 1) * (26 - len(VOWELS))


def main_list() -> Path:
    try:
        import codespell_lib  # type: ignore[import-not-found]

        return Path(codespell_lib.__file__).parent / "data" / "dictionary.txt"
    except ImportError:
        listed = subprocess.run(["dpkg", "-L", "codespell"], capture_output=True, text=True)
        for line in listed.stdout.splitlines():
            if line.endswith("/codespell_lib/data/dictionary.txt"):
                return Path(line)
    raise SystemExit("codespell's dictionary.txt not found: install codespell")


def main() -> None:
    seen: Counter[str] = Counter()
    chances: Counter[str] = Counter()
    first = [0, 0]  # edits at the first letter, elsewhere
    first_chances = [0, 0]
    for line in main_list().read_text(encoding="utf-8").splitlines():
        typo, _, fixes = line.partition("->")
        choices = [f.strip() for f in fixes.split(",") if f.strip()]
        if len(choices) != 1 or not (typo.isalpha() and typo.islower()):
            continue
        word = choices[0]
        if not (word.isalpha() and word.islower()):
            continue
        opportunities(word, chances)
        first_chances[0] += 1
        first_chances[1] += len(word) - 1
        found = classify(typo, word)
        if found is None:
            continue
        kind, at = found
        seen[kind] += 1
        first[0 if at == 0 else 1] += 1
    rates = {k: seen[k] / chances[k] for k in seen}
    reference = rates["other_substitution"]
    top = max(rates.values())
    slope = 0.6 / math.log(top / reference)
    print(f"{sum(seen.values())} single-edit misspellings from {main_list()}", file=sys.stderr)
    for kind in ("doubled", "undoubled", "swap", "vowel", "sound_alike", "keyboard",
                 "vowel_dropped", "vowel_added", "other_substitution", "other_insertion",
                 "other_deletion"):
        weight = min(1.2, max(0.4, 1 - slope * math.log(rates[kind] / reference)))
        print(f"{kind:20s} {seen[kind]:6d} / {chances[kind]:9d}  rate {rates[kind]:.2e}  weight {weight:.2f}")
    at_first = first[0] / first_chances[0]
    elsewhere = first[1] / first_chances[1]
    print(f"{'first_letter':20s} factor {1 + slope * math.log(elsewhere / at_first):.2f}")


if __name__ == "__main__":
    main()
