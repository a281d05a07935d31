"""Lay out and build tries of words for the ``_quorvatine`` extension."""

from .builder import build, layout

__all__ = ["build", "layout"]
