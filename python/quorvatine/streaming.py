"""Checking and correcting texts of any size, a slice at a time, for the
command line: memory stays bounded by the slices, whatever the input's size.

A slice ends at a line end, or, in a line longer than LONGEST_LINE
characters, after its last space or tab before that many (a line without
one is cut there). Bytes that are not UTF-8 pass through unchanged.
"""

from __future__ import annotations

import io
import json
import os
import stat
import sys
from collections.abc import Iterator
from typing import BinaryIO, TextIO

from _quorvatine import PrefixSearch

from . import text as texts
from .dictionary import STDIN
from .parallel import _thread_count
from .progress import InputProgress

LONGEST_LINE = 1 << 16
BATCH_CHARS = 1 << 16  # characters handed to one batch call
ADVICE_KEPT = 50_000  # unknown words whose suggestions a stream keeps
KNOWN_KEPT = 500_000  # words whose lookup a stream keeps
_LINE_ENDS = ("\r\n", "\n", "\r")


def check_stream(
    trie: PrefixSearch,
    path: str,
    out: TextIO,
    *,
    n: int = 5,
    max_dist: int = 2,
    as_json: bool = False,
    progress: bool = False,
) -> int:
    """Writes a line per unknown word of the file at `path` (``-``: standard
    input) to `out`, ``NAME:LINE:COL: word: suggestions`` or a JSON object;
    returns how many there were. The lookups of up to KNOWN_KEPT words
    and the suggestions of up to ADVICE_KEPT unknown ones are kept for the
    batches that follow. With `progress`, a long run draws a bar on
    standard error when it is a terminal (InputProgress)."""
    name = "<stdin>" if path == STDIN else path
    found = 0
    line, column = 1, 0
    sink = _binary(out)
    advice: dict[str, list[str]] = {}
    known: dict[str, bool] = {}
    threads = _thread_count(None, "threads")
    with _Source(path, progress, out) as source:
        for batch in source.batches():
            if len(advice) > ADVICE_KEPT or len(known) > KNOWN_KEPT:
                advice.clear()
                known.clear()
            issues = texts._checked(trie, batch, n, max_dist, threads, advice, known)
            lines = []
            for piece, piece_issues in zip(batch, issues):
                for issue in piece_issues:
                    at_line = line + issue.line - 1
                    at_column = issue.column + (column if issue.line == 1 else 0)
                    if as_json:
                        record = {"file": name, "line": at_line, "column": at_column,
                                  "word": issue.word, "suggestions": issue.suggestions}
                        lines.append(json.dumps(record, ensure_ascii=False))
                    else:
                        listed = ", ".join(issue.suggestions) or "no suggestions"
                        lines.append(f"{name}:{at_line}:{at_column}: {issue.word}: {listed}")
                found += len(piece_issues)
                ends = [m.end() for m in texts._LINE_END.finditer(piece)]
                if ends:
                    line, column = line + len(ends), len(piece) - ends[-1]
                else:
                    column += len(piece)
            with source.progress.output():
                sink.write("".join(f"{record}\n" for record in lines).encode("utf-8", "surrogateescape"))
                sink.flush()
    return found


def correct_stream(
    trie: PrefixSearch,
    path: str,
    out: TextIO,
    *,
    max_dist: int = 2,
    threshold: float = 0.0,
    progress: bool = False,
) -> None:
    """Writes the text of the file at `path` (``-``: standard input) to `out`
    with its unknown words corrected, everything else as it was; `progress`
    as for check_stream."""
    sink = _binary(out)
    with _Source(path, progress, out) as source:
        for batch in source.batches():
            corrected = texts.correct_many(trie, batch, max_dist=max_dist, threshold=threshold)
            with source.progress.output():
                sink.write("".join(c.text for c in corrected).encode("utf-8", "surrogateescape"))
                sink.flush()


def _binary(out: TextIO) -> BinaryIO | _TextSink:
    # The bytes themselves: no newline translation, and undecodable input
    # written back as it came.
    out.flush()
    return out.buffer if hasattr(out, "buffer") else _TextSink(out)


class _TextSink(io.RawIOBase):
    """Bytes written to a text stream (a StringIO in tests)."""

    def __init__(self, out: TextIO) -> None:
        self._out = out

    def write(self, data: bytes) -> int:  # type: ignore[override]
        self._out.write(data.decode("utf-8", "surrogateescape"))
        return len(data)


class _Source:
    """The text of a file or of standard input, in batches of slices, with
    its progress (by bytes read of a regular file, else by lines)."""

    def __init__(self, path: str, progress: bool, out: TextIO) -> None:
        if path == STDIN:
            raw = sys.stdin.buffer
        else:
            if stat.S_ISDIR(os.stat(path).st_mode):
                raise IsADirectoryError(21, "Is a directory", path)
            raw = open(path, "rb")
        self._raw = raw
        self._owned = path != STDIN
        self._stream = io.TextIOWrapper(raw, encoding="utf-8", errors="surrogateescape", newline="")
        self.progress = InputProgress(raw, "lines", shown=progress, output=out)

    def __enter__(self) -> _Source:
        return self

    def __exit__(self, *exc: object) -> None:
        self.progress.__exit__(*exc)
        self._stream.detach()
        if self._owned:
            self._raw.close()

    def batches(self) -> Iterator[list[str]]:
        batch: list[str] = []
        size = 0
        for piece in self._slices():
            batch.append(piece)
            size += len(piece)
            if size >= BATCH_CHARS:
                self.progress.advance(len(batch))
                yield batch
                batch, size = [], 0
        if batch:
            self.progress.advance(len(batch))
            yield batch

    def _slices(self) -> Iterator[str]:
        carry = ""
        while True:
            line = self._stream.readline(LONGEST_LINE)
            if not line:
                if carry:
                    yield carry
                return
            piece, carry = carry + line, ""
            if len(line) < LONGEST_LINE or piece.endswith(_LINE_ENDS):
                yield piece
                continue
            cut = max(piece.rfind(" "), piece.rfind("\t"))
            if cut > 0:
                piece, carry = piece[: cut + 1], piece[cut + 1 :]
            yield piece
