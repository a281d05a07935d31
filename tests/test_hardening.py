"""Load and hostile input: threads sharing one instance, and memory and time
bounds on huge counts, long queries, deep and cyclic tries."""

import os
import random
import subprocess
import sys
import textwrap
import threading

import pytest

import _quorvatine
import quorvatine

MAX_U64 = 2**64 - 1
DEPTH = 1_000_000


def outcome(call):
    """What a call gives: ("ok", result), or the exception's class name and text."""
    try:
        return "ok", call()
    except BaseException as error:  # PanicException included
        return type(error).__name__, str(error)


def test_eight_threads_on_one_instance_agree_with_a_sequential_run():
    rng = random.Random(7)
    letters = "abcé\U0001f600"
    words = {"".join(rng.choices(letters, k=rng.randint(1, 7))) for _ in range(300)}
    trie = quorvatine.build(sorted(words))
    nodes = len(quorvatine.layout(sorted(words))[0])
    queries = [w[: rng.randint(0, len(w))] + rng.choice(letters) for w in sorted(words)[:40]]
    calls = [lambda q=q, d=d, n=n: trie.fuzzy_match(q, d, n) for q in queries for d in (0, 1, 2) for n in (None, 3)]
    calls += [lambda q=q: trie.exact_match(q) for q in queries + sorted(words)[:40]]
    node_ids = [*range(0, nodes, 7), nodes - 1, nodes, nodes + 1]
    calls += [lambda i=i: trie.get_children(i) for i in node_ids]
    calls += [lambda i=i: trie.get_payload(i) for i in node_ids]
    calls += [trie.to_bytes, lambda: _quorvatine.from_bytes(trie.to_bytes()).to_bytes()]
    calls += [lambda: trie.fuzzy_match("a", 1.5, None), lambda: trie.exact_match(b"a"), lambda: trie.get_children(2**32)]
    expected = [outcome(call) for call in calls]
    kinds = {kind for kind, _ in expected}
    assert kinds == {"ok", "PanicException", "TypeError", "OverflowError"}

    start = threading.Barrier(8)
    mismatches = []

    def hammer(seed):
        order = list(range(len(calls)))
        random.Random(seed).shuffle(order)
        start.wait()
        for _ in range(3):
            for i in order:
                got = outcome(calls[i])
                if got != expected[i]:
                    mismatches.append((i, got, expected[i]))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        threads = [threading.Thread(target=hammer, args=(seed,)) for seed in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert mismatches == []
    assert [outcome(call) for call in calls] == expected


UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def run_bounded(code, headroom_mb, timeout=120):
    """Runs `code` in a fresh interpreter that may map at most `headroom_mb` MiB
    beyond what it holds after importing the module; a larger demand fails
    there. Returns what it prints."""
    env = dict(os.environ)
    if UNDER_ASAN:
        # The sanitizer reserves vast address space of its own, so no address
        # space limit can be set: cap single allocations and, as a last resort,
        # the resident size.
        limits = f":max_allocation_size_mb={headroom_mb}:hard_rss_limit_mb={headroom_mb + 2048}"
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + limits
    prelude = textwrap.dedent(
        f"""
        import os, resource
        import _quorvatine
        if not {UNDER_ASAN}:
            with open("/proc/self/statm") as statm:
                mapped = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
            cap = mapped + ({headroom_mb} << 20)
            resource.setrlimit(resource.RLIMIT_AS, (cap, cap))
        """
    )
    run = subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env=env,
    )
    assert run.returncode == 0, run.stderr
    return run.stdout


def test_huge_declared_counts_fail_at_once_without_a_large_allocation():
    # Each array's count in turn is 2**60 (and 2**32 - 1 in its 5-byte form),
    # with the input ending after at most one entry.
    out = run_bounded(
        """
        huge = [bytes([0xFD]) + (2**60).to_bytes(8, "little"), bytes([0xFC]) + (2**32 - 1).to_bytes(4, "little")]
        cases = []
        for count in huge:
            for before in (b"", b"\\x00", b"\\x00\\x00", b"\\x00\\x00\\x00"):
                cases += [before + count, before + count + b"\\x01"]
        for bs in cases:
            try:
                _quorvatine.from_bytes(bs)
            except BaseException as error:
                print(type(error).__name__, error)
        """,
        headroom_mb=64,
    )
    lines = out.splitlines()
    assert len(lines) == 16
    for line in lines:
        assert line.startswith("PanicException ")
        assert "UnexpectedEnd { additional: 1 }" in line


def test_a_query_of_a_million_code_points_needs_memory_in_proportion_to_it():
    # The edit-distance table of such a query against a short key has 10**12
    # cells: only a walk that keeps rows, not the table, fits.
    out = run_bounded(
        """
        import quorvatine
        p = quorvatine.build(["car", "cart", "cat", "dog", "c\\U0001f600"])
        query = "ca" + "r" * 999_998
        print(p.fuzzy_match(query, 0, None), p.exact_match(query), len(p.fuzzy_match("", 2, None)))
        """,
        headroom_mb=512,
    )
    assert out.split() == ["[]", "None", "1"]


def test_an_iterable_repeating_its_words_needs_memory_for_the_distinct_ones():
    # Each occurrence was kept until the sort, at about 47 bytes.
    out = run_bounded(
        """
        import itertools, quorvatine
        trie = quorvatine.build(itertools.islice(itertools.cycle(["b", "a", "c"]), 8_000_000))
        print(trie.fuzzy_match("a", 1, None))
        """,
        headroom_mb=256,
    )
    assert out == "[('a', 1, 0), ('b', 0, 1), ('c', 2, 1)]\n"


