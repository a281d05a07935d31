"""Progress of long work: the bar drawn on a terminal for ``progress=True``,
and the command line's progress through its input."""

from __future__ import annotations

import os
import stat
import sys
import time
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from typing import IO, Any, BinaryIO, Optional, TextIO, Union

Progress = Union[None, bool, Callable[[int, int], object]]

WIDTH = 30
DELAY = 1.0  # seconds of work before a bar is drawn
BYTES = "bytes"
REDRAW_EVERY = 0.1  # seconds between two drawings of InputProgress's bar


class ProgressBar:
    """A callable taking (done, total) that draws a bar on `stream` (default:
    standard error), only when it is a terminal and only once the work has
    run for `delay` seconds (default DELAY): quick work prints nothing. `unit` names what is
    counted; ``BYTES`` shows amounts in MiB."""

    def __init__(self, stream: Optional[TextIO] = None, delay: Optional[float] = None, unit: str = "") -> None:
        self.stream = stream if stream is not None else sys.stderr
        self.delay = DELAY if delay is None else delay
        self.unit = unit
        self.started = time.monotonic()
        self.drawn = False

    def __call__(self, done: int, total: int) -> None:
        if self.show(done, total) and done >= total:
            self.stream.write("\n")
            self.stream.flush()

    def show(self, done: int, total: Optional[int]) -> bool:
        """Draws `done` of `total` (None when the total is unknown: the count
        alone) over the previous drawing, when due; returns whether it drew."""
        elapsed = time.monotonic() - self.started
        if not self.drawn and (elapsed < self.delay or not is_terminal(self.stream)):
            return False
        if total is None:
            line = f"{self._amount(done)} in {elapsed:.0f} s"
        else:
            share = done / total if total else 1.0
            filled = int(WIDTH * share)
            left = f", {elapsed * (1 - share) / share:.0f} s left" if 0 < share < 1 else ""
            line = (
                f"[{'#' * filled}{'.' * (WIDTH - filled)}] {share:4.0%} "
                f"{self._amount(done, total)} in {elapsed:.0f} s{left}"
            )
        self.stream.write(f"\r{line}\x1b[K")
        self.stream.flush()
        self.drawn = True
        return True

    def clear(self) -> None:
        """Erases the bar, if drawn; the next `show` draws it again."""
        if self.drawn:
            self.stream.write("\r\x1b[K")
            self.stream.flush()
            self.drawn = False

    def _amount(self, done: int, total: Optional[int] = None) -> str:
        if self.unit == BYTES:
            shown = f"{done / 2**20:.1f}" if total is None else f"{done / 2**20:.1f}/{total / 2**20:.1f}"
            return f"{shown} MiB"
        shown = f"{done:,}" if total is None else f"{done:,}/{total:,}"
        return f"{shown} {self.unit}" if self.unit else shown


class InputProgress:
    """The command line's progress through its input, on standard error when
    it is a terminal, after a second of work: the share of `source` read when
    it is a regular file, else how many `unit` have been counted by
    `advance`; none when `source` is a terminal. Redrawn at most every REDRAW_EVERY seconds, erased around
    output to the same terminal (`output`) and when the context exits, also
    on Ctrl-C."""

    def __init__(
        self, source: Optional[BinaryIO], unit: str, *, shown: bool = True, output: Optional[TextIO] = None
    ) -> None:
        # Input typed at a terminal is no stream to show progress through.
        typed = source is not None and is_terminal(source)
        self._bar = ProgressBar(unit=unit) if shown and not typed and is_terminal(sys.stderr) else None
        self._source, self._start, self._total = None, 0, 0
        if self._bar is not None and source is not None:
            try:
                info = os.fstat(source.fileno())
                if stat.S_ISREG(info.st_mode):
                    self._start = source.tell()
                    self._source, self._total = source, info.st_size - self._start
                    self._bar.unit = BYTES
            except (AttributeError, OSError, ValueError):
                pass  # not a file: a count with no total
        self._shares_terminal = output is not None and is_terminal(output)
        self._count = 0
        self._due = 0.0

    def __enter__(self) -> InputProgress:
        return self

    def __exit__(self, *exc: object) -> None:
        if self._bar is not None:
            self._bar.clear()

    def advance(self, count: int = 1) -> None:
        """Counts `count` more units read; redraws the bar when due. Costs a
        clock reading while a bar may be shown, nothing otherwise."""
        self._count += count
        if self._bar is None:
            return
        now = time.monotonic()
        if now >= self._due:
            self._due = now + REDRAW_EVERY
            self._draw()

    @contextmanager
    def output(self) -> Iterator[None]:
        """A context for writing output: the bar is erased first when the
        output goes to a terminal too, and drawn again after."""
        hidden = self._shares_terminal and self._bar is not None and self._bar.drawn
        if hidden:
            assert self._bar is not None
            self._bar.clear()
        try:
            yield
        finally:
            if hidden:
                self._draw()

    def _draw(self) -> None:
        assert self._bar is not None
        if self._source is None:
            self._bar.show(self._count, None)
            return
        try:
            done = self._source.tell() - self._start
        except (OSError, ValueError):
            return  # closed at the end: nothing left to show
        self._bar.show(min(max(done, 0), self._total), self._total)


def is_terminal(stream: IO[Any]) -> bool:
    """Whether `stream` is a terminal (False for a stream without a file)."""
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


def callback_of(progress: Progress) -> Optional[Callable[[int, int], object]]:
    """The callable a batch reports to: None for None or False, a new
    ProgressBar for True, else `progress` itself, which must be callable."""
    if progress is None or progress is False:
        return None
    if progress is True:
        return ProgressBar()
    if not callable(progress):
        raise TypeError(f"progress must be a callable, True or None, not {type(progress).__name__}")
    return progress
