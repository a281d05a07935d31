"""Checking and correcting whole texts, and splitting text written without
spaces into words.

A text is cut into words at Unicode word boundaries: a word is a run of
letters (marks included), with apostrophes inside it (``don't``); hyphens,
spaces and punctuation end it. Runs holding digits, underscores or inner
dots (numbers, ``snake_case``, ``e.g``, ``file.txt``), URLs, e-mail
addresses and text between backquotes are left alone. Offsets count
characters (code points) of the ``str``, lines and columns count from 1, and
``\\r\\n`` ends one line.
"""

from __future__ import annotations

import bisect
import re
import sys
from collections.abc import Iterable, Sequence
from typing import NamedTuple

from _quorvatine import PrefixSearch

from . import _lexicon, _native, _pairs
from .casing import carry_case
from .parallel import _batch_of, _thread_count
from .ranked import _check as _check_arguments

# The costs of the segmentation (nats, see _lexicon): an edit, a piece kept
# as it is (plus per character), a cut inside a word, a space removed.
KEPT_PIECE = 20.0
KEPT_PER_CHAR = 3.0
SPLIT = 2.0
JOIN = 6.0
# A dictionary word as written is taken to be the word meant: what it costs
# a text is its own cost less this, so that another word (by an edit, or by
# splitting it in two) must be that much likelier to replace it.
AS_WRITTEN = 3.0
# How many words on either side of an unknown word may join it or take part
# of it: one, so that a correction never reaches two words away.
_REACH = 1
# The most words one correction may span.
_MOST_WORDS = 8

_SPAN = re.compile(r"\S+")
_LETTERS = re.compile(r"[^\W\d_]+")
_CHUNK = re.compile(r"\w+(?:['\u2019.]\w+)*")
_WORD = re.compile(r"[^\W\d_]+(?:['\u2019][^\W\d_]+)*")
_URL_OR_ADDRESS = re.compile(
    r"(?:[A-Za-z][A-Za-z0-9+.-]*://|www\.)[^\s<>\"'`]*[^\s<>\"'`.,;:!?)\]}]"
    r"|[\w.+-]+@[\w-]+(?:\.[\w-]+)+"
)
_CODE = re.compile(r"`[^`\n]*`")
_LINE_END = re.compile(r"\r\n|[\n\r\v\f\x1c\x1d\x1e\x85\u2028\u2029]")


class Issue(NamedTuple):
    """An unknown word of a checked text."""

    word: str
    start: int  # offset of its first character
    end: int  # one past its last
    line: int  # from 1
    column: int  # from 1, in characters
    suggestions: list[str]  # best first; may be empty


class Correction(NamedTuple):
    """A change `correct` made: text[start:end] was `original`."""

    start: int
    end: int
    original: str
    replacement: str


class Corrected(NamedTuple):
    """What `correct` gives: the corrected text and the changes made, in
    the order of the text."""

    text: str
    corrections: list[Correction]


class Segmented(NamedTuple):
    """What `segment` gives: the words found in a text written without
    spaces."""

    text: str  # the input with spaces put between the words found
    words: list[str]  # the words, as written in `text`
    edits: int  # the typos corrected within them


def words(text: str) -> list[tuple[int, int]]:
    """The (start, end) offsets of the words of `text` that are checked, in
    order (see the module's documentation for what counts as one)."""
    skipped = _skipped(text)
    is_word = _WORD.fullmatch
    found = []
    for chunk in _CHUNK.finditer(text):
        at, to = chunk.span()
        if is_word(text, at, to) and not (skipped and _inside(skipped, at)):
            found.append((at, to))
    return found


def _skipped(text: str) -> list[tuple[int, int]]:
    """The regions of `text` whose words are not checked (code between
    backquotes, URLs, e-mail addresses), ordered by start."""
    skipped = [m.span() for m in _CODE.finditer(text)] if "`" in text else []
    if "@" in text or "://" in text or "www." in text:
        skipped = sorted(skipped + [m.span() for m in _URL_OR_ADDRESS.finditer(text)])
    return skipped


def _inside(regions: list[tuple[int, int]], at: int) -> bool:
    k = bisect.bisect_right(regions, (at, sys.maxsize)) - 1
    return k >= 0 and regions[k][0] <= at < regions[k][1]


class _Lines:
    """Line and column of an offset."""

    def __init__(self, text: str) -> None:
        self._starts = [0] + [m.end() for m in _LINE_END.finditer(text)]

    def at(self, offset: int) -> tuple[int, int]:
        line = bisect.bisect_right(self._starts, offset)
        return line, offset - self._starts[line - 1] + 1