def test_swap_rows_past_max_dist_31_hold_the_band_only():
    # Down a chain of 3,000 nodes, each with a sibling pending, a row per
    # depth: rows as wide as the query took 48 KB each.
    out = run_bounded(
        """
        import quorvatine
        trie = quorvatine.build(["a" * i + "b" for i in range(1, 3001)])
        print([(len(k), p, d) for k, p, d in quorvatine.suggest(trie, "a" * 3000, 100, 32)[:2]])
        """,
        headroom_mb=64,
    )
    assert out == "[(3000, 2998, 1), (3001, 2999, 1)]\n"


def test_completions_need_rows_for_the_depths_the_walk_reaches_only():
    # A row for each of the 2**20 depths of the trie took 1 GB: the walk
    # closes every row past depth 301.
    out = run_bounded(
        """
        import quorvatine
        trie = quorvatine.build(["a" * 2**20])
        listed = quorvatine.complete(trie, "b", 1)
        print(quorvatine.complete(trie, "b" * 500, 1, 300, transpositions=False), [(len(k), p, d) for k, p, d in listed])
        """,
        headroom_mb=256,
    )
    assert out == f"[] [({2**20}, 0, 1)]\n"


def test_a_trie_of_depth_a_million_round_trips_through_bytes_and_answers_queries():
    out = run_bounded(
        f"""
        depth = {DEPTH}
        # One chain of nodes labelled 'a'; payloads at depths 1, 2 and the bottom.
        payloads = [None, 10, 20] + [None] * (depth - 3) + [30]
        p = _quorvatine.from_internal_data(list(range(depth + 1)), [""] + ["a"] * depth, payloads,
                                           list(range(1, depth + 1)))
        data = p.to_bytes()
        q = _quorvatine.from_bytes(data)
        print(q.to_bytes() == data)
        for trie in (p, q):
            print(trie.get_children(0), trie.get_children(depth - 1), trie.get_children(depth), trie.get_payload(depth))
            print(trie.exact_match("aa"), trie.fuzzy_match("b", 1, None), trie.fuzzy_match("ab", 1, None))
            print(trie.exact_match("a" * depth)[1:], trie.exact_match("a" * (depth - 1)))
            print([(len(t), v, d) for t, v, d in trie.fuzzy_match("a" * depth, 1, None)])
            print([(len(t), v, d) for t, v, d in trie.fuzzy_match("", 2**64 - 1, None)])
        """,
        headroom_mb=1024,
    )
    answers = [
        f"[('a', 1)] [('a', {DEPTH})] [] 30",
        "('aa', 20, 0) [('a', 10, 1)] [('a', 10, 1), ('aa', 20, 1)]",
        "(30, 0) None",
        f"[({DEPTH}, 30, 0)]",
        f"[(1, 10, 1), (2, 20, 2), ({DEPTH}, 30, {DEPTH})]",
    ]
    assert out.splitlines() == ["True", *answers, *answers]


CYCLE = """
def cycle(pad):
    # root -> 'a' (1) -> 'b' (2) -> back to 'a', with `pad` unreachable nodes after them.
    return _quorvatine.from_internal_data([0, 1, 2], ["", "a", "b"], [None, 1, 2] + [None] * pad, [1, 2, 1])

for pad in PADS:
    p = cycle(pad)
    for query in ("", "ab" * 50):
        try:
            p.fuzzy_match(query, 2**64 - 1, None)
        except BaseException as error:
            print(type(error).__name__)
    print(p.get_children(2), p.exact_match("a"))
"""


def test_a_cyclic_trie_with_unbounded_distance_fails_promptly():
    out = run_bounded("PADS = [0, 1, 1000]\n" + CYCLE, headroom_mb=256, timeout=60)
    assert out.splitlines() == ["PanicException", "PanicException", "[('a', 1)] ('a', 1, 0)"] * 3


@pytest.mark.skipif(UNDER_ASAN, reason="needs an address space limit, which the sanitizer rules out")
def test_a_cyclic_trie_among_a_million_unreachable_nodes_fails_promptly():
    out = run_bounded(f"PADS = [{DEPTH}]\n" + CYCLE, headroom_mb=1024, timeout=60)
    assert out.splitlines() == ["PanicException", "PanicException", "[('a', 1)] ('a', 1, 0)"]


def test_arrays_that_are_not_a_tree_fail_without_quadratic_copies():
    # A long chain whose last node lists the root again, and a root whose first
    # child fails when visited, followed by 100,000 leaves, under a long query:
    # a copy of the parent's text or row per pending child costs time quadratic
    # in the chain, or gigabytes of rows.
    out = run_bounded(
        """
        n = 400_000
        chain = _quorvatine.from_internal_data(list(range(n + 1)), [""] + ["a"] * n, [None] * (n + 1),
                                               [*range(1, n + 1), 0])
        w = 100_000
        wide = _quorvatine.from_internal_data([0] + [w + 1] * w, [""] + ["a"] * (w + 1), [None] * (w + 2),
                                              [w + 1, *range(1, w + 1)])
        for trie, query in ((chain, "a"), (wide, "a" * 10_000)):
            try:
                trie.fuzzy_match(query, 2**64 - 1, None)
            except BaseException as error:
                print(type(error).__name__, error)
        """,
        headroom_mb=256,
    )
    assert out.splitlines() == [
        "PanicException child 0 of node 400000 has no code point",
        "PanicException node id 100001 not below node_shifts length 100001",
    ]
