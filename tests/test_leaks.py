"""Reference counts and allocated memory stay put over many calls of every
entry point, on success and on each failure kind."""

import ctypes
import gc
import sys

import pytest

import _quorvatine
from _quorvatine import PrefixSearch
from conftest import WORKED_EXAMPLE, FailingSequence, Index, Lengthy, MyStr

ROUNDS = 300
HUGE_COUNT = bytes([0xFD]) + (2**60).to_bytes(8, "little")
# A child without a code point, and a cycle: both fail the queries that reach them.
BROKEN = _quorvatine.from_internal_data([0, 1], ["", ""], [None, 1], [1])
CYCLIC = _quorvatine.from_internal_data([0, 1], ["", "a"], [None, 1], [1, 1])


def arrays(**changes):
    """Fresh copies of the worked example's arrays, with some replaced by keyword."""
    names = ["node_shifts", "node_strings", "node_payloads", "child_indices"]
    values = [list(a) for a in WORKED_EXAMPLE]
    return tuple(changes.get(name, value) for name, value in zip(names, values))


# (entry point, factory of (args, kwargs) given the PanicException class). An
# entry point is a module function, a method of the worked example, or a bound
# method given as it is.
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
    "fuzzy": ("fuzzy_match", lambda panic: (("cd", 2, None), {})),
    "fuzzy-limit": ("fuzzy_match", lambda panic: ((MyStr("c"), 1), {"limit": 1})),
    "fuzzy-text-type": ("fuzzy_match", lambda panic: ((b"c", 1, None), {})),
    "fuzzy-surrogate": ("fuzzy_match", lambda panic: (("\udc80", 1, None), {})),
    "fuzzy-negative": ("fuzzy_match", lambda panic: (("c", -1, None), {})),
    "fuzzy-limit-type": ("fuzzy_match", lambda panic: (("c", 1, "x"), {})),
    "fuzzy-broken": (BROKEN.fuzzy_match, lambda panic: (("a", 1, None), {})),
    "fuzzy-cycle": (CYCLIC.fuzzy_match, lambda panic: (("", 2**64 - 1, None), {})),
    "exact": ("exact_match", lambda panic: (("cd",), {})),
    "exact-none": ("exact_match", lambda panic: ((MyStr("zz"),), {})),
    "exact-broken": (BROKEN.exact_match, lambda panic: (("a",), {})),
    "to-bytes": ("to_bytes", lambda panic: ((), {})),
    "to-bytes-arguments": ("to_bytes", lambda panic: ((1,), {})),
    "from-bytes": ("from_bytes", lambda panic: ((bytearray(b"\x01\x00\x02\x00\x01\x61\x01\x00\x01\x01\x05\x00"),), {})),
    "from-bytes-undecodable": ("from_bytes", lambda panic: ((HUGE_COUNT,), {})),
    "from-bytes-str": ("from_bytes", lambda panic: (("abc",), {})),
    "from-bytes-overflow": ("from_bytes", lambda panic: (([0, 256],), {})),
}  # fmt: skip


def watched_objects(args, kwargs):
    """The arguments and every non-trivial object inside them."""
    found = []
    for value in [*args, *kwargs.values()]:
        found.append(value)
        if isinstance(value, (list, tuple)):
            found.extend(v for v in value if not isinstance(v, (int, str, type(None))) or isinstance(v, MyStr))
    return found


def resolve(entry, instance):
    if callable(entry):
        return entry
    return getattr(instance, entry, None) or getattr(_quorvatine, entry)


def caller(case, instance, panic_class):
    """The case's call, with whatever it raises swallowed."""
    name, make_arguments = CASES[case]
    args, kwargs = make_arguments(panic_class)
    function = resolve(name, instance)

    def call():
        try:
            function(*args, **kwargs)
        except BaseException:
            pass

    return call, args, kwargs


@pytest.mark.parametrize("case", CASES)
def test_reference_counts_are_unchanged(worked, panic_class, capsys, case):
    call, args, kwargs = caller(case, worked, panic_class)
    watched = [*watched_objects(args, kwargs), worked, BROKEN, CYCLIC, PrefixSearch, panic_class]

    call()  # first use creates what lives for the whole process
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(ROUNDS):
        call()
    after = [sys.getrefcount(o) for o in watched]
    assert after == before
    capsys.readouterr()  # drop the reports of resumed panics


class MallInfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")
    ]  # fmt: skip


def malloc_in_use():
    """Bytes the C allocator has handed out and not taken back (glibc's mallinfo2),
    or None where that is not known."""
    try:
        mallinfo2 = ctypes.CDLL(None).mallinfo2
    except (OSError, AttributeError):
        return None
    mallinfo2.restype = MallInfo2
    info = mallinfo2()
    used = info.uordblks + info.hblkhd
    return used or None  # an interposed allocator (a sanitizer's) reports nothing


@pytest.mark.parametrize("case", CASES)
def test_allocated_memory_is_unchanged(worked, panic_class, capfd, case):
    # The native side allocates with the C allocator, which the interpreter's
    # own memory tracing does not see: ask the allocator itself.
    if malloc_in_use() is None:
        pytest.skip("the C allocator does not report what it has handed out")
    call, _, _ = caller(case, worked, panic_class)
    for _ in range(ROUNDS):
        call()  # first uses create what lives for the whole process, and fill caches
    gc.collect()
    before = malloc_in_use()
    calls = ROUNDS * 3
    for _ in range(calls):
        call()
    gc.collect()
    # Under 4 bytes a call: a leak of even one block (32 bytes and more) a call is
    # far above that, while the interpreter's own caches settle within a few KiB.
    assert malloc_in_use() - before < calls * 4
