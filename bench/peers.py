"""The contenders of the fuzzy-lookup benchmark: our trie and the tools a user
would pick instead, each set to plain Levenshtein distance (unit costs for
insertion, deletion and substitution, no transposition) and each behind the
same small interface.

A tool answers a batch of queries with `search_all(queries, k)`, which is
what gets timed and returns the tool's own raw results, and turns those into
comparable sorted lists of (word, distance) with `matches(raw)`, outside the
timing. Lists rather than sets, so that a word reported twice is noticed.
"""

from __future__ import annotations

import importlib.metadata
import sys
from collections.abc import Iterable

Match = tuple[str, int]


def _version(dist: str) -> str:
    try:
        return importlib.metadata.version(dist)
    except importlib.metadata.PackageNotFoundError:
        return "?"


class Tool:
    key = ""  # short id, used by --tools
    label = ""  # column header
    brute_force = False  # cost grows with the dictionary, not with the trie walk
    per_k_index = False  # its index depends on k and is rebuilt for each k

    def __init__(self) -> None:
        self.words: list[str] = []

    def describe(self) -> str:
        return self.label

    def prepare(self, words: list[str], ks: Iterable[int]) -> None:
        """Builds what every k shares."""
        self.words = words

    def prepare_k(self, k: int) -> None:
        """Builds what a single k needs (nothing, for most tools)."""

    def release_k(self) -> None:
        pass

    def search_all(self, queries: list[str], k: int) -> list:
        raise NotImplementedError

    def matches(self, raw: list) -> list[list[Match]]:
        raise NotImplementedError

    def index_note(self) -> str:
        return ""


class Ours(Tool):
    key = "ours"
    label = "quorvatine"

    def describe(self) -> str:
        return f"quorvatine {_version('quorvatine')}: PrefixSearch.fuzzy_match(q, k, None)"

    def prepare(self, words, ks):
        import quorvatine

        super().prepare(words, ks)
        self.index = quorvatine.build(words)

    def search_all(self, queries, k):
        fuzzy_match = self.index.fuzzy_match
        return [fuzzy_match(q, k, None) for q in queries]

    def matches(self, raw):
        return [sorted((text, distance) for text, _, distance in found) for found in raw]

    def problems(self, queries: list[str], raw: list) -> list[str]:
        """What no peer can tell us: each payload names its own word, and no
        key is reported twice. One line per query that fails either."""
        out = []
        for q, found in zip(queries, raw):
            texts = [text for text, _, _ in found]
            wrong = [
                (text, payload)
                for text, payload, _ in found
                if not (isinstance(payload, int) and 0 <= payload < len(self.words))
                or self.words[payload] != text
            ]
            if wrong:
                out.append(f"query {q!r}: {wrong[0][0]!r} came with payload {wrong[0][1]!r}")
            elif len(set(texts)) != len(texts):
                out.append(f"query {q!r}: a key reported more than once")
        return out

    def index_note(self) -> str:
        return f"to_bytes(): {len(self.index.to_bytes()) / 2**20:.1f} MiB"


class RapidfuzzExtract(Tool):
    key = "rf-extract"
    label = "rapidfuzz extract"
    brute_force = True

    def describe(self) -> str:
        return (
            f"rapidfuzz {_version('rapidfuzz')}: process.extract(q, words, "
            "scorer=Levenshtein.distance, weights (1, 1, 1), processor=None, "
            "score_cutoff=k, limit=None)"
        )

    def prepare(self, words, ks):
        from rapidfuzz import process
        from rapidfuzz.distance import Levenshtein

        super().prepare(words, ks)
        self._extract = process.extract
        self._scorer = Levenshtein.distance

    def search_all(self, queries, k):
        extract, scorer, words = self._extract, self._scorer, self.words
        kwargs = {"weights": (1, 1, 1)}
        return [
            extract(
                q,
                words,
                scorer=scorer,
                processor=None,
                score_cutoff=k,
                limit=None,
                scorer_kwargs=kwargs,
            )
            for q in queries
        ]

    def matches(self, raw):
        return [sorted((choice, int(score)) for choice, score, _ in found) for found in raw]


