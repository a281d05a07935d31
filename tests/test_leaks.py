"""Reference counts stay put over many calls of every entry point, on success and on each failure kind."""

import sys

import pytest

import _quorvatine
from _quorvatine import PrefixSearch
from conftest import WORKED_EXAMPLE, FailingSequence, Index, Lengthy, MyStr

ROUNDS = 300


def arrays(**changes):
    """Fresh copies of the worked example's arrays, with some replaced by keyword."""
    names = ["node_shifts", "node_strings", "node_payloads", "child_indices"]
    values = [list(a) for a in WORKED_EXAMPLE]
    return tuple(changes.get(name, value) for name, value in zip(names, values))


# (entry point, factory of (args, kwargs) given the PanicException class)
CASES = {
    "payload": ("get_payload", lambda panic: ((2,), {})),
    "children": ("get_children", lambda panic: ((0,), {})),
    "build": ("from_internal_data", lambda panic: (arrays(node_strings=["", MyStr("c"), "d", "a"]), {})),
    "build-generic": ("from_internal_data", lambda panic: (arrays(child_indices=Lengthy([1, 3, 2], 10**9)), {})),
    "too-many": ("get_payload", lambda panic: ((1, 2), {})),
    "missing": ("from_internal_data", lambda panic: (([], []), {})),
    "twice": ("get_children", lambda panic: ((1,), {"node_id": 1})),
    "unknown-keyword": ("get_payload", lambda panic: ((), {"\udc80": 1})),
    "out-of-range": ("get_payload", lambda panic: ((-1,), {})),
    "wrapped": ("get_payload", lambda panic: ((Index(TypeError),), {})),
    "unwrapped": ("get_children", lambda panic: ((Index(ValueError),), {})),
    "not-a-sequence": ("from_internal_data", lambda panic: (arrays(node_shifts={0: 1}), {})),
    "bad-element": ("from_internal_data", lambda panic: (arrays(node_strings=["", 1, "d", "a"]), {})),
    "iterator-fails": ("from_internal_data", lambda panic: (arrays(node_payloads=FailingSequence([1], TypeError)), {})),
    "internal-failure": ("get_children", lambda panic: ((4,), {})),
    "resumed-panic": ("get_payload", lambda panic: ((Index(panic),), {})),
    "constructor": ("PrefixSearch", lambda panic: ((1,), {"x": 2})),
}  # fmt: skip


def watched_objects(args, kwargs):
    """The arguments and every non-trivial object inside them."""
    found = []
    for value in [*args, *kwargs.values()]:
        found.append(value)
        if isinstance(value, (list, tuple)):
            found.extend(v for v in value if not isinstance(v, (int, str, type(None))) or isinstance(v, MyStr))
    return found


@pytest.mark.parametrize("case", CASES)
def test_reference_counts_are_unchanged(worked, panic_class, capsys, case):
    name, make_arguments = CASES[case]
    args, kwargs = make_arguments(panic_class)
    function = getattr(worked, name, None) or getattr(_quorvatine, name)
    watched = [*watched_objects(args, kwargs), worked, PrefixSearch, panic_class]

    def call():
        try:
            function(*args, **kwargs)
        except BaseException:
            pass

    call()  # first use creates what lives for the whole process
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(ROUNDS):
        call()
    after = [sys.getrefcount(o) for o in watched]
    assert after == before
    capsys.readouterr()  # drop the reports of resumed panics
