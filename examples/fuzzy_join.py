"""A fuzzy join: each entry of a messy column matched to the nearest name of a
fixed vocabulary, as a left join that keeps entries with no match.

    python examples/fuzzy_join.py

The vocabulary becomes a trie once; each payload is the name's row in the
vocabulary table. The column goes through fuzzy_match_many, which answers it
on native threads, one per core, with the interpreter lock released while
they walk the trie.
"""

import quorvatine

VOCABULARY = [  # (city, country): the table the column is joined against
    ("Amsterdam", "NL"),
    ("Antwerpen", "BE"),
    ("Barcelona", "ES"),
    ("Bordeaux", "FR"),
    ("København", "DK"),
    ("Lisboa", "PT"),
    ("Marseille", "FR"),
    ("München", "DE"),
]
COLUMN = ["amsterdam", "Barcelone", "Muenchen", "Lisbon", "Kobenhavn", "Marseile", "Reykjavík"]


def nearest(matches):
    """The nearest match as (row, distance), or None; ties go to the earlier row."""
    return min(((row, distance) for _, row, distance in matches), key=lambda m: (m[1], m[0]), default=None)


def main():
    # Case is folded on both sides, so that only spelling counts.
    trie = quorvatine.build({city.casefold(): row for row, (city, _) in enumerate(VOCABULARY)})
    queries = [entry.casefold() for entry in COLUMN]
    for entry, matches in zip(COLUMN, quorvatine.fuzzy_match_many(trie, queries, max_dist=2)):
        best = nearest(matches)
        if best is None:
            print(f"{entry:<12} -> (no match within 2 edits)")
        else:
            city, country = VOCABULARY[best[0]]
            print(f"{entry:<12} -> {city} ({country}), {best[1]} edit(s)")


if __name__ == "__main__":
    main()
