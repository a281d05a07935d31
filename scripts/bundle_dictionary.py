"""Rebuilds the dictionary bundled with the package from Debian's `wamerican`.

    python scripts/bundle_dictionary.py

Writes python/quorvatine/data/american-english.qvt (a prepared trie whose
payloads are the words' line positions) and copies the word list's copyright
notice beside it. Needs the package installed and /usr/share/dict/american-english
(`apt-get install wamerican`).
"""

from __future__ import annotations

import shutil
from pathlib import Path

from quorvatine import build, dictionary, save

WORDS = Path("/usr/share/dict/american-english")
COPYRIGHT = Path("/usr/share/doc/wamerican/copyright")
DATA = Path(__file__).resolve().parent.parent / "python" / "quorvatine" / "data"


def main() -> None:
    words = dictionary.read_words(WORDS)
    trie = build(words)
    save(trie, DATA / "american-english.qvt")
    shutil.copyfile(COPYRIGHT, DATA / "american-english.copyright")
    print(f"{len(words)} words, {len(trie.to_bytes())} bytes")


if __name__ == "__main__":
    main()
