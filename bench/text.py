"""Correcting text and segmenting unspaced text, side by side with symspellpy.

symspellpy is set up as its README does (its English word and bigram
frequencies, max_dictionary_edit_distance 2, prefix_length 7); quorvatine uses
its bundled dictionary. Outputs are compared as lower-case word sequences,
since symspellpy drops punctuation and case. Then:
- symspellpy's own README examples of compound correction and segmentation;
- the test set of scripts/text_testset.py (1,200 fortunes sentences with
  codespell's real misspellings, run-on and split words injected): sentences
  corrected exactly, correct words changed, words segmented right;
- time per sentence and per 100 characters of unspaced text, the tools run
  in turn, best of ROUNDS;
- `quorvatine check` on a 10 MB file on one core: throughput and peak memory.

    .venv-bench/bin/python bench/text.py [--quick]
"""

from __future__ import annotations

import difflib
import re
import subprocess
import sys
import tempfile
import time
from importlib import resources
from pathlib import Path

import quorvatine
from symspellpy import SymSpell

DATA = Path("build/bench-data/text")
ROUNDS = 3
_WORDS = re.compile(r"[a-z0-9]+(?:'[a-z]+)?")

COMPOUND_EXAMPLE = ("whereis th elove hehad dated forImuch of thepast who couqdn'tread in sixtgrade "
                    "and ins pired him")
COMPOUND_EXPECTED = ("where is the love he had dated for much of the past who couldn't read in sixth "
                     "grade and inspired him")
SEGMENT_EXAMPLE = "thequickbrownfoxjumpsoverthelaz ydog"
SEGMENT_EXPECTED = "the quick brown fox jumps over the lazy dog"


def words(text: str) -> list[str]:
    return _WORDS.findall(text.lower().replace("\u2019", "'"))


def symspell() -> SymSpell:
    import importlib.resources as r

    tool = SymSpell(max_dictionary_edit_distance=2, prefix_length=7)
    base = r.files("symspellpy")
    tool.load_dictionary(str(base / "frequency_dictionary_en_82_765.txt"), 0, 1)
    tool.load_bigram_dictionary(str(base / "frequency_bigramdictionary_en_243_342.txt"), 0, 2)
    return tool


def timed(rounds: int, contenders: dict[str, object]) -> dict[str, tuple[float, object]]:
    """Best time of each contender over `rounds`, taken in turn."""
    best: dict[str, tuple[float, object]] = {}
    for _ in range(rounds):
        for name, run in contenders.items():
            start = time.perf_counter()
            result = run()  # type: ignore[operator]
            spent = time.perf_counter() - start
            if name not in best or spent < best[name][0]:
                best[name] = (spent, result)
    return best


def changed_words(truth: list[str], noisy: list[str], output: list[str]) -> int:
    """Words right in the noisy text (aligned with the truth) that the output lost."""
    right = set()
    for block in difflib.SequenceMatcher(None, truth, noisy, autojunk=False).get_matching_blocks():
        right.update(range(block.a, block.a + block.size))
    kept = set()
    for block in difflib.SequenceMatcher(None, truth, output, autojunk=False).get_matching_blocks():
        kept.update(range(block.a, block.a + block.size))
    return len(right - kept)


def matched(truth: list[str], output: list[str]) -> int:
    return sum(b.size for b in difflib.SequenceMatcher(None, truth, output, autojunk=False)
               .get_matching_blocks())


