"""The module frame: initialisation, registration, the PrefixSearch type and PanicException."""

import gc
import subprocess
import sys
import weakref

import pytest

import _quorvatine
from _quorvatine import PrefixSearch


def test_module_attributes():
    assert _quorvatine.__doc__ == ""
    assert _quorvatine.__all__ == ["from_internal_data", "from_bytes", "PrefixSearch"]
    assert type(_quorvatine.__all__) is list
    for name in _quorvatine.__all__:
        assert hasattr(_quorvatine, name)


def test_repeated_initialisation_returns_the_cached_module():
    first = sys.modules.pop("_quorvatine")
    try:
        import _quorvatine as again

        assert again is first
        assert again.__all__ == ["from_internal_data", "from_bytes", "PrefixSearch"]
    finally:
        sys.modules["_quorvatine"] = first


def test_module_functions_belong_to_the_module():
    f = _quorvatine.from_internal_data
    assert f.__module__ == "_quorvatine"
    assert f.__self__ is _quorvatine
    assert f.__name__ == "from_internal_data"


@pytest.mark.parametrize(
    "function, signature",
    [
        (_quorvatine.from_internal_data, "(node_shifts, node_strings, node_payloads, child_indices)"),
        (_quorvatine.from_bytes, "(bs)"),
        (PrefixSearch.fuzzy_match, "($self, prefix, max_dist, limit)"),
        (PrefixSearch.exact_match, "($self, prefix)"),
        (PrefixSearch.get_children, "($self, node_id)"),
        (PrefixSearch.get_payload, "($self, node_id)"),
        (PrefixSearch.to_bytes, "($self)"),
    ],
    ids=lambda x: getattr(x, "__name__", None),
)
def test_text_signatures(function, signature):
    assert function.__text_signature__ == signature
    assert function.__doc__ is None


def test_type_properties(worked):
    assert PrefixSearch.__module__ == "builtins"
    assert PrefixSearch.__name__ == PrefixSearch.__qualname__ == "PrefixSearch"
    assert PrefixSearch.__doc__ is None
    assert PrefixSearch.__bases__ == (object,)
    assert type(worked) is PrefixSearch
    assert not gc.is_tracked(worked)
    assert worked == worked and worked != _quorvatine.from_internal_data([], [], [], [])


@pytest.mark.parametrize(
    "make",
    [
        lambda: PrefixSearch(),
        lambda: PrefixSearch(1, 2),
        lambda: PrefixSearch(node_id=1),
        lambda: PrefixSearch.__new__(PrefixSearch),
    ],
    ids=["no-args", "positional", "keyword", "dunder-new"],
)
def test_constructor_is_refused(make):
    with pytest.raises(TypeError) as info:
        make()
    assert str(info.value) == "No constructor defined for PrefixSearch"


def test_not_subclassable():
    with pytest.raises(TypeError):

        class Sub(PrefixSearch):
            pass


def test_instances_have_no_dict_and_no_weakrefs(worked):
    assert not hasattr(worked, "__dict__")
    with pytest.raises(AttributeError):
        worked.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(worked)


def test_panic_exception_class(panic_class):
    assert panic_class.__name__ == "PanicException"
    assert panic_class.__module__ == "tovrek_runtime"
    assert panic_class.__bases__ == (BaseException,)
    assert not issubclass(panic_class, Exception)
    assert "BaseException" in panic_class.__doc__


SECOND_INTERPRETER = """
import sys
import _quorvatine, _testcapi

attempt = '''
import os
try:
    import _quorvatine
except ImportError as error:
    os.write(1, ("refused: " + str(error) + "\\\\n").encode())
else:
    os.write(1, b"imported\\\\n")
'''
# Each call runs the code in a new interpreter of the legacy configuration,
# which lets single-phase modules through to their own initialisation (so
# what refuses the import is the module's guard), then ends that interpreter.
_testcapi.run_in_subinterp(attempt)
_testcapi.run_in_subinterp(attempt)
import _quorvatine as again
assert again is sys.modules["_quorvatine"] is _quorvatine
p = _quorvatine.from_internal_data([0, 1], ["", "x"], [None, 3], [1])
print(p.fuzzy_match("y", 1, None), p.exact_match("x"), _quorvatine.from_bytes(p.to_bytes()).get_payload(1))
"""


def test_second_interpreter_is_refused_and_the_first_keeps_working():
    pytest.importorskip("_testcapi")
    run = subprocess.run([sys.executable, "-c", SECOND_INTERPRETER], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    *refusals, still_working = run.stdout.splitlines()
    assert len(refusals) == 2
    for refusal in refusals:
        assert refusal.startswith("refused: _quorvatine cannot be loaded in a second interpreter")
        assert "One interpreter per process" in refusal
    assert still_working == "[('x', 3, 1)] ('x', 3, 0) 3"
