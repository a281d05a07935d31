"""Spelling corrections from the English dictionary bundled with the package.

    python examples/spelling.py [WORD ...]

Each word's corrections are the words it most likely misspells, best first
(`quorvatine.spell`: a model of common misspellings, sound-alike words and
word frequencies), in the word's own case.
"""

import sys

import quorvatine


def main(words):
    english = quorvatine.english()  # loaded once, with its word counts
    for word in words or ["speling", "recieve", "Definately", "fizicks", "ACOMODATE"]:
        corrections = quorvatine.spell(english, word, 5)
        if corrections and corrections[0][0] == word:
            print(f"{word}: spelt right")
        else:
            listed = ", ".join(c[0] for c in corrections)
            print(f"{word}: did you mean {listed or 'nothing close'}?")


if __name__ == "__main__":
    main(sys.argv[1:])
