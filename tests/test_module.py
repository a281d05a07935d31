"""The module frame: initialisation, registration, the PrefixSearch type and PanicException."""

import gc
import subprocess
import sys
import textwrap
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


def test_second_interpreter_is_refused():
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no run_in_subinterp in this interpreter")
    script = textwrap.dedent(
        """
        import _quorvatine, _testcapi
        code = '''
        import os
        try:
            import _quorvatine
            os.write(1, b'imported')
        except ImportError as e:
            os.write(1, ('ImportError: ' + str(e)).encode())
        '''
        _testcapi.run_in_subinterp(code)
        print()
        print(_quorvatine.from_internal_data([0], ['x'], [3], []).get_payload(0))
        """
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    refusal, still_working = run.stdout.splitlines()
    assert refusal.startswith("ImportError: _quorvatine cannot be loaded in a second interpreter")
    assert "One interpreter per process" in refusal
    assert still_working == "3"
