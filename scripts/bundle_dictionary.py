"""Rebuilds the dictionary bundled with the package: Debian's `wamerican` word
list, each word's payload its frequency rank (0 = most common), carrying each
word's count.

    apt-get install wamerican                 # /usr/share/dict/american-english
    pip install symspellpy==6.10.1            # the English word frequencies
    pip install .                             # this package, to build the trie
    python scripts/bundle_dictionary.py

(bench/setup.sh's .venv-bench has the package and symspellpy; the check
below says so if its symspellpy is not the pinned one.)

Inputs used for the bundled files: wamerican 2020.12.07-2 (Debian) and the
file frequency_dictionary_en_82_765.txt of symspellpy 6.10.1 (PyPI), whose
SHA-256 is checked below. The same inputs give the same bytes. Writes into
python/quorvatine/data/:

- american-english.qvt, the prepared trie;
- american-english.pairs, word pairs seen one after the other (below);
- american-english.copyright, the word list's notice (copied from wamerican);
- word-frequencies.copyright, the notice of the frequency list.

Ranks: a word takes the count of its exact form in the frequency list, or,
when that is absent, the count of its lower-case form (the list is all lower
case, so it counts "paris" and "Paris" together; a capitalised word shares
the count and comes right after its lower-case twin when the dictionary has
both). Words are ranked by count, most common first, ties in dictionary
order. Words the list has no count for (possessives, rare and unusual words)
come after all the others, in dictionary order.

Pairs: from symspellpy's frequency_bigramdictionary_en_243_342.txt (same
package, licence and notice), the pairs of words of the dictionary (in any
casing) that make the second word likelier than its count alone says, at
most MAX_PAIRS of them, the most frequent. Each keeps the cost of the second
word after the first, -log P(second | first) in tenths of a nat, estimated
as log(count(first) / count(pair)) + PAIR_SCALE: the pair counts come from
a corpus about e^4 times the size of the word counts' (the pairs listed
after a common word add up to 35 to 45 times its count). The file (gzip,
little-endian) holds b"QVPAIRS1", the number of words, of pairs and of
bytes of words (u32 each), the words (sorted, joined by newlines), how many
pairs begin with each word (u32 each), each pair's second word (u16: its
index, minus the previous pair's when both begin with the same word) and
each pair's cost (u8).
"""

from __future__ import annotations

import argparse
import array
import gzip
import hashlib
import math
import struct
import sys
import importlib.metadata
import shutil
from collections.abc import Mapping, Sequence
from pathlib import Path

from quorvatine import build, dictionary, save, with_counts

WORDS = Path("/usr/share/dict/american-english")
COPYRIGHT = Path("/usr/share/doc/wamerican/copyright")
DATA = Path(__file__).resolve().parent.parent / "python" / "quorvatine" / "data"

FREQUENCY_DIST = "symspellpy"
FREQUENCY_VERSION = "6.10.1"
FREQUENCY_FILE = "symspellpy/frequency_dictionary_en_82_765.txt"
FREQUENCY_SHA256 = "68e9dc81c7e73bd7310b57e516ecaea0d8b6387ff71344a57c04174650a407a7"
PAIR_FILE = "symspellpy/frequency_bigramdictionary_en_243_342.txt"
PAIR_SHA256 = "fd892a160184101dd7ae807ac5a302d01fcea1c47304181a8ed7ed9c94545bcd"
# Bounds the file to about a quarter of a megabyte.
MAX_PAIRS = 100_000
PAIR_SCALE = 4.0

FREQUENCY_NOTICE = f"""\
Word frequency ranks of the bundled dictionary
==============================================

The payloads of american-english.qvt are frequency ranks computed from the
file frequency_dictionary_en_82_765.txt of the Python package symspellpy
{FREQUENCY_VERSION} (PyPI), by scripts/bundle_dictionary.py in this project's
source. The package distributes that file under its MIT licence, reproduced
below. Its upstream, SymSpell by Wolf Garbe, describes the list as the
intersection of Google Books Ngram data (Creative Commons Attribution 3.0
Unported) and SCOWL (Spell Checker Oriented Word Lists, by Kevin Atkinson;
see american-english.copyright for SCOWL's notice). The trie file keeps
each word's rank as its payload and its count (that of its exact form, or
of its lower-case form) in its key counts section.

american-english.pairs holds pairs of words taken from the file
frequency_bigramdictionary_en_243_342.txt of the same package (same licence
and upstream), with a cost computed from the counts of both files by
scripts/bundle_dictionary.py: the most frequent pairs of the dictionary's
words that say more than the words' own counts.

symspellpy's licence:

"""


def frequency_file(name: str = FREQUENCY_FILE, sha256: str = FREQUENCY_SHA256) -> Path:
    """A file of the installed symspellpy, checked to be the pinned one."""
    try:
        dist = importlib.metadata.distribution(FREQUENCY_DIST)
    except importlib.metadata.PackageNotFoundError:
        raise SystemExit(f"needs {FREQUENCY_DIST}: pip install {FREQUENCY_DIST}=={FREQUENCY_VERSION}")
    path = Path(str(dist.locate_file(name)))
    digest = hashlib.sha256(path.read_bytes()).hexdigest()
    if digest != sha256:
        raise SystemExit(
            f"{path} (symspellpy {dist.version}) is not the pinned frequency list: "
            f"pip install {FREQUENCY_DIST}=={FREQUENCY_VERSION}"
        )
    return path


