"""Spelling suggestions from the English dictionary bundled with the package.

    python examples/spelling.py [WORD ...]

Each word's suggestions are the dictionary words within two edits, nearest
first; the walk reports them in trie order, so they are sorted here.
"""

import sys
from importlib import resources

import quorvatine


def suggestions(trie, word, max_dist=2, count=5):
    found = trie.fuzzy_match(word, max_dist, None)
    # Nearest first, then by payload: the word's position in the dictionary.
    found.sort(key=lambda match: (match[2], match[1]))
    return [text for text, _, _ in found[:count]]


def main(words):
    with resources.as_file(resources.files("quorvatine") / "data" / "american-english.qvt") as path:
        trie = quorvatine.load(path)
    for word in words or ["speling", "recieve", "definately", "accomodate"]:
        if trie.exact_match(word):
            print(f"{word}: spelt right")
        else:
            print(f"{word}: did you mean {', '.join(suggestions(trie, word)) or 'nothing close'}?")


if __name__ == "__main__":
    main(sys.argv[1:])
