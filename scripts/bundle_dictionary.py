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
- american-english.copyright, the word list's notice (copied from wamerican);
- word-frequencies.copyright, the notice of the frequency list.

Ranks: a word takes the count of its exact form in the frequency list, or,
when that is absent, the count of its lower-case form (the list is all lower
case, so it counts "paris" and "Paris" together; a capitalised word shares
the count and comes right after its lower-case twin when the dictionary has
both). Words are ranked by count, most common first, ties in dictionary
order. Words the list has no count for (possessives, rare and unusual words)
come after all the others, in dictionary order.
"""

from __future__ import annotations

import argparse
import hashlib
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

symspellpy's licence:

"""


def frequency_file() -> Path:
    """The installed symspellpy's frequency list, checked to be the pinned one."""
    try:
        dist = importlib.metadata.distribution(FREQUENCY_DIST)
    except importlib.metadata.PackageNotFoundError:
        raise SystemExit(f"needs {FREQUENCY_DIST}: pip install {FREQUENCY_DIST}=={FREQUENCY_VERSION}")
    path = Path(str(dist.locate_file(FREQUENCY_FILE)))
    digest = hashlib.sha256(path.read_bytes()).hexdigest()
    if digest != FREQUENCY_SHA256:
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
    shutil.copyfile(COPYRIGHT, DATA / "american-english.copyright")
    notice = FREQUENCY_NOTICE + licence_text()
    (DATA / "word-frequencies.copyright").write_text(notice, encoding="utf-8")
    listed = sum(1 for w in words if w in counts or w.lower() in counts)
    size = (DATA / "american-english.qvt").stat().st_size
    print(f"{len(words)} words, {listed} ranked by frequency, a file of {size} bytes")


if __name__ == "__main__":
    main()
