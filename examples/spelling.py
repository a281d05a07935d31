"""Spelling suggestions from the English dictionary bundled with the package.

    python examples/spelling.py [WORD ...]

Each word's suggestions are `suggest`'s, as the command line gives them: the
dictionary words within two edits (a swap of adjacent letters counting one),
nearest first, and among equally near words the more common first (the
bundled dictionary's payloads are frequency ranks).
"""

import sys
from importlib import resources

import quorvatine


def main(words):
    with resources.as_file(resources.files("quorvatine") / "data" / "american-english.qvt") as path:
        trie = quorvatine.load(path)
    for word in words or ["speling", "recieve", "definately", "accomodate"]:
        if trie.exact_match(word):
            print(f"{word}: spelt right")
        else:
            found = [text for text, _, _ in quorvatine.suggest(trie, word, n=3)]
            print(f"{word}: did you mean {', '.join(found) or 'nothing close'}?")


if __name__ == "__main__":
    main(sys.argv[1:])