class RapidfuzzCdist(Tool):
    key = "rf-cdist"
    label = "rapidfuzz cdist"
    brute_force = True
    # Rows per cdist call: bounds the distance matrix (rows x words bytes).
    CHUNK = 64

    def describe(self) -> str:
        return (
            f"rapidfuzz {_version('rapidfuzz')}: process.cdist(batch of {self.CHUNK} queries, "
            "words, scorer=Levenshtein.distance, weights (1, 1, 1), score_cutoff=k, "
            "dtype=uint8, workers=1), matches read from each row"
        )

    def prepare(self, words, ks):
        import numpy
        from rapidfuzz import process
        from rapidfuzz.distance import Levenshtein

        super().prepare(words, ks)
        self._np = numpy
        self._cdist = process.cdist
        self._scorer = Levenshtein.distance

    def search_all(self, queries, k):
        np, words = self._np, self.words
        out = []
        for start in range(0, len(queries), self.CHUNK):
            matrix = self._cdist(
                queries[start : start + self.CHUNK],
                words,
                scorer=self._scorer,
                processor=None,
                score_cutoff=k,
                scorer_kwargs={"weights": (1, 1, 1)},
                dtype=np.uint8,
                workers=1,
            )
            for row in matrix:
                hits = np.flatnonzero(row <= k).tolist()
                out.append([(words[i], int(row[i])) for i in hits])
        return out

    def matches(self, raw):
        return [sorted(found) for found in raw]


class SymSpellTool(Tool):
    key = "symspell"
    label = "symspellpy"
    per_k_index = True

    def describe(self) -> str:
        return (
            f"symspellpy {_version('symspellpy')} (editdistpy {_version('editdistpy')}): "
            "SymSpell(max_dictionary_edit_distance=k, prefix_length=7, "
            "distance_comparer=EditDistance(DistanceAlgorithm.LEVENSHTEIN_FAST)), "
            "one entry per word with count 1, lookup(q, Verbosity.ALL, max_edit_distance=k)"
        )

    def prepare_k(self, k):
        self.sym = build_symspell(self.words, k)

    def release_k(self):
        self.sym = None

    def search_all(self, queries, k):
        from symspellpy import Verbosity

        lookup, every = self.sym.lookup, Verbosity.ALL
        return [lookup(q, every, max_edit_distance=k) for q in queries]

    def matches(self, raw):
        return [sorted((item.term, item.distance) for item in found) for found in raw]


def build_symspell(words: list[str], k: int):
    from symspellpy import SymSpell
    from symspellpy.editdistance import DistanceAlgorithm, EditDistance

    # The default comparer is Damerau OSA (a transposition costs 1);
    # LEVENSHTEIN_FAST is plain Levenshtein computed by editdistpy.
    sym = SymSpell(
        max_dictionary_edit_distance=k,
        prefix_length=7,
        distance_comparer=EditDistance(DistanceAlgorithm.LEVENSHTEIN_FAST),
    )
    for word in words:
        sym.create_dictionary_entry(word, 1)
    return sym


class FstTool(Tool):
    """The fst crate's Set through its cffi binding: search(q, k) runs a
    Levenshtein automaton over the set and yields words without distances;
    the distances are worked out outside the timing. The automaton is refused
    past a state limit (some k=3 queries): such a query is counted as refused,
    never compared."""

    key = "fst"
    label = "rust_fst"

    def describe(self) -> str:
        return (
            f"rust_fst {_version('rust_fst')} (the fst crate through cffi): "
            "Set.from_iter(sorted(words)), list(Set.search(q, k)); a query whose automaton "
            "exceeds the state limit (LevenshteinError) is counted as refused"
        )

    def prepare(self, words, ks):
        super().prepare(words, ks)
        self.set = build_fst(words)

    def search_all(self, queries, k):
        from rust_fst.lib import LevenshteinError

        search, out = self.set.search, []
        for q in queries:
            try:
                out.append((q, list(search(q, k))))
            except LevenshteinError:
                out.append((q, None))
        return out

    def matches(self, raw):
        """Per query its sorted (word, distance) list, or None when refused."""
        from rapidfuzz.distance import Levenshtein

        distance = Levenshtein.distance
        return [
            None if found is None else sorted((w, distance(q, w)) for w in found)
            for q, found in raw
        ]


def build_fst(words: list[str]):
    from rust_fst import Set

    return Set.from_iter(sorted(words))