def check(trie: PrefixSearch, text: str, n: int = 5, max_dist: int = 2) -> list[Issue]:
    """The words of `text` that `trie` does not hold, in order, each with up
    to `n` suggestions within `max_dist` edits (an adjacent swap is one),
    best first: a word is known when the trie holds it as written, or, for
    a capitalised word or one in capitals, in lower case (or capitalised).
    A suggestion may be two words (``thequick``: ``the quick``)."""
    return check_many(trie, [text], n, max_dist, threads=1)[0]


def check_many(
    trie: PrefixSearch,
    texts: Iterable[str],
    n: int = 5,
    max_dist: int = 2,
    *,
    threads: int | None = None,
) -> list[list[Issue]]:
    """``[check(trie, t, n, max_dist) for t in texts]``, the suggestions and
    splits worked out on up to `threads` native threads (default: every
    core)."""
    batch = _texts(texts)
    _check_arguments(trie, "", "text", n, max_dist, None)
    return _checked(trie, batch, n, max_dist, _thread_count(threads, "threads"), {}, {})


def _checked(
    trie: PrefixSearch,
    batch: Sequence[str],
    n: int,
    max_dist: int,
    threads: int,
    advice: dict[str, list[str]],
    known: dict[str, bool],
) -> list[list[Issue]]:
    """check_many's answer; `advice` keeps the suggestions of the unknown
    words met so far and `known` whether each word met is known (a stream's
    batches share them)."""
    found = []
    # The words not held as written, found in native code; of those, the
    # ones no spelling the casing rules allow is held under.
    for text, unwritten in zip(batch, _native.unwritten_words(trie, list(batch))):
        skipped = _skipped(text) if unwritten else None
        spans = []
        for a, b in unwritten:
            if skipped and _inside(skipped, a):
                continue
            word = text[a:b]
            hit = known.get(word)
            if hit is None:
                hit = known[word] = _lexicon.known(trie, word) is not None
            if not hit:
                spans.append((a, b))
        found.append((text, spans))
    unknown = sorted({text[a:b] for text, spans in found for a, b in spans} - advice.keys())
    advice.update(zip(unknown, _suggestions(trie, unknown, n, max_dist, threads)))
    out = []
    for text, spans in found:
        lines = _Lines(text) if spans else None
        issues = []
        for a, b in spans:
            line, column = lines.at(a) if lines else (1, 1)
            issues.append(Issue(text[a:b], a, b, line, column, list(advice[text[a:b]])))
        out.append(issues)
    return out


def _known_span(trie: PrefixSearch, text: str, span: tuple[int, int]) -> int | None:
    return _lexicon.known(trie, text[span[0]:span[1]])


def _suggestions(
    trie: PrefixSearch, unknown: list[str], n: int, max_dist: int, threads: int
) -> list[list[str]]:
    """Up to n suggestions per unknown word: single words from the lexicon,
    and the word split into known words when that explains it better."""
    if not unknown or n == 0:
        return [[] for _ in unknown]
    singles = _lexicon.corrections_many(trie, unknown, n, max_dist, threads)
    jobs: list[_Job] = [(_folded(w), [], [], None, None) for w in unknown]
    splits = _native.segment_many(trie, jobs, 0, True, _costs(trie, SPLIT, 0.0), threads)
    out = []
    for word, single, (cost, pieces) in zip(unknown, singles, splits):
        ranked = [w for w, _, _ in single]
        if len(pieces) > 1 and all(p[2] == 0 for p in pieces):
            # The split goes before the first single word it beats.
            _, written = _changes(word, [(0, len(word))], pieces)
            at = next((k for k, (_, c, _) in enumerate(single) if cost < c), len(single))
            ranked.insert(at, " ".join(written))
        out.append(list(dict.fromkeys(ranked))[:n])
    return out


def _costs(trie: PrefixSearch, split: float, join: float) -> tuple[float, ...]:
    """The segmentation's costs, with the summary of the trie's counts that
    spares it a pass over them."""
    costs = (_lexicon.PER_EDIT, KEPT_PIECE, KEPT_PER_CHAR, split, join)
    summary = _lexicon.word_costs(trie).summary
    return costs + summary if summary is not None else costs


def _folded(text: str) -> str:
    # Lower case when that keeps every offset (it does not for a few letters).
    lower = text.lower()
    return lower if len(lower) == len(text) else text


