"""Node queries of PrefixSearch: children and payloads read from caller-laid node arrays."""

import pytest

import _quorvatine
from conftest import WORKED_EXAMPLE


@pytest.mark.parametrize(
    "node, children, payload",
    [
        (0, [("c", 1), ("a", 3)], None),  # stored order, not sorted
        (1, [("d", 2)], None),
        (2, [], 5),  # range 3..3
        (3, [], 7),  # last node: range 3..len(child_indices)
    ],
)
def test_worked_example(worked, node, children, payload):
    assert worked.get_children(node) == children
    assert worked.get_payload(node) == payload


def test_result_shapes(worked):
    children = worked.get_children(0)
    assert type(children) is list
    assert all(type(c) is tuple and type(c[0]) is str and type(c[1]) is int for c in children)
    assert type(worked.get_payload(2)) is int


# Arrays that from_internal_data accepts without looking, and what the queries then answer.
@pytest.mark.parametrize(
    "arrays, node, children",
    [
        # Only the first code point of a node text counts.
        (([0, 1], ["", "abc"], [None, None], [1]), 0, [("a", 1)]),
        # A supplementary-plane character is one code point.
        (([0, 1], ["", "\U0001f600x"], [None, None], [1]), 0, [("\U0001f600", 1)]),
        # A start above the next node's start is an empty range.
        (([2, 1, 2], ["", "a", "b"], [None] * 3, [1, 2]), 0, []),
        # An extra shift ends the last node's range; the id equal to the node count works.
        (([0, 1, 1, 1], ["", "a", "b"], [None] * 3, [1, 2]), 3, [("b", 2)]),
        # The same child listed twice is returned twice.
        (([0, 2], ["", "a"], [None, None], [1, 1]), 0, [("a", 1), ("a", 1)]),
        # An empty root text is fine: the root is never a child.
        (([0, 1], ["", "z"], [0, None], [1]), 0, [("z", 1)]),
    ],
    ids=["first-code-point", "astral", "inverted-range", "extra-shift", "duplicate", "empty-root"],
)
def test_children_of_unchecked_arrays(arrays, node, children):
    assert _quorvatine.from_internal_data(*arrays).get_children(node) == children


def test_payload_zero_is_not_none():
    p = _quorvatine.from_internal_data([0], [""], [0], [])
    assert p.get_payload(0) == 0


# Inconsistent arrays surface as internal failures, with messages naming the numbers.
@pytest.mark.parametrize(
    "arrays, query, node, message",
    [
        (([], [], [], []), "get_children", 0, "node id 0 not below node_shifts length 0"),
        (([], [], [], []), "get_payload", 0, "node id 0 not below node_payloads length 0"),
        (([0, 5], ["", "a"], [None, None], [1]), "get_children", 0, "child range 0..5 of node 0 runs past child_indices length 1"),
        (([0, 1], ["", "a"], [None, None], [7]), "get_children", 0, "child id 7 of node 0 not below node_chars length 2"),
        (([0, 1], ["", ""], [None, None], [1]), "get_children", 0, "child 1 of node 0 has no code point"),
        (WORKED_EXAMPLE, "get_payload", 4294967295, "node id 4294967295 not below node_payloads length 4"),
    ],
    ids=["children-empty", "payload-empty", "range-past-end", "id-past-chars", "no-code-point", "max-id"],
)  # fmt: skip
def test_internal_failures(panic_class, arrays, query, node, message):
    p = _quorvatine.from_internal_data(*arrays)
    with pytest.raises(panic_class) as info:
        getattr(p, query)(node)
    assert info.type is panic_class
    assert info.value.args == (message,)


def test_internal_failure_is_not_an_exception_and_leaves_the_instance_usable(worked, panic_class):
    with pytest.raises(BaseException) as info:
        try:
            worked.get_children(4)
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
    assert info.type is panic_class
    assert worked.get_children(0) == [("c", 1), ("a", 3)]
