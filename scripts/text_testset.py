"""Builds the test set of bench/text.py: real English sentences with real
misspellings, run-on and split words injected, reproducibly.

Sentences come from Debian's `fortunes` package (quotations and sayings in
/usr/share/games/fortunes), misspellings from the typo side of codespell's
dictionary (Debian's `codespell`: a list of real misspellings, each with the
word meant). Every choice is drawn from one seeded generator, so the same
packages give the same set.

    python scripts/text_testset.py OUT_DIR

writes OUT_DIR/compound.tsv (noisy sentence, tab, the sentence) and
OUT_DIR/segment.tsv (the sentence's letters without spaces, one typo
injected, tab, its words).
"""

from __future__ import annotations

import random
import re
import sys
from pathlib import Path

FORTUNES = Path("/usr/share/games/fortunes")
SOURCES = ["wisdom", "literature", "people", "work", "education", "science", "politics",
           "love", "fortunes", "miscellaneous", "platitudes", "linux", "computers", "law"]
CODESPELL = Path("/usr/lib/python3/dist-packages/codespell_lib/data/dictionary.txt")
SENTENCES = 1200
SEED = 23

_SENTENCE = re.compile(r"[A-Z][^.!?]*[.!?]")
_WORD = re.compile(r"[A-Za-z]+(?:'[A-Za-z]+)?")


def sentences() -> list[str]:
    found = []
    for name in SOURCES:
        path = FORTUNES / name
        if not path.exists():
            continue
        for entry in path.read_text(encoding="latin-1").split("\n%\n"):
            # Quoted attributions and indented verse are not prose.
            body = " ".join(line.strip() for line in entry.splitlines() if not line.startswith("\t"))
            for sentence in _SENTENCE.findall(body):
                words = sentence.split()
                if 6 <= len(words) <= 25 and re.fullmatch(r"[A-Za-z ,;:'.!?-]+", sentence):
                    found.append(" ".join(words))
    return sorted(set(found))


def misspellings() -> dict[str, list[str]]:
    """Word meant -> its real misspellings (only typos with one correction)."""
    meant: dict[str, list[str]] = {}
    for line in CODESPELL.read_text(encoding="utf-8").splitlines():
        typo, _, fixes = line.partition("->")
        fixes = fixes.strip().rstrip(",")
        if "," in fixes or " " in fixes or not typo.isalpha() or not fixes.isalpha():
            continue
        meant.setdefault(fixes.lower(), []).append(typo.lower())
    return meant


def _cased(model: str, word: str) -> str:
    return word[:1].upper() + word[1:] if model[:1].isupper() else word


def noisy(sentence: str, typos: dict[str, list[str]], rng: random.Random) -> str:
    tokens = sentence.split(" ")
    spans = [(k, m) for k, t in enumerate(tokens) for m in [_WORD.fullmatch(t.strip(",;:.!?"))] if m]
    # One or two real misspellings.
    candidates = [k for k, m in spans if m.group().lower() in typos]
    for k in rng.sample(candidates, min(len(candidates), rng.choice([1, 1, 2]))):
        word = _WORD.search(tokens[k]).group()  # type: ignore[union-attr]
        typo = _cased(word, rng.choice(sorted(typos[word.lower()])))
        tokens[k] = tokens[k].replace(word, typo, 1)
    # A run-on: two words written together.
    if rng.random() < 0.4 and len(tokens) > 3:
        k = rng.randrange(len(tokens) - 1)
        if tokens[k].isalpha() and tokens[k + 1].isalpha():
            tokens[k:k + 2] = [tokens[k] + tokens[k + 1]]
    # A split word.
    if rng.random() < 0.3:
        long = [k for k, t in enumerate(tokens) if t.isalpha() and len(t) >= 7]
        if long:
            k = rng.choice(long)
            cut = rng.randrange(2, len(tokens[k]) - 2)
            tokens[k] = tokens[k][:cut] + " " + tokens[k][cut:]
    return " ".join(tokens)


def unspaced(sentence: str, typos: dict[str, list[str]], rng: random.Random) -> tuple[str, str]:
    words = [w.lower() for w in _WORD.findall(sentence)]
    candidates = [k for k, w in enumerate(words) if w in typos]
    written = list(words)
    if candidates:
        k = rng.choice(candidates)
        written[k] = rng.choice(sorted(typos[words[k]]))
    return "".join(written), " ".join(words)


def main(out_dir: str) -> None:
    rng = random.Random(SEED)
    pool = sentences()
    rng.shuffle(pool)
    chosen = pool[:SENTENCES]
    typos = misspellings()
    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    with open(out / "compound.tsv", "w", encoding="utf-8") as f:
        for sentence in chosen:
            f.write(f"{noisy(sentence, typos, rng)}\t{sentence}\n")
    with open(out / "segment.tsv", "w", encoding="utf-8") as f:
        for sentence in chosen:
            written, words = unspaced(sentence, typos, rng)
            f.write(f"{written}\t{words}\n")
    print(f"{len(chosen)} sentences (of {len(pool)}) written to {out}")


if __name__ == "__main__":
    main(sys.argv[1])