def _written(token: str, first: bool, written: str, key: str, distance: int) -> str:
    """How a key replacing the letters `written` of `token` is written: as
    they were when it only differs from them in case; else in capitals when
    the token is in capitals, capitalised when the token is capitalised and
    this is its first piece, otherwise as the dictionary writes it."""
    if distance == 0 and _folded(key) == _folded(written):
        return written
    if first:
        return carry_case(token, key)
    return key.upper() if len(token) > 1 and token.isupper() else key


def correct(
    trie: PrefixSearch, text: str, *, max_dist: int = 2, threshold: float = 0.0
) -> Corrected:
    """`text` with each unknown word replaced by its likeliest correction, and
    the corrections made, in order. Everything else stays as it was, byte for
    byte; a correction is written in the casing of the word it replaces.

    A correction may split a word (``thequick``: ``the quick``), join a word
    with its neighbour across a space (``acc ommodate``: ``accommodate``) or
    both (``th elove``: ``the love``), when the dictionary explains the text
    better that way. Words are weighed by their frequency (payloads are
    frequency ranks) against the edits they need, each typo at most
    `max_dist` edits within a word (an adjacent swap is one). A word is left
    alone unless its correction is more likely than the text as written by a
    factor of at least ``exp(threshold)``: raise `threshold` to correct less."""
    return correct_many(trie, [text], max_dist=max_dist, threshold=threshold, threads=1)[0]


def correct_many(
    trie: PrefixSearch,
    texts: Iterable[str],
    *,
    max_dist: int = 2,
    threshold: float = 0.0,
    threads: int | None = None,
) -> list[Corrected]:
    """``[correct(trie, t, ...) for t in texts]``, the corrections worked out
    on up to `threads` native threads (default: every core)."""
    batch = _texts(texts)
    _check_arguments(trie, "", "text", 0, max_dist, None)
    count = _thread_count(threads, "threads")
    plans = [
        _unknown_windows(trie, text, found)
        for text, found in zip(batch, _native.text_words(trie, list(batch)))
    ]
    costs = _costs(trie, SPLIT, JOIN)
    return [
        Corrected(_applied(text, changes), changes)
        for text, (changes, _, _) in zip(batch, _rewrites(trie, batch, plans, max_dist, costs, threshold, count))
    ]


_Job = tuple[str, list[int], list[tuple[int, int, float, int | None, bool]], int | None, int | None]


class _Window(NamedTuple):
    """A stretch of a text to segment: its words, separated by single spaces;
    the payload of each known one; those of the known words just before and
    after it across a space, if any."""

    spans: list[tuple[int, int]]
    payloads: list[int | None]
    before: int | None = None
    after: int | None = None


def _unknown_windows(
    trie: PrefixSearch, text: str, found: list[tuple[int, int, int | None]]
) -> list[_Window]:
    """Each unknown word of `text` with the words next to it across one
    space, merged where they meet; `found` holds the words of `text` with
    their payloads as written (``_native.text_words``)."""
    if all(payload is not None for _, _, payload in found):
        return []  # every word is known as written
    skipped = _skipped(text)
    if skipped:
        found = [word for word in found if not _inside(skipped, word[0])]
    spans = [(a, b) for a, b, _ in found]
    # The words not held as written may be held in another casing.
    payloads = [
        payload if payload is not None else _lexicon.known_otherwise(trie, text[a:b])
        for a, b, payload in found
    ]
    # Unknown words that read as names are left alone, and no correction
    # reaches into them.
    unknown = [k for k, payload in enumerate(payloads) if payload is None]
    names = [False] * len(spans)
    for k in unknown:
        names[k] = _is_name(text, spans[k])
    groups: list[list[int]] = []
    for k in unknown:
        if names[k]:
            continue
        low = k
        while (low > k - _REACH and low > 0 and not names[low - 1]
               and _joinable(text, spans[low - 1], spans[low])):
            low -= 1
        high = k
        while (high < k + _REACH and high + 1 < len(spans) and not names[high + 1]
               and _joinable(text, spans[high], spans[high + 1])):
            high += 1
        if groups and groups[-1][-1] >= low and len(groups[-1]) < _MOST_WORDS:
            groups[-1] = list(range(groups[-1][0], max(groups[-1][-1], high) + 1))
        else:
            groups.append(list(range(low, high + 1)))
    def neighbour(k: int, other: int) -> int | None:
        inside = 0 <= other < len(spans)
        if not inside or not _joinable(text, *sorted((spans[k], spans[other]))):
            return None
        return payloads[other]

    return [
        _Window([spans[k] for k in g], [payloads[k] for k in g],
                neighbour(g[0], g[0] - 1), neighbour(g[-1], g[-1] + 1))
        for g in groups
    ]