class FuzzyTrieTool(Tool):
    key = "fuzzytrie"
    label = "fuzzytrie"

    def describe(self) -> str:
        return (
            f"fuzzytrie {_version('fuzzytrie')}: FuzzyTrie() with add(word) for every "
            "word and init_automaton(d=k) per k, search(query=q, d=k)"
        )

    def prepare(self, words, ks):
        super().prepare(words, ks)
        self.trie = build_fuzzytrie(words, ks)

    def search_all(self, queries, k):
        search = self.trie.search
        return [search(query=q, d=k) for q in queries]

    def matches(self, raw):
        return [sorted((word, int(distance)) for distance, word in found) for found in raw]


def build_fuzzytrie(words: list[str], ks: Iterable[int]):
    from fuzzytrie import FuzzyTrie

    trie = FuzzyTrie()
    for k in ks:
        trie.init_automaton(d=k)
    for word in words:
        trie.add(word)
    return trie


class _Node:
    __slots__ = ("children", "word")

    def __init__(self) -> None:
        self.children: dict[str, _Node] = {}
        self.word: str | None = None


class PythonTrie(Tool):
    """The classic recursive walk: one Levenshtein row per visited node, a
    subtree closed when its row minimum exceeds k. It visits exactly the nodes
    our walk visits (the root, and every child of a node whose row minimum is
    at most k), so it also counts them."""

    key = "python"
    label = "pure-Python trie"

    def describe(self) -> str:
        return "pure-Python trie (dict per node), recursive walk with one row per node"

    def __init__(self) -> None:
        super().__init__()
        self.visited: list[int] = []

    def prepare(self, words, ks):
        super().prepare(words, ks)
        self.root = build_python_trie(words)

    def search_all(self, queries, k):
        self.visited = []
        out = []
        for q in queries:
            found, visited = python_trie_search(self.root, q, k)
            out.append(found)
            self.visited.append(visited)
        return out

    def matches(self, raw):
        return [sorted(found) for found in raw]


def build_python_trie(words: list[str]) -> _Node:
    root = _Node()
    for word in words:
        node = root
        for ch in word:
            child = node.children.get(ch)
            if child is None:
                child = node.children[ch] = _Node()
            node = child
        node.word = word
    return root


def python_trie_search(root: _Node, query: str, k: int) -> tuple[list[Match], int]:
    """(matches, nodes visited, the root included)."""
    found: list[Match] = []
    columns = len(query) + 1
    visited = 1

    def visit(node: _Node, ch: str, prev: list[int]) -> None:
        nonlocal visited
        visited += 1
        row = [prev[0] + 1]
        for j in range(1, columns):
            row.append(
                min(row[j - 1] + 1, prev[j] + 1, prev[j - 1] + (query[j - 1] != ch))
            )
        if node.word is not None and row[-1] <= k:
            found.append((node.word, row[-1]))
        if min(row) <= k:
            for c, child in node.children.items():
                visit(child, c, row)

    first = list(range(columns))
    for c, child in root.children.items():
        visit(child, c, first)
    return found, visited


TOOLS = {
    t.key: t
    for t in (Ours, RapidfuzzExtract, RapidfuzzCdist, SymSpellTool, FstTool, FuzzyTrieTool, PythonTrie)
}


def unavailable(key: str) -> str | None:
    """Why a tool cannot run here, or None."""
    modules = {
        "ours": ["_quorvatine", "quorvatine"],
        "rf-extract": ["rapidfuzz"],
        "rf-cdist": ["rapidfuzz", "numpy"],
        "symspell": ["symspellpy", "editdistpy"],
        "fst": ["rust_fst", "rapidfuzz"],
        "fuzzytrie": ["fuzzytrie"],
        "python": [],
    }[key]
    for name in modules:
        try:
            __import__(name)
        except ImportError as exc:
            if name == "fuzzytrie":
                return "not installed: it is built on a third-party Python binding framework this project does not use"
            if name == "rust_fst":
                return f"rust_fst not importable ({exc}): no wheel installed for this platform"
            return f"{name} not importable ({exc}); run bench/setup.sh"
    if key == "ours":
        import _quorvatine

        if not hasattr(getattr(_quorvatine, "PrefixSearch", None), "fuzzy_match"):
            return "_quorvatine has no PrefixSearch.fuzzy_match yet"
        import quorvatine

        if not hasattr(quorvatine, "build"):
            return "quorvatine.build missing"
    return None


if __name__ == "__main__":  # pragma: no cover - a quick look at what is installed
    for key in TOOLS:
        print(f"{key:12} {unavailable(key) or 'ok'}", file=sys.stderr)