def licence_text() -> str:
    dist = importlib.metadata.distribution(FREQUENCY_DIST)
    for file in dist.files or ():
        if file.name == "LICENSE":
            return Path(str(dist.locate_file(file))).read_text(encoding="utf-8")
    raise SystemExit(f"{FREQUENCY_DIST} {dist.version} ships no LICENSE file")


def read_counts(path: Path) -> dict[str, int]:
    """The list's "word count" lines; a repeated word keeps its first count."""
    counts: dict[str, int] = {}
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        fields = line.split(" ")
        if len(fields) != 2 or not fields[1].isdigit():
            raise SystemExit(f"{path}:{number}: expected a word and a count")
        counts.setdefault(fields[0], int(fields[1]))
    return counts


def ranked(words: Sequence[str], counts: Mapping[str, int]) -> dict[str, int]:
    """Each word's frequency rank: see the module's docstring for the order."""
    known: list[tuple[int, int, int, str]] = []
    unknown: list[str] = []
    for position, word in enumerate(words):
        if word in counts:
            known.append((-counts[word], 0, position, word))
        elif word.lower() in counts:
            known.append((-counts[word.lower()], 1, position, word))
        else:
            unknown.append(word)
    order = [word for *_, word in sorted(known)] + unknown
    return {word: rank for rank, word in enumerate(order)}


def pairs_file(words: Sequence[str], counts: Mapping[str, int], path: Path) -> bytes:
    """The pairs file's bytes (see the module's docstring)."""
    lower = {word.lower() for word in words}
    total = sum(counts.values())
    chosen: list[tuple[int, str, str, int]] = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        fields = line.split(" ")
        if len(fields) != 3 or not fields[2].isdigit():
            raise SystemExit(f"{path}:{number}: expected two words and a count")
        first, second, count = fields[0], fields[1], int(fields[2])
        if not (first in lower and second in lower and counts.get(first) and counts.get(second)):
            continue
        cost = max(0.0, math.log(counts[first] / count) + PAIR_SCALE)
        if cost < math.log(total / counts[second]):
            chosen.append((-count, first, second, min(255, round(cost * 10))))
    chosen = sorted(sorted(chosen)[:MAX_PAIRS], key=lambda pair: (pair[1], pair[2]))
    vocabulary = sorted({pair[1] for pair in chosen} | {pair[2] for pair in chosen})
    index = {word: k for k, word in enumerate(vocabulary)}
    assert len(vocabulary) < 1 << 16
    runs = array.array("I", [0] * len(vocabulary))
    seconds = array.array("H")
    previous = None
    for _, first, second, _ in chosen:
        runs[index[first]] += 1
        seconds.append(index[second] - (index[previous[1]] if previous and previous[0] == first else 0))
        previous = (first, second)
    if sys.byteorder == "big":
        runs.byteswap()
        seconds.byteswap()
    text = "\n".join(vocabulary).encode("utf-8")
    body = (b"QVPAIRS1" + struct.pack("<III", len(vocabulary), len(chosen), len(text)) + text
            + runs.tobytes() + seconds.tobytes() + bytes(pair[3] for pair in chosen))
    return gzip.compress(body, compresslevel=9, mtime=0)


def main() -> None:
    argparse.ArgumentParser(description=__doc__.split("\n\n")[0]).parse_args()
    lines = dictionary.read_words(WORDS)
    if not isinstance(lines, Sequence):
        raise SystemExit(f"{WORDS}: expected one word per line")
    words = list(dict.fromkeys(lines))  # a repeated word keeps its first position
    counts = read_counts(frequency_file())
    ranks = ranked(words, counts)
    # The counts by rank, kept with the trie where the file format holds them.
    by_rank = [0] * len(ranks)
    for word, rank in ranks.items():
        by_rank[rank] = counts.get(word, counts.get(word.lower(), 0))
    trie = with_counts(build(ranks), by_rank)
    save(trie, DATA / "american-english.qvt")
    pairs = pairs_file(words, counts, frequency_file(PAIR_FILE, PAIR_SHA256))
    (DATA / "american-english.pairs").write_bytes(pairs)
    shutil.copyfile(COPYRIGHT, DATA / "american-english.copyright")
    notice = FREQUENCY_NOTICE + licence_text()
    (DATA / "word-frequencies.copyright").write_text(notice, encoding="utf-8")
    listed = sum(1 for w in words if w in counts or w.lower() in counts)
    size = (DATA / "american-english.qvt").stat().st_size
    print(f"{len(words)} words, {listed} ranked by frequency, a file of {size} bytes; "
          f"pairs: {len(pairs)} bytes")


if __name__ == "__main__":
    main()