_OPENERS = " \t\"'([{\u201c\u2018"
_SENTENCE_ENDS = (".", "!", "?")


def _is_name(text: str, span: tuple[int, int]) -> bool:
    """Whether the word at `span` reads as a name or an acronym: in capitals
    (two to five letters), or capitalised where no sentence starts (the
    text before it, quotes and brackets aside, is neither empty nor ends a
    sentence)."""
    word = text[span[0]:span[1]]
    if not word[:1].isupper():
        return False
    if word.isupper():
        return 1 < len(word) <= 5
    before = text[max(0, span[0] - 80):span[0]].rstrip(_OPENERS)
    return bool(before) and not before.endswith(_SENTENCE_ENDS)


def _job(
    text: str,
    window: _Window,
    best: dict[str, tuple[str, float, int]],
    word_cost: _lexicon.WordCosts,
    pairs: _pairs.PairCosts,
) -> tuple[_Job, float, dict[int, str]]:
    """The segmentation job of a window: its letters run together, cut
    between its words, each known word a fixed piece at its cost and each
    unknown one with a correction (`best`: word to correction, cost and
    payload) a fixed piece at that cost. Also what the window costs as it is
    written (its known words paired as the segmentation pairs them), and the
    corrections by the position of their pieces."""
    cuts: list[int] = []
    fixed: list[tuple[int, int, float, int | None, bool]] = []
    at, as_written = 0, 0.0
    fixes: dict[int, str] = {}
    before = window.before
    for (a, b), payload in zip(window.spans, window.payloads):
        if at:
            cuts.append(at)
        if payload is not None:
            alone = word_cost(payload)
            cost = alone - AS_WRITTEN
            fixed.append((at, at + b - a, cost, payload, True))
            cost += pairs.after(before, payload, alone) - alone
        else:
            cost = KEPT_PIECE + KEPT_PER_CHAR * (b - a)
            if text[a:b] in best:
                fixes[at], corrected, key = best[text[a:b]]
                fixed.append((at, at + b - a, corrected, key, False))
        as_written += cost
        before = payload
        at += b - a
    if before is not None and window.after is not None:
        alone = word_cost(window.after)
        as_written += pairs.after(before, window.after, alone) - alone
    job = ("".join(_folded(text[a:b]) for a, b in window.spans), cuts, fixed,
           window.before, window.after)
    return job, as_written, fixes


def _rewrites(
    trie: PrefixSearch,
    texts: Sequence[str],
    plans: list[list[_Window]],
    max_dist: int,
    costs: tuple[float, ...],
    threshold: float,
    threads: int,
) -> list[tuple[list[Correction], list[str], int]]:
    """For each text, the corrections its windows call for (those whose
    segmentation beats the window as written by `threshold`), the words of
    its windows after them, and the edits they made within words."""
    if not any(plans):
        return [([], [], 0) for _ in texts]
    unknown = sorted({text[a:b] for text, plan in zip(texts, plans) for w in plan
                      for (a, b), p in zip(w.spans, w.payloads) if p is None})
    best = {
        word: found[0]
        for word, found in zip(
            unknown, _lexicon.corrections_many(trie, unknown, 1, max_dist, threads)
        )
        if found
    }
    word_cost = _lexicon.word_costs(trie)
    pairs = _pairs.pair_costs(trie)
    jobs = [_job(text, w, best, word_cost, pairs) for text, plan in zip(texts, plans) for w in plan]
    answers = iter(_native.segment_many(
        trie, [j for j, _, _ in jobs], min(max_dist, 1), True, costs, threads, pairs.packed
    ))
    written = iter((cost, fixes) for _, cost, fixes in jobs)
    out = []
    for text, plan in zip(texts, plans):
        changes: list[Correction] = []
        found: list[str] = []
        edits = 0
        for window in plan:
            cost, pieces = next(answers)
            as_written, fixes = next(written)
            if cost + threshold < as_written:
                window_changes, window_words = _changes(text, window.spans, pieces, fixes)
                changes += window_changes
                found += window_words
                edits += sum(piece[5] for piece in pieces)
            else:
                found += [text[a:b] for a, b in window.spans]
        out.append((changes, found, edits))
    return out


