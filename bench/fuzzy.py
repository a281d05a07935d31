"""Fuzzy-lookup benchmark: quorvatine against the tools a user would pick
instead, on real word lists and real misspellings.

    bench/setup.sh                          # once: word lists, .venv-bench, peers, the project
    .venv-bench/bin/python bench/fuzzy.py --quick
    .venv-bench/bin/python bench/fuzzy.py --dict wamerican --k 1,2 --markdown out.md

For every dictionary, query set and k, each tool answers the same queries
(a random sample of them for the slow ones) and its answer to every query is
compared with ours as the sorted list of its (word, distance) pairs, repeats
included; a disagreement is printed and marks that tool's cell. Tools are timed side by side: in each round every tool
runs its queries once, the order of tools rotating from round to round, and a
tool's figure is the median over the rounds. The output ends with Markdown
tables that can go into the README as they are.
"""

from __future__ import annotations

import argparse
import ctypes
import gc
import multiprocessing
import os
import platform
import statistics
import sys
import time
import traceback
from collections import Counter
from dataclasses import dataclass, field

import peers
import wordlists

ALL_KS = (0, 1, 2, 3)
QUICK_KS = (0, 1, 2)
TOOL_ORDER = ("ours", "rf-extract", "rf-cdist", "symspell", "fst", "fuzzytrie", "python")
# Queries timed in a round before a tool's share is fixed: the sample any tool gets at least.
MIN_SAMPLE = 20
CALIBRATION = 5


def log(*parts: object) -> None:
    print(*parts, file=sys.stderr, flush=True)


# --------------------------------------------------------------------------
# Index build time and memory, each measured in a forked child so that one
# tool's freed memory is not counted in another's figure.


def _rss_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _settle() -> None:
    gc.collect()
    try:  # hand freed heap pages back, so that RSS shows what is kept
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def _build_in_child(conn, key: str, words: list[str], ks: tuple[int, ...]) -> None:
    try:
        if key == "ours":
            import quorvatine

            build = lambda: quorvatine.build(words)  # noqa: E731
        elif key == "symspell":
            build = lambda: peers.build_symspell(words, ks[0])  # noqa: E731
        elif key == "fst":
            build = lambda: peers.build_fst(words)  # noqa: E731
        elif key == "fuzzytrie":
            build = lambda: peers.build_fuzzytrie(words, ks)  # noqa: E731
        elif key == "python":
            build = lambda: peers.build_python_trie(words)  # noqa: E731
        else:
            raise ValueError(key)
        _settle()
        before = _rss_bytes()
        start = time.perf_counter()
        index = build()
        seconds = time.perf_counter() - start
        _settle()
        kept = _rss_bytes() - before
        note = ""
        if key == "ours":
            note = _our_index_note(index, words)
        elif key == "python":
            note = f"{_count_nodes(index):,} nodes"
        elif key == "fst":
            note = _fst_index_note(words)
        elif key == "fuzzytrie":
            start = time.perf_counter()
            peers.build_fuzzytrie([], ks)
            note = f"of which automata for d = {', '.join(map(str, ks))}: {time.perf_counter() - start:.2f} s"
        conn.send((seconds, kept, note, None))
    except BaseException:  # noqa: BLE001 - reported in the parent
        conn.send((None, None, "", traceback.format_exc(limit=3)))
    finally:
        conn.close()


def _count_nodes(root) -> int:
    count, stack = 0, [root]
    while stack:
        node = stack.pop()
        count += 1
        stack.extend(node.children.values())
    return count


def _our_index_note(index, words: list[str]) -> str:
    import _quorvatine
    import quorvatine

    parts = [f"bytes form {len(index.to_bytes()) / 2**20:.1f} MiB"]
    if hasattr(quorvatine, "layout"):
        start = time.perf_counter()
        arrays = quorvatine.layout(words)
        middle = time.perf_counter()
        _quorvatine.from_internal_data(*arrays)
        end = time.perf_counter()
        parts.append(f"{len(arrays[0]):,} nodes")
        parts.append(f"layout {middle - start:.2f} s + from_internal_data {end - middle:.2f} s")
    return "; ".join(parts)


