"""Progress of long batches: the bar drawn on a terminal for ``progress=True``."""

from __future__ import annotations

import sys
import time
from collections.abc import Callable
from typing import Optional, TextIO, Union

Progress = Union[None, bool, Callable[[int, int], object]]

WIDTH = 30


class ProgressBar:
    """A callable taking (done, total) that draws a bar on `stream` (default:
    standard error), only when it is a terminal and only once the batch has
    run for `delay` seconds: quick batches print nothing."""

    def __init__(self, stream: Optional[TextIO] = None, delay: float = 1.0) -> None:
        self.stream = stream if stream is not None else sys.stderr
        self.delay = delay
        self.started = time.monotonic()
        self.drawn = False

    def __call__(self, done: int, total: int) -> None:
        elapsed = time.monotonic() - self.started
        if not self.drawn and (elapsed < self.delay or not _is_terminal(self.stream)):
            return
        share = done / total if total else 1.0
        filled = int(WIDTH * share)
        left = f", {elapsed * (1 - share) / share:.0f} s left" if 0 < share < 1 else ""
        self.stream.write(
            f"\r[{'#' * filled}{'.' * (WIDTH - filled)}] {share:4.0%} "
            f"{done:,}/{total:,} in {elapsed:.0f} s{left}\x1b[K"
        )
        if done >= total:
            self.stream.write("\n")
        self.stream.flush()
        self.drawn = True


def _is_terminal(stream: TextIO) -> bool:
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
