"""Building a trie once, saving it to a file and loading it back: loading
costs a read and a decode, not a new layout.

    python examples/save_and_load.py

The file has the form `quorvatine build` writes, so either side can make it.
"""

import tempfile
from pathlib import Path

import quorvatine


def main():
    words = {"car": 7, "cart": 8, "cat": 9, "dog": 10}
    with tempfile.TemporaryDirectory() as scratch:
        target = Path(scratch) / "words.qvt"
        quorvatine.save(quorvatine.build(words), target)
        print(f"saved {len(words)} words to {target.name}: {target.stat().st_size} bytes")
        trie = quorvatine.load(target)
        print("car within 1 edit:", trie.fuzzy_match("car", 1, None))
        # A damaged or foreign file is refused with DataError, naming it.
        target.write_bytes(b"not a trie\n")
        try:
            quorvatine.load(target)
        except quorvatine.DataError as error:
            print("refused:", str(error).removeprefix(str(target) + ": "))


if __name__ == "__main__":
    main()