def _fst_index_note(words: list[str]) -> str:
    import tempfile

    from rust_fst import Set

    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "words.fst")
        Set.from_iter(sorted(words), path=path)
        return f"set file {os.path.getsize(path) / 2**20:.1f} MiB"


@dataclass
class BuildStat:
    label: str
    seconds: float | None
    kept_bytes: int | None
    note: str = ""
    error: str | None = None


def build_stat(label: str, key: str, words: list[str], ks: tuple[int, ...]) -> BuildStat:
    ctx = multiprocessing.get_context("fork")
    parent, child = ctx.Pipe(duplex=False)
    proc = ctx.Process(target=_build_in_child, args=(child, key, words, ks))
    proc.start()
    child.close()
    try:
        seconds, kept, note, error = parent.recv()
    except EOFError:
        seconds, kept, note, error = None, None, "", f"child exited with {proc.exitcode}"
    proc.join()
    return BuildStat(label, seconds, kept, note, error)


# --------------------------------------------------------------------------
# Query timing


@dataclass
class ToolResult:
    tool: peers.Tool
    sample: int = 0  # queries it answered: the first `sample` of the set
    seconds: list[float] = field(default_factory=list)  # one per round
    mismatches: int = 0
    problems: list[str] = field(default_factory=list)
    refused: int = 0  # queries the tool declined to answer (fst's automaton state limit)
    non_ascii_misses: int = 0  # wrong answers where a word or query is not ASCII

    @property
    def per_query(self) -> float:
        return statistics.median(self.seconds) / self.sample


@dataclass
class Cell:
    dictionary: str
    query_set: str
    k: int
    queries: int
    results_per_query: float
    reference: str
    tools: dict[str, ToolResult]
    # ours timed on each prefix length that some tool was given: n -> seconds per round
    ours_prefix: dict[int, list[float]]
    visited: list[int]  # nodes the walk visits, for the queries the Python walk answered


def _timed(fn, *args) -> float:
    gc.collect()
    gc.disable()  # a collection triggered by one tool must not be billed to it
    try:
        start = time.perf_counter()
        fn(*args)
        return time.perf_counter() - start
    finally:
        gc.enable()


def _differing(query: str, want: list, have: list) -> list[str]:
    """The query and the words on which two answers differ."""
    return [query] + [word for word, _ in set(want) ^ set(have)]


def _describe_diff(query: str, want: list, have: list) -> str:
    want_c, have_c = Counter(want), Counter(have)
    missing = sorted((want_c - have_c).elements())
    extra = sorted((have_c - want_c).elements())
    return f"query {query!r}: missing {missing[:5]}, extra {extra[:5]}"