def main(quick: bool) -> None:
    if not (DATA / "compound.tsv").exists():
        subprocess.run([sys.executable, "scripts/text_testset.py", str(DATA)], check=True)
    with resources.as_file(resources.files("quorvatine") / "data" / "american-english.qvt") as p:
        trie = quorvatine.load(p)
    tool = symspell()

    print("== symspellpy's README examples")
    ours = quorvatine.correct(trie, COMPOUND_EXAMPLE).text
    theirs = tool.lookup_compound(COMPOUND_EXAMPLE, max_edit_distance=2)[0].term
    print(f"compound   quorvatine: {ours}\n           symspellpy: {theirs}")
    print(f"           expected:   {COMPOUND_EXPECTED}")
    print(f"           same as expected: quorvatine {words(ours) == words(COMPOUND_EXPECTED)}, "
          f"symspellpy {words(theirs) == words(COMPOUND_EXPECTED)}")
    for distance in (0, 1, 2):
        ours = quorvatine.segment(trie, SEGMENT_EXAMPLE, max(distance, 0)).text
        theirs = tool.word_segmentation(SEGMENT_EXAMPLE, max_edit_distance=distance).corrected_string
        print(f"segment {distance}  quorvatine: {ours} ({ours == SEGMENT_EXPECTED}); "
              f"symspellpy: {theirs} ({theirs == SEGMENT_EXPECTED})")

    pairs = [line.rstrip("\n").split("\t") for line in open(DATA / "compound.tsv", encoding="utf-8")]
    segs = [line.rstrip("\n").split("\t") for line in open(DATA / "segment.tsv", encoding="utf-8")]
    if quick:
        pairs, segs = pairs[:200], segs[:200]
    noisy = [n for n, _ in pairs]
    print(f"\n== compound correction: {len(pairs)} sentences")
    results = timed(ROUNDS, {
        "quorvatine correct": lambda: [quorvatine.correct(trie, s).text for s in noisy],
        "quorvatine correct_many (all cores)": lambda: [c.text for c in quorvatine.correct_many(trie, noisy)],
        "symspellpy lookup_compound": lambda: [tool.lookup_compound(s, 2)[0].term for s in noisy],
    })
    base = results["symspellpy lookup_compound"][0]
    for name, (spent, outputs) in results.items():
        exact = sum(words(o) == words(t) for o, (_, t) in zip(outputs, pairs))  # type: ignore[arg-type]
        lost = sum(changed_words(words(t), words(n), words(o))
                   for o, (n, t) in zip(outputs, pairs))  # type: ignore[arg-type]
        print(f"{name:38s} exact {exact:5d} ({exact / len(pairs):.1%})  correct words changed "
              f"{lost:5d}  {spent / len(pairs) * 1000:7.3f} ms/sentence ({base / spent:5.1f}x)")

    letters = sum(len(s) for s, _ in segs)
    print(f"\n== segmentation: {len(segs)} unspaced sentences, {letters} characters, one typo each")
    for distance in (0, 1, 2):
        # symspellpy takes about 2 s per 100 characters at distance 2: the
        # first 200 sentences only there.
        part = segs if distance < 2 else segs[:200]
        contenders = {
            f"quorvatine segment max_dist {distance}":
                lambda d=distance, p=part: [quorvatine.segment(trie, s, d).text for s, _ in p],
        }
        if distance != 1:
            contenders[f"symspellpy word_segmentation {distance}"] = (
                lambda d=distance, p=part: [
                    tool.word_segmentation(s, max_edit_distance=d).corrected_string for s, _ in p])
        results = timed(1 if distance == 2 else ROUNDS, contenders)
        peer = results.get(f"symspellpy word_segmentation {distance}")
        total = sum(len(t.split()) for _, t in part)
        chars = sum(len(s) for s, _ in part)
        for name, (spent, outputs) in results.items():
            right = sum(matched(t.split(), words(o)) for o, (_, t) in zip(outputs, part))  # type: ignore[arg-type]
            ratio = f" ({peer[0] / spent:5.1f}x)" if peer else ""
            print(f"{name:38s} words right {right:6d} of {total} ({right / total:.1%})  "
                  f"{spent / chars * 100 * 1000:8.3f} ms per 100 characters{ratio}")

    print("\n== quorvatine check on a 10 MB file, one core")
    with tempfile.TemporaryDirectory() as tmp:
        big = Path(tmp) / "big.txt"
        body = "\n".join(noisy) + "\n"
        with open(big, "w", encoding="utf-8") as f:
            while f.tell() < 10_000_000:
                f.write(body)
        size = big.stat().st_size
        script = ("import sys; from quorvatine.cli import main; s = main(sys.argv[1:]); "
                  "sys.stdout.flush(); print(open('/proc/self/status').read().split('VmHWM:')[1].split()[0], "
                  "file=sys.stderr); sys.exit(s)")
        start = time.perf_counter()
        proc = subprocess.run(["taskset", "-c", "0", sys.executable, "-c", script, "check", str(big)],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        spent = time.perf_counter() - start
        peak = int(proc.stderr.split()[-1]) / 1024
        print(f"{size / 1e6:.1f} MB in {spent:.1f} s: {size / 1e6 / spent:.2f} MB/s, "
              f"{proc.stdout.count(chr(10))} unknown words, peak memory {peak:.0f} MiB")


if __name__ == "__main__":
    main("--quick" in sys.argv[1:])
