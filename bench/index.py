"""Index benchmark: quorvatine's prepared file against marisa-trie's saved
trie of the same keys, side by side in one run: file size, build time and
peak memory, open time, the memory a process adds by opening the file and
answering 1,000 queries, what a second process opening the same file
adds to the machine (proportional set sizes from /proc).

    bench/setup.sh                         # once: word lists, .venv-bench, peers
    .venv-bench/bin/python bench/index.py  # wpolish, wbritish-huge, 1,000,000 two-word keys
    .venv-bench/bin/python bench/index.py --scale 20000000   # also 20M multi-word keys

Every measurement runs in a fresh process, the two tools in turn; each
answer quorvatine gives is checked against marisa-trie's (exact lookups),
and its fuzzy answers against a plain walk of the same keys.
"""

from __future__ import annotations

import argparse
import json
import random
import subprocess
import sys
import textwrap
from pathlib import Path

import keys as key_files

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "build" / "bench-data"
WORD_LISTS = {
    "wpolish": Path("/usr/share/dict/polish"),
    "wbritish-huge": Path("/usr/share/dict/british-english-huge"),
}
MIB = 2**20

# Runs in every child: memory figures of this process from /proc.
PRELUDE = textwrap.dedent(
    """
    import json, os, random, sys, time
    def memory():
        fields = {}
        with open("/proc/self/smaps_rollup") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[1].isdigit():
                    fields[parts[0].rstrip(":")] = int(parts[1]) * 1024
        # Anonymous: the process's own memory, apart from the pages of mapped
        # files, which the page cache holds once for every process.
        return {"rss": fields.get("Rss", 0), "pss": fields.get("Pss", 0),
                "anonymous": fields.get("Anonymous", 0)}
    def peak():
        # VmHWM starts afresh at exec, unlike ru_maxrss, which a child
        # inherits from the process that started it.
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        return 0
    def queries():
        with open(QUERIES, encoding="utf-8") as f:
            return f.read().split("\\n")
    def opened(load):
        # The first open and the best of four more, the file's pages cached.
        times = []
        for _ in range(5):
            t = time.perf_counter(); trie = load(); times.append(time.perf_counter() - t)
        return trie, times[0], min(times)
    """
)

BUILD = {
    "quorvatine": """
        import quorvatine
        start = memory(); t = time.perf_counter()
        trie = quorvatine.build_word_list(SOURCE)
        quorvatine.save(trie, TARGET)
        seconds = time.perf_counter() - t
        """,
    "marisa-trie": """
        import marisa_trie
        start = memory(); t = time.perf_counter()
        with open(SOURCE, encoding="utf-8") as f:
            trie = marisa_trie.Trie(line.rstrip("\\n") for line in f if line.strip())
        trie.save(TARGET)
        seconds = time.perf_counter() - t
        """,
}

OPEN = {
    "quorvatine": """
        import quorvatine
        qs = queries()
        before = memory(); hold()
        trie, first_open, open_seconds = opened(lambda: quorvatine.load(TARGET))
        t = time.perf_counter()
        found = [trie.exact_match(q) is not None for q in qs]
        fuzzy = [len(trie.fuzzy_match(q, 1, None)) for q in qs]
        query_seconds = time.perf_counter() - t
        """,
    "marisa-trie": """
        import marisa_trie
        qs = queries()
        before = memory(); hold()
        def mapped():
            trie = marisa_trie.Trie(); trie.mmap(TARGET); return trie
        trie, first_open, open_seconds = opened(mapped)
        t = time.perf_counter()
        found = [q in trie for q in qs]
        fuzzy = None
        query_seconds = time.perf_counter() - t
        """,
}


def child(code: str, source: Path, target: Path, hold: bool = False) -> subprocess.Popen[str]:
    """A process running `code`; with `hold` it reports its memory before
    opening the file and waits for a line, and waits again at the end."""
    queries_path = DATA / f"{source.name}.queries"
    body = PRELUDE + (
        f"SOURCE = {str(source)!r}\nTARGET = {str(target)!r}\nQUERIES = {str(queries_path)!r}\n"
    )
    if hold:
        body += "def hold():\n    print(json.dumps(memory()), flush=True); sys.stdin.readline()\n"
    else:
        body += "def hold():\n    pass\n"
    body += textwrap.dedent(code)
    body += textwrap.dedent(
        """
        result = {k: v for k, v in dict(globals()).items()
                  if k in ("seconds", "open_seconds", "first_open", "query_seconds", "found",
                           "fuzzy")}
        result.update(start=globals().get("start") or globals().get("before"), after=memory(),
                      peak=peak())
        print(json.dumps(result), flush=True)
        """
    )
    if hold:
        body += "sys.stdin.readline()\n"
    return subprocess.Popen(
        [sys.executable, "-c", body], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True
    )


def run(code: str, source: Path, target: Path) -> dict:
    process = child(code, source, target)
    out, _ = process.communicate()
    if process.returncode != 0:
        raise SystemExit(f"a benchmark child failed ({process.returncode})")
    return json.loads(out)


def pss(pid: int) -> int:
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1]) * 1024
    return 0


