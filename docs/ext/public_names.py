"""Fails the reference (a warning, an error under -W) when a public name is
shown without a docstring or not shown at all: every name in the `__all__`
of `quorvatine` and `_quorvatine`, and the public methods of their classes."""

from __future__ import annotations

import inspect
from typing import Any

import _quorvatine
import quorvatine
from sphinx.application import Sphinx
from sphinx.environment import BuildEnvironment
from sphinx.util import logging

logger = logging.getLogger(__name__)


def public_objects() -> dict[str, Any]:
    """Every public object, by the name it is reached under."""
    found = {}
    for module in (quorvatine, _quorvatine):
        for name in module.__all__:
            obj = getattr(module, name)
            found[f"{module.__name__}.{name}"] = obj
            if inspect.isclass(obj):
                for member, value in vars(obj).items():
                    if not member.startswith("_"):
                        found[f"{module.__name__}.{name}.{member}"] = value
    return found


def setup(app: Sphinx) -> dict[str, Any]:
    documented: set[int] = set()
    # A re-exported object is shown once, under either module, so the
    # objects are matched by identity. Some values (small strings) could be
    # shared by two names; none of the public ones are.
    objects = public_objects()

    def note(app: Sphinx, what: str, name: str, obj: Any, options: Any, lines: list[str]) -> None:
        if any(line.strip() for line in lines):
            documented.add(id(obj))

    def check(app: Sphinx, env: BuildEnvironment) -> None:
        for name, obj in objects.items():
            if id(obj) not in documented:
                logger.warning("public name %s is shown without a docstring, or not at all", name)

    # After the stubs' docstrings are filled in (default priority 500).
    app.connect("autodoc-process-docstring", note, priority=900)
    app.connect("env-check-consistency", check)
    return {"parallel_read_safe": False}
