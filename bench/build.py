"""Build benchmark: quorvatine's native layout against the builders a user
would otherwise wait for, on Debian's word lists, side by side in one run.

    bench/setup.sh                              # once: word lists, .venv-bench, peers
    .venv-bench/bin/python bench/build.py --quick
    .venv-bench/bin/python bench/build.py --dict wpolish --rounds 3

Every build runs in a fresh forked child, the tools taking turns round by
round; a figure is the median over the rounds. Per build: seconds, the peak
resident growth during the build and what stays resident after it. For
quorvatine also the goals: at least 20x faster than symspellpy's build at
max_dist 1, faster than rust_fst's Set.from_iter(sorted(words)), a build of
wpolish from its file within 3 s, and a peak below the input's own size plus
three times the finished index.
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import statistics
import sys
import time
import traceback
from pathlib import Path

import peers
import quorvatine
from fuzzy import _settle  # imported before the children fork, so no build pays for it

# name -> the file of the Debian package of the same name
WORD_LISTS = {
    "wamerican": Path("/usr/share/dict/american-english"),
    "wamerican-insane": Path("/usr/share/dict/american-english-insane"),
    "wngerman": Path("/usr/share/dict/ngerman"),
    "wpolish": Path("/usr/share/dict/polish"),
}
# symspellpy takes minutes on millions of words; past this many it is not run,
# and past SYMSPELL_ONE_ROUND it is built once rather than in every round.
SYMSPELL_MOST_WORDS = 1_000_000
SYMSPELL_ONE_ROUND = 200_000


def log(*parts: object) -> None:
    print(*parts, file=sys.stderr, flush=True)


def _status_kib(field: str) -> int:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise KeyError(field)


def _reset_peak() -> None:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # the peak resident size starts again from the current one


def _builders(words: list[str], path: Path) -> dict[str, tuple[str, object]]:
    """key -> (label, a function that builds and returns the index)."""

    return {
        "ours": ("quorvatine.build(words)", lambda: quorvatine.build(words)),
        "ours-file": ("quorvatine.build_word_list(path)", lambda: quorvatine.build_word_list(path)),
        "fst": ("rust_fst Set.from_iter(sorted(words))", lambda: peers.build_fst(words)),
        "symspell": ("symspellpy build, max_dist 1", lambda: peers.build_symspell(words, 1)),
    }


def _child(conn, words: list[str], path: Path, key: str) -> None:
    try:
        build = _builders(words, path)[key][1]
        _settle()
        before = _status_kib("VmRSS")
        _reset_peak()
        start = time.perf_counter()
        index = build()
        seconds = time.perf_counter() - start
        peak = _status_kib("VmHWM") - before
        _settle()
        kept = _status_kib("VmRSS") - before
        size = len(index.to_bytes()) if key.startswith("ours") else None
        conn.send((seconds, peak * 1024, kept * 1024, size, None))
    except BaseException:  # noqa: BLE001 - reported in the parent
        conn.send((None, None, None, None, traceback.format_exc(limit=3)))
    finally:
        conn.close()


def run_child(words: list[str], path: Path, key: str):
    ctx = multiprocessing.get_context("fork")
    parent, child = ctx.Pipe(duplex=False)
    proc = ctx.Process(target=_child, args=(child, words, path, key))
    proc.start()
    child.close()
    try:
        result = parent.recv()
    except EOFError:
        result = (None, None, None, None, f"child exited with {proc.exitcode}")
    proc.join()
    return result


def input_bytes(words: list[str]) -> int:
    """What the word list itself takes in the interpreter: the list and its strs."""
    return sys.getsizeof(words) + sum(map(sys.getsizeof, words))


def mib(n: float) -> str:
    return f"{n / 2**20:,.1f}"


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="wamerican only, one round")
    ap.add_argument("--dict", action="append", choices=list(WORD_LISTS), help="word list (repeatable)")
    ap.add_argument("--rounds", type=int, help="builds per tool (default 3; --quick: 1)")
    ap.add_argument("--tools", default="ours,ours-file,fst,symspell", help="ours, ours-file, fst, symspell")
    args = ap.parse_args(argv)
    names = args.dict or (["wamerican"] if args.quick else list(WORD_LISTS))
    rounds = args.rounds or (1 if args.quick else 3)
    keys = [k for k in args.tools.split(",") if k]
    for key in ("fst", "symspell"):
        why = peers.unavailable(key) if key in keys else None
        if why:
            log(f"skipping {key}: {why}")
            keys.remove(key)

    out = ["## Build benchmark", "", f"{rounds} round(s), medians; each build in a fresh child process.", ""]
    for name in names:
        path = WORD_LISTS[name]
        if not path.exists():
            log(f"skipping {name}: {path} missing; run bench/setup.sh")
            continue
        lines = path.read_text(encoding="utf-8").split("\n")
        words = list(dict.fromkeys(w for w in lines if w))
        del lines
        log(f"{name}: {len(words):,} words")
        run_keys = [k for k in keys if not (k == "symspell" and len(words) > SYMSPELL_MOST_WORDS)]
        results: dict[str, list] = {k: [] for k in run_keys}
        for r in range(rounds):
            for key in run_keys[r % len(run_keys) :] + run_keys[: r % len(run_keys)]:
                if key == "symspell" and r > 0 and len(words) > SYMSPELL_ONE_ROUND:
                    continue  # one build is enough to show its order of magnitude
                log(f"  {key} round {r + 1}")
                results[key].append(run_child(words, path, key))
        labels = _builders(words, path)
        out += [
            f"### {name}",
            "",
            f"{len(words):,} distinct words; file {mib(path.stat().st_size)} MiB, "
            f"as a Python list {mib(input_bytes(words))} MiB",
            "",
            "| build | s | ÷ quorvatine.build | peak growth MiB | kept MiB | notes |",
            "|---|---|---|---|---|---|",
        ]
        ours = statistics.median(r[0] for r in results["ours"]) if results.get("ours") else None
        for key, runs in results.items():
            errors = [r[4] for r in runs if r[4]]
            if errors:
                out.append(f"| {labels[key][0]} | – | – | – | – | failed: {errors[0].strip().splitlines()[-1]} |")
                continue
            seconds = statistics.median(r[0] for r in runs)
            peak = statistics.median(r[1] for r in runs)
            kept = statistics.median(r[2] for r in runs)
            ratio = f"{seconds / ours:.1f}×" if ours else "–"
            note = ""
            if key.startswith("ours"):
                size = runs[0][3]
                source = path.stat().st_size if key == "ours-file" else input_bytes(words)
                bound = source + 3 * kept
                note = (
                    f"bytes form {mib(size)} MiB; peak {'≤' if peak <= bound else '>'} input + 3 × kept "
                    f"({mib(bound)} MiB)"
                )
            out.append(f"| {labels[key][0]} | {seconds:.2f} | {ratio} | {mib(peak)} | {mib(kept)} | {note} |")
        if len(words) > SYMSPELL_MOST_WORDS and "symspell" in keys:
            out.append(f"| symspellpy | – | – | – | – | not run above {SYMSPELL_MOST_WORDS:,} words |")
        out.append("")
        print("\n".join(out[-(len(results) + 8):]), file=sys.stderr)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
