"""Shared fixtures of the Python suite and the hostile objects several tests use."""

import pytest

import _quorvatine

# The node arrays of a small trie: root -> 'c' (1) -> 'd' (2), root -> 'a' (3).
WORKED_EXAMPLE = ([0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])


@pytest.fixture
def worked():
    return _quorvatine.from_internal_data(*WORKED_EXAMPLE)


@pytest.fixture(scope="session")
def panic_class():
    """PanicException, as it reaches Python from an internal failure."""
    empty = _quorvatine.from_internal_data([], [], [], [])
    with pytest.raises(BaseException) as info:
        empty.get_payload(0)
    return info.type


def raise_if_error(value):
    """Raises `value` when it is an exception or an exception class (a fresh instance)."""
    if isinstance(value, BaseException) or (isinstance(value, type) and issubclass(value, BaseException)):
        raise value
    return value


class Index:
    """An integer-like object: its __index__ returns `value` or raises it."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return raise_if_error(self.value)


class FailingSequence:
    """A sequence whose iterator yields `items`, then raises `error`."""

    def __init__(self, items, error):
        self.items, self.error = list(items), error

    def __len__(self):
        return len(self.items) + 1

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        yield from self.items
        raise_if_error(self.error)


class Lengthy:
    """A sequence whose __len__ lies (a huge number) or raises; iteration is honest."""

    def __init__(self, items, length):
        self.items, self.length = list(items), length

    def __len__(self):
        return raise_if_error(self.length)

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        return iter(self.items)


class MyInt(int):
    pass


class MyStr(str):
    pass


class MyList(list):
    pass


class MyTuple(tuple):
    pass


class MyBytes(bytes):
    pass
