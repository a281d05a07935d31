"""The extension's exception class for internal failures, made reachable by name.

`_quorvatine` creates its `PanicException` class on first need and does not
list it among its attributes. This provokes one harmless failure (a payload
query on a trie without nodes) to obtain the class, so that callers can write
``except quorvatine.PanicException``.
"""

from __future__ import annotations

import _quorvatine


def _panic_exception_class() -> type[BaseException]:
    try:
        _quorvatine.from_internal_data([], [], [], []).get_payload(0)
    except BaseException as e:  # the class derives from BaseException by design
        return type(e)
    raise RuntimeError("a payload query on a trie without nodes did not fail")


PanicException: type[BaseException] = _panic_exception_class()
