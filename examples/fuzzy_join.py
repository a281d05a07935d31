"""A fuzzy left join: each entry of a messy column matched to the nearest
name of a fixed vocabulary, keeping entries with no match.

    pip install pandas
    python examples/fuzzy_join.py

pandas is not a dependency of quorvatine; this example needs it installed.
`quorvatine.best_matches` answers the same lookups for a plain list, without pandas.
"""

import sys

try:
    import pandas as pd
except ImportError:
    sys.exit("This example needs pandas: pip install pandas")

import quorvatine

CITIES = pd.DataFrame(
    {
        "city": ["Amsterdam", "Antwerpen", "Barcelona", "Bordeaux", "København", "Lisboa", "Marseille", "München"],
        "country": ["NL", "BE", "ES", "FR", "DK", "PT", "FR", "DE"],
    }
)
ORDERS = pd.DataFrame(
    {
        "order": [101, 102, 103, 104, 105, 106, 107],
        "city": ["amsterdam", "Barcelone", "Muenchen", "Lisbon", "Kobenhavn", None, "Reykjavík"],
    }
)


def main():
    # Case is folded on both sides, so that only spelling counts; match_row
    # is the matched city's row in CITIES.
    vocabulary = CITIES["city"].str.casefold()
    orders = ORDERS.assign(folded=ORDERS["city"].str.casefold())
    joined = quorvatine.fuzzy_join(orders, vocabulary, "folded", max_dist=2)
    joined["country"] = CITIES["country"].reindex(joined["match_row"]).to_numpy()
    print(joined.drop(columns="folded").to_string(index=False))


if __name__ == "__main__":
    main()