def measure(
    tools: dict[str, peers.Tool],
    dictionary: str,
    query_set: str,
    queries: list[str],
    k: int,
    rounds: int,
    budget: float,
) -> Cell:
    """Checks every tool against the reference, then times them in rounds."""
    results = {key: ToolResult(tool) for key, tool in tools.items()}

    # Each tool's share: as many queries as fit in `budget` seconds, at least MIN_SAMPLE.
    for key, res in results.items():
        if key == "ours":
            res.sample = len(queries)
            continue
        probe = queries[:CALIBRATION]
        res.tool.search_all(probe, k)  # warm-up
        per_query = _timed(res.tool.search_all, probe, k) / len(probe)
        fit = int(budget / per_query) if per_query > 0 else len(queries)
        res.sample = min(len(queries), max(MIN_SAMPLE, fit // 10 * 10 if fit >= 100 else fit))

    # The reference is ours; without ours (engine not installed yet) the brute
    # force of rapidfuzz's cdist, over as many queries as any tool answered.
    reference = "ours" if "ours" in results else "rf-cdist"
    if reference not in results:
        raise SystemExit("neither quorvatine nor rapidfuzz is available: nothing to compare with")
    longest = max(res.sample for res in results.values())
    results[reference].sample = max(results[reference].sample, longest)
    ref_tool = tools[reference]
    ref_raw = ref_tool.search_all(queries[: results[reference].sample], k)
    expected = ref_tool.matches(ref_raw)
    if reference == "ours":
        problems = tools["ours"].problems(queries, ref_raw)
        results["ours"].mismatches = len(problems)
        results["ours"].problems = problems[:3]
    visited: list[int] = []
    for key, res in results.items():
        if key == reference:
            continue
        got = res.tool.matches(res.tool.search_all(queries[: res.sample], k))
        for i, (want, have) in enumerate(zip(expected, got)):
            if have is None:
                res.refused += 1
            elif want != have and not all(map(str.isascii, _differing(queries[i], want, have))):
                res.non_ascii_misses += 1
            elif want != have:
                res.mismatches += 1
                if res.mismatches <= 3:
                    res.problems.append(_describe_diff(queries[i], want, have))
        if key == "python":
            visited = list(res.tool.visited)
    for key, res in results.items():
        for problem in res.problems:
            log(f"  !! {res.tool.label}, {dictionary}, {query_set}, k={k}: {problem}")
        if res.mismatches > len(res.problems):
            log(f"  !! {res.tool.label}: {res.mismatches} queries wrong in all")
        if res.refused or res.non_ascii_misses:
            log(
                f"  !! {res.tool.label}, {dictionary}, {query_set}, k={k}: {res.refused} queries "
                f"refused, {res.non_ascii_misses} answers differing on non-ASCII text"
            )

    # Ours is timed in segments that end where some other tool's sample ends,
    # so that each ratio compares the two on the very same queries.
    cuts = sorted({res.sample for res in results.values()} | {len(queries)})
    ours_prefix: dict[int, list[float]] = {n: [] for n in cuts}
    order = list(results)
    for r in range(rounds):
        for key in order[r % len(order) :] + order[: r % len(order)]:
            res = results[key]
            if key == "ours":
                total, start = 0.0, 0
                for n in cuts:
                    total += _timed(res.tool.search_all, queries[start:n], k)
                    ours_prefix[n].append(total)
                    start = n
                res.seconds.append(total)
            else:
                res.seconds.append(_timed(res.tool.search_all, queries[: res.sample], k))

    return Cell(
        dictionary,
        query_set,
        k,
        len(queries),
        sum(map(len, expected)) / max(1, len(expected)),
        reference,
        results,
        ours_prefix if "ours" in results else {},
        visited,
    )


# --------------------------------------------------------------------------
# Report


def _rate(per_query: float) -> str:
    qps = 1.0 / per_query
    return f"{qps:,.0f}" if qps >= 10 else f"{qps:.1f}"


def _ratio(x: float) -> str:
    return f"{x:,.0f}×" if x >= 10 else f"{x:.2g}×"


def _ours_per_query(cell: Cell, n: int) -> float:
    return statistics.median(cell.ours_prefix[n]) / n


def cell_table(cells: list[Cell], keys: list[str], tools: dict[str, peers.Tool]) -> list[str]:
    has_ours = "ours" in keys
    head = ["queries", "k", "matches/query", "nodes visited/query"]
    if has_ours:
        head += ["ns/node (ours, whole call)"]
    head += [f"{tools[key].label} q/s" for key in keys]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for cell in cells:
        row = [cell.query_set, str(cell.k), f"{cell.results_per_query:.1f}"]
        if cell.visited:
            n_visited = len(cell.visited)
            mean_visited = sum(cell.visited) / n_visited
            sampled = f" (n={n_visited})" if n_visited < cell.queries else ""
            row.append(f"{mean_visited:,.0f}{sampled}")
        else:
            row.append("–")
        if has_ours:
            if cell.visited:
                per_node = _ours_per_query(cell, len(cell.visited)) / (
                    sum(cell.visited) / len(cell.visited)
                )
                row.append(f"{per_node * 1e9:.0f}")
            else:
                row.append("–")
        for key in keys:
            res = cell.tools.get(key)
            if res is None or not res.seconds:
                row.append("–")
                continue
            text = _rate(res.per_query)
            if has_ours and key != "ours":
                text += " (" + _ratio(res.per_query / _ours_per_query(cell, res.sample)) + ")"
            if res.sample < cell.queries:
                text += f" n={res.sample}"
            if res.mismatches or res.problems:
                text = f"**✗ {res.mismatches}** " + text
            if res.refused or res.non_ascii_misses:
                text += f" (refused {res.refused}, non-ASCII misses {res.non_ascii_misses})"
            row.append(text)
        lines.append("| " + " | ".join(row) + " |")
    return lines


def build_table(stats: list[BuildStat]) -> list[str]:
    ours = next((s for s in stats if s.label.startswith("quorvatine") and s.error is None), None)
    lines = [
        "| index | build s | memory MiB | build ÷ ours | memory ÷ ours | notes |",
        "|---|---|---|---|---|---|",
    ]
    for s in stats:
        if s.error:
            lines.append(f"| {s.label} | – | – | – | – | failed: {s.error.strip().splitlines()[-1]} |")
            continue
        rel_t = rel_m = "–"
        if ours and s is not ours:
            if ours.seconds:
                rel_t = _ratio(s.seconds / ours.seconds)
            if ours.kept_bytes and ours.kept_bytes > 0:
                rel_m = _ratio(s.kept_bytes / ours.kept_bytes)
        lines.append(
            f"| {s.label} | {s.seconds:.2f} | {s.kept_bytes / 2**20:,.1f} | {rel_t} | {rel_m} | {s.note} |"
        )
    return lines


def environment() -> list[str]:
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return [f"CPython {platform.python_version()}, {os.cpu_count()} cores ({cpu}), {time.strftime('%Y-%m-%d')}"]


# --------------------------------------------------------------------------


def parse_args(argv: list[str] | None) -> argparse.Namespace:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="wamerican only, k <= 2, fewer queries and rounds")
    ap.add_argument("--dict", action="append", choices=list(wordlists.DICTIONARIES), help="dictionary (repeatable)")
    ap.add_argument("--k", help="comma-separated max_dist values (default 0,1,2,3; --quick: 0,1,2)")
    ap.add_argument("--sets", default="typos,edits", help="query sets: typos, edits")
    ap.add_argument("--queries", type=int, help="queries per set (default 1000; --quick: 300)")
    ap.add_argument("--rounds", type=int, help="timing rounds (default 5; --quick: 3)")
    ap.add_argument("--budget", type=float, help="seconds a slow tool may spend per round (default 4; --quick: 1)")
    ap.add_argument("--tools", default=",".join(TOOL_ORDER), help="tools to run: " + ", ".join(TOOL_ORDER))
    ap.add_argument("--no-build-stats", action="store_true", help="skip the index build and memory table")
    ap.add_argument("--markdown", metavar="FILE", help="also write the tables to FILE")
    args = ap.parse_args(argv)
    args.dict = args.dict or (["wamerican"] if args.quick else list(wordlists.DICTIONARIES))
    args.k = tuple(int(x) for x in args.k.split(",")) if args.k else (QUICK_KS if args.quick else ALL_KS)
    args.sets = [s for s in args.sets.split(",") if s]
    for s in args.sets:
        if s not in wordlists.QUERY_SETS:
            ap.error(f"unknown query set {s!r}")
    args.queries = args.queries or (300 if args.quick else 1000)
    args.rounds = args.rounds or (3 if args.quick else 5)
    args.budget = args.budget or (1.0 if args.quick else 4.0)
    args.tools = [t for t in args.tools.split(",") if t]
    for t in args.tools:
        if t not in peers.TOOLS:
            ap.error(f"unknown tool {t!r}")
    return args


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    out: list[str] = ["## Fuzzy lookup benchmark", ""] + environment()

    keys = []
    for key in TOOL_ORDER:
        if key not in args.tools:
            continue
        why = peers.unavailable(key)
        if why:
            log(f"skipping {key}: {why}")
            out.append(f"- {peers.TOOLS[key].label}: not run ({why})")
        else:
            keys.append(key)
    reference = "quorvatine"
    if "ours" not in keys:
        reference = "rapidfuzz cdist (brute force)"
        log(f"quorvatine is not available: peers are checked against {reference} only")
    out += [
        "",
        f"{args.queries} queries per set, {args.rounds} rounds, medians; a tool slower than "
        f"{args.budget:g} s per round answers only the first n queries (n shown), and its ratio "
        "compares it with quorvatine on those same queries. Ratio = how many times faster "
        f"quorvatine is. Every answer is checked against {reference}'s as the sorted list of its "
        "(word, distance) pairs, repeats included; ✗ n: the tool was wrong (or disagreed) on n queries, listed under the table.",
        "'ns/node' is quorvatine's whole fuzzy_match call (argument parsing and result list "
        "included) divided by the nodes its walk visits, counted by the pure-Python walk, "
        "which visits the same nodes.",
        "",
    ]
    probe = {key: peers.TOOLS[key]() for key in keys}
    out.append("Tools:")
    out += [f"- {tool.describe()}" for tool in probe.values()]
    out.append("")
    out.append("Query sets: " + "; ".join(f"{k}: {wordlists.QUERY_SETS[k]}" for k in args.sets))
    out.append("")

    for name in args.dict:
        dictionary = wordlists.load_dictionary(name)
        words = dictionary.words
        log(dictionary.describe())
        out += [f"### {name}", "", dictionary.describe(), ""]

        if not args.no_build_stats:
            stats = []
            labels = {
                "ours": "quorvatine.build",
                "fst": "rust_fst Set.from_iter(sorted(words))",
                "fuzzytrie": "fuzzytrie",
                "python": "pure-Python trie",
            }
            for key in keys:
                if key in labels:
                    log(f"  building {labels[key]} (in a child process)")
                    stats.append(build_stat(labels[key], key, words, args.k))
                elif key == "symspell":
                    for k in args.k:
                        log(f"  building symspellpy k={k} (in a child process)")
                        stats.append(build_stat(f"symspellpy k={k}", key, words, (k,)))
            if stats:
                out += build_table(stats)
                out += [
                    "",
                    "Memory: resident set growth of a fresh child process from before to after "
                    "the build, after garbage collection and malloc_trim; rapidfuzz has no index "
                    "(it scans the word list).",
                    "",
                ]

        tools = {key: peers.TOOLS[key]() for key in keys}
        for key, tool in tools.items():
            log(f"  preparing {tool.label}")
            tool.prepare(words, args.k)
        query_lists = {s: wordlists.queries(s, dictionary, args.queries) for s in args.sets}
        gc.collect()
        gc.freeze()  # indexes stay out of the collector's way while timing

        cells = []
        for k in args.k:
            for key, tool in tools.items():
                if tool.per_k_index:
                    log(f"  preparing {tool.label} for k={k}")
                    tool.prepare_k(k)
            gc.collect()
            gc.freeze()
            for s in args.sets:
                log(f"  {name} {s} k={k}")
                cell = measure(tools, name, s, query_lists[s], k, args.rounds, args.budget)
                cells.append(cell)
                log("    " + cell_table([cell], keys, tools)[-1])
            for tool in tools.values():
                tool.release_k()
            gc.unfreeze()
            gc.collect()
        out += cell_table(cells, keys, tools)
        out.append("")
        wrong = [
            f"- {res.tool.label}, {cell.query_set}, k={cell.k}: {res.mismatches} queries; {problem}"
            for cell in cells
            for res in cell.tools.values()
            for problem in res.problems[:1]
        ]
        if wrong:
            out += ["Wrong answers (first example of each):", ""] + wrong + [""]
        del tools
        gc.unfreeze()
        gc.collect()
        if args.markdown:  # after each dictionary, so that a long run leaves what it has
            _write(args.markdown, out)

    print("\n".join(out))
    if args.markdown:
        _write(args.markdown, out)
    return 0


def _write(path: str, lines: list[str]) -> None:
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    sys.exit(main())