def second_process(tool: str, source: Path, target: Path) -> int:
    """What a second process adds to the machine's used memory by opening the
    file and answering the queries: the sum of both processes' proportional
    set sizes after it did, less the sum before it opened the file."""
    processes = []
    for _ in range(2):
        process = child(OPEN[tool], source, target, hold=True)
        assert process.stdout is not None and process.stdin is not None
        process.stdout.readline()  # its memory before opening
        before = sum(pss(p.pid) for p in processes + [process])
        process.stdin.write("\n")
        process.stdin.flush()
        process.stdout.readline()  # its result
        processes.append(process)
    added = sum(pss(p.pid) for p in processes) - before
    for process in processes:
        process.communicate("\n")
    return added


def write_queries(source: Path, count: int = 1000, seed: int = 3) -> None:
    """1,000 keys of `source`, every second one with a code point left out."""
    path = DATA / f"{source.name}.queries"
    with open(source, encoding="utf-8") as f:
        lines = [line.rstrip("\n").split("\t")[0] for line in f if line.strip()]
    rng = random.Random(seed)
    picked = [rng.choice(lines) for _ in range(count)]
    edited = [w[:i] + w[i + 1 :] if (i := rng.randrange(len(w))) % 2 else w for w in picked]
    path.write_text("\n".join(edited), encoding="utf-8")


def measure(name: str, source: Path, goals: bool) -> None:
    print(f"\n{name}: {source} ({source.stat().st_size / MIB:.1f} MiB of text)")
    write_queries(source)
    results: dict[str, dict] = {}
    for tool in ("quorvatine", "marisa-trie"):
        target = DATA / f"{name}.{'qvt' if tool == 'quorvatine' else 'marisa'}"
        built = run(BUILD[tool], source, target)
        opened = run(OPEN[tool], source, target)
        added = second_process(tool, source, target)
        results[tool] = dict(
            size=target.stat().st_size,
            build=built["seconds"],
            peak=built["peak"] - built["start"]["rss"],
            first_open=opened["first_open"],
            open=opened["open_seconds"],
            queries=opened["query_seconds"],
            private=opened["after"]["anonymous"] - opened["start"]["anonymous"],
            found=opened["found"],
            fuzzy=opened["fuzzy"],
            second=added,
        )
    ours, peer = results["quorvatine"], results["marisa-trie"]
    if ours["found"] != peer["found"]:
        raise SystemExit(f"{name}: exact answers differ from marisa-trie's")
    print(f"| | quorvatine | marisa-trie | ratio |\n|---|---|---|---|")
    rows = [
        ("file", "size", lambda v: f"{v / MIB:.2f} MiB"),
        ("build (from the file)", "build", lambda v: f"{v:.2f} s"),
        ("peak memory of the build", "peak", lambda v: f"{v / MIB:.0f} MiB"),
        ("first open", "first_open", lambda v: f"{v * 1000:.2f} ms"),
        ("open (best of 4 more)", "open", lambda v: f"{v * 1000:.2f} ms"),
        ("memory added beyond the file's pages", "private", lambda v: f"{v / MIB:.2f} MiB"),
        ("a second process adds (PSS)", "second", lambda v: f"{v / MIB:.2f} MiB"),
    ]
    for label, key, show in rows:
        ratio = ours[key] / peer[key] if peer[key] else float("nan")
        print(f"| {label} | {show(ours[key])} | {show(peer[key])} | {ratio:.2f}x |")
    print(
        f"1,000 queries: quorvatine exact + fuzzy_match(q, 1) {ours['queries'] * 1000:.0f} ms "
        f"({sum(ours['fuzzy']):,} fuzzy answers); marisa-trie `in` {peer['queries'] * 1000:.0f} ms; "
        "exact answers agree"
    )
    text = source.stat().st_size
    if goals:
        checks = [
            ("file at most 2x marisa-trie's", ours["size"] <= 2 * peer["size"]),
            ("load under 5 ms", ours["first_open"] < 0.005),
            ("at most 10 MiB added beyond shared pages", ours["private"] <= 10 * MIB),
            ("a second process adds at most a tenth of the file", ours["second"] <= ours["size"] / 10),
            ("build peak at most the input plus 2x the file", ours["peak"] <= text + 2 * ours["size"]),
        ]
        for label, met in checks:
            print(f"  goal: {label}: {'met' if met else 'MISSED'}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--keys", type=int, default=1_000_000, help="random two-word keys")
    parser.add_argument("--scale", type=int, default=0, help="also this many multi-word keys")
    parser.add_argument("--quick", action="store_true", help="wbritish-huge only")
    args = parser.parse_args()
    DATA.mkdir(parents=True, exist_ok=True)
    lists = {"wbritish-huge": WORD_LISTS["wbritish-huge"]} if args.quick else WORD_LISTS
    for name, path in lists.items():
        measure(name, path, goals=name == "wpolish")
    if not args.quick:
        source = key_files.write_keys(DATA / f"keys-{args.keys}.txt", args.keys)
        measure(f"{args.keys:,} two-word keys", source, goals=True)
    if args.scale:
        source = key_files.write_keys(DATA / f"keys-{args.scale}x3.txt", args.scale, 3)
        measure(f"{args.scale:,} three-word keys", source, goals=True)


if __name__ == "__main__":
    main()
