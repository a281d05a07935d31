"""The trie byte form from Python: to_bytes, from_bytes, refusals and round trips."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

_quorvatine = pytest.importorskip("_quorvatine")
from_bytes = _quorvatine.from_bytes
from_internal_data = _quorvatine.from_internal_data

EXAMPLE_ARRAYS = ([0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
EXAMPLE_BYTES = bytes.fromhex("04 00 02 03 03 04 00 01 63 01 64 01 61 04 00 00 01 05 01 07 03 01 03 02")
EMPTY_BYTES = bytes(4)
END_1 = "UnexpectedEnd { additional: 1 }"


def outcome(call, *args):
    """('ok', result), or ('panic', message) when the call raised PanicException."""
    try:
        return ("ok", call(*args))
    except BaseException as error:
        if type(error).__name__ != "PanicException":
            raise
        return ("panic", str(error))


def answers(trie, node_count):
    return [(outcome(trie.get_children, n), outcome(trie.get_payload, n)) for n in range(node_count + 1)]


INPUT_KINDS = [bytes, bytearray, list]


def test_worked_example_and_empty_trie():
    assert from_internal_data(*EXAMPLE_ARRAYS).to_bytes() == EXAMPLE_BYTES
    assert from_internal_data([], [], [], []).to_bytes() == EMPTY_BYTES
    trie = from_bytes(EXAMPLE_BYTES)
    assert trie.get_children(0) == [("c", 1), ("a", 3)]
    assert trie.get_children(1) == [("d", 2)]
    assert [trie.get_payload(n) for n in range(4)] == [None, None, 5, 7]
    assert outcome(from_bytes(EMPTY_BYTES).get_payload, 0)[0] == "panic"


@pytest.mark.parametrize("kind", INPUT_KINDS)
@pytest.mark.parametrize(
    "data, written",
    [
        (EXAMPLE_BYTES, EXAMPLE_BYTES),
        (EMPTY_BYTES, EMPTY_BYTES),
        (EXAMPLE_BYTES + b"\xff\xfe\x00", EXAMPLE_BYTES),  # trailing bytes ignored
        (b"\xfb\x04\x00" + EXAMPLE_BYTES[1:], EXAMPLE_BYTES),  # longer count form
        (b"\x01\xfc\x05\x00\x00\x00" + EMPTY_BYTES[1:], b"\x01\x05" + EMPTY_BYTES[1:]),
    ],
)
def test_accepted_bytes_are_written_back_in_shortest_form(kind, data, written):
    assert from_bytes(kind(data)).to_bytes() == written


@pytest.mark.parametrize("kind", INPUT_KINDS)
@pytest.mark.parametrize(
    "data, display",
    [
        (b"", END_1),
        (EXAMPLE_BYTES[:-1], END_1),
        (b"\xfb\x01", END_1),
        (b"\x01\xfc\x01", "UnexpectedEnd { additional: 3 }"),
        (b"\x00\x01\x02", 'UnexpectedVariant { type_name: "Option<char>", allowed: Range { min: 0, max: 1 }, found: 2 }'),
        (b"\x00\x00\x01\x02", 'UnexpectedVariant { type_name: "Option<u32>", allowed: Range { min: 0, max: 1 }, found: 2 }'),
        (b"\x01\xfd" + bytes(20), "InvalidIntegerType { expected: U32, found: U64 }"),
        (b"\xfe" + bytes(20), "InvalidIntegerType { expected: U64, found: U128 }"),
        (b"\xff", "InvalidIntegerType { expected: U64, found: Reserved }"),
        (b"\x00\x01\x01\xed\xa0", END_1),
        (b"\x00\x01\x01\xed\xa0\x80", "InvalidCharEncoding([237, 160, 128, 0])"),
        (b"\x00\x01\x01\xc0", "InvalidCharEncoding([192, 0, 0, 0])"),
        (b"\x00\x01\x01\xf4\x90\x80\x80", "InvalidCharEncoding([244, 144, 128, 128])"),
        (b"\xfd" + b"\xff" * 8 + b"\x01", END_1),  # a count of 2**64 - 1 on a short input
    ],
)
def test_refused_bytes_raise_panic_showing_the_error(kind, data, display):
    with pytest.raises(BaseException) as info:
        from_bytes(kind(data))
    assert type(info.value).__name__ == "PanicException"
    assert display in str(info.value)


@pytest.mark.parametrize(
    "bs, error, message",
    [
        ("abc", TypeError, "argument 'bs': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'bs': 'int' object cannot be converted to 'Sequence'"),
        ([0, 256], OverflowError, "out of range integral type conversion attempted"),
    ],
)
def test_conversion_errors_of_bs(bs, error, message):
    with pytest.raises(error) as info:
        from_bytes(bs)
    assert type(info.value) is error
    assert str(info.value) == message


# Small ids make some child ranges resolve; boundary and arbitrary ones make most fail.
U32 = st.sampled_from([0, 250, 251, 65535, 65536, 2**32 - 1]) | st.integers(0, 2**32 - 1)
IDS = st.integers(0, 12) | U32
CHARACTERS = st.characters(exclude_categories=["Cs"])
TEXTS = st.just("") | CHARACTERS | st.text(CHARACTERS, min_size=2, max_size=3)
ARRAYS = st.tuples(
    st.lists(IDS, max_size=12),
    st.lists(TEXTS, max_size=12),
    st.lists(st.none() | U32, max_size=12),
    st.lists(IDS, max_size=12),
)


@given(ARRAYS)
def test_round_trip_keeps_the_bytes_and_the_answers(arrays):
    trie = from_internal_data(*arrays)
    data = trie.to_bytes()
    copy = from_bytes(data)
    assert copy.to_bytes() == data
    node_count = max(map(len, arrays))
    assert answers(copy, node_count) == answers(trie, node_count)


@st.composite
def damaged_encodings(draw):
    data = bytearray(from_internal_data(*draw(ARRAYS)).to_bytes())
    for _ in range(draw(st.integers(0, 3))):
        if data:
            data[draw(st.integers(0, len(data) - 1))] = draw(st.integers(0, 255))
    return bytes(data[: draw(st.integers(0, len(data)))])


@given(st.binary(max_size=40) | damaged_encodings())
def test_any_bytes_decode_or_panic_alike_for_every_input_kind(data):
    results = [outcome(lambda kind=kind: from_bytes(kind(data)).to_bytes()) for kind in INPUT_KINDS]
    assert all(result == results[0] for result in results)
    status, written = results[0]
    if status == "ok":
        assert len(written) <= len(data)
        assert from_bytes(written).to_bytes() == written