def _joinable(text: str, left: tuple[int, int], right: tuple[int, int]) -> bool:
    gap = text[left[1]:right[0]]
    return gap == " "


def _changes(
    text: str,
    window: list[tuple[int, int]],
    pieces: list[tuple[int, int, int, str, int, int]],
    fixes: dict[int, str] | None = None,
) -> tuple[list[Correction], list[str]]:
    """The corrections that turn the words of `window` into `pieces`, and the
    words the pieces write. The window is cut where both its words and the
    pieces end, and each part whose pieces differ from its words is
    replaced whole: its pieces joined by one space, the spaces between its
    words dropped."""
    starts, at = [], 0
    for a, b in window:
        starts.append(at)
        at += b - a
    word_at = {start: k for k, start in enumerate(starts)}
    letters = "".join(text[x:y] for x, y in window)
    out: list[Correction] = []
    found: list[str] = []
    part: list[str] = []
    first = 0  # the word the part begins with
    for start, end, kind, key, _, distance in pieces:
        k = bisect.bisect_right(starts, start) - 1
        written = letters[start:end]
        token = text[window[k][0]:window[k][1]]
        if kind == 1 and fixes and start in fixes:
            new = fixes[start]
        elif kind == 0:
            new = _written(token, start == starts[k], written, key, distance)
        else:
            new = written
        part.append(new)
        found.append(new)
        if end != at and end not in word_at:
            continue
        last = word_at[end] - 1 if end != at else len(window) - 1
        a, b = window[first][0], window[last][1]
        replacement = " ".join(part)
        if replacement != text[a:b]:
            out.append(Correction(a, b, text[a:b], replacement))
        part, first = [], last + 1
    return out, found


def _applied(text: str, corrections: list[Correction]) -> str:
    parts, at = [], 0
    for c in corrections:
        parts.append(text[at:c.start])
        parts.append(c.replacement)
        at = c.end
    parts.append(text[at:])
    return "".join(parts)


def segment(trie: PrefixSearch, text: str, max_dist: int = 1) -> Segmented:
    """`text` written without spaces split into words of `trie`, typos within
    them corrected up to `max_dist` edits each (an adjacent swap is one);
    weighed as `correct` weighs its corrections. Runs of letters are split;
    everything else (digits, punctuation, spaces) stays where it is, and each
    word keeps the casing of the letters it replaces. Linear in the text's
    length: one walk of the trie per position finds every word beginning
    there."""
    return segment_many(trie, [text], max_dist, threads=1)[0]


def segment_many(
    trie: PrefixSearch, texts: Iterable[str], max_dist: int = 1, *, threads: int | None = None
) -> list[Segmented]:
    """``[segment(trie, t, max_dist) for t in texts]``, on up to `threads`
    native threads (default: every core)."""
    batch = _texts(texts)
    _check_arguments(trie, "", "text", 0, max_dist, None)
    count = _thread_count(threads, "threads")
    plans = [_runs(trie, text) for text in batch]
    costs = _costs(trie, 0.0, JOIN)
    out = []
    for text, (changes, found, edits) in zip(
        batch, _rewrites(trie, batch, plans, max_dist, costs, float("-inf"), count)
    ):
        out.append(Segmented(_applied(text, changes), found, edits))
    return out


def _runs(trie: PrefixSearch, text: str) -> list[_Window]:
    """The runs of letters of `text` (apostrophes inside them), those
    separated by single spaces together."""
    spans = [m.span() for m in _WORD.finditer(text)]
    windows: list[_Window] = []
    for k, span in enumerate(spans):
        payload = _known_span(trie, text, span)
        if windows and _joinable(text, spans[k - 1], span) and len(windows[-1].spans) < _MOST_WORDS:
            windows[-1].spans.append(span)
            windows[-1].payloads.append(payload)
        else:
            windows.append(_Window([span], [payload]))
    return windows


def _texts(texts: Iterable[str]) -> list[str] | tuple[str, ...]:
    batch = _batch_of(texts, "texts")
    for text in batch:
        if not isinstance(text, str):
            raise TypeError(f"texts must be str, not {type(text).__name__}")
    return batch


__all__ = [
    "Corrected",
    "Correction",
    "Issue",
    "Segmented",
    "check",
    "check_many",
    "correct",
    "correct_many",
    "segment",
    "segment_many",
    "words",
]
