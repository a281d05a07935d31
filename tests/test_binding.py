"""Argument binding, conversions, wrapping of conversion errors and PanicException round trips."""

import hashlib
from concurrent.futures import ThreadPoolExecutor
import importlib.util
import os
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import _quorvatine
from conftest import (
    WORKED_EXAMPLE,
    FailingSequence,
    Index,
    Lengthy,
    MyBytes,
    MyInt,
    MyList,
    MyStr,
    MyTuple,
)

MODULE = _quorvatine.from_internal_data


def entry(name, instance):
    return getattr(_quorvatine, name) if name.startswith("from_") else getattr(instance, name)


@pytest.mark.parametrize(
    "name, args, kwargs, message",
    [
        ("get_children", (1,), {"node_id": 1}, "PrefixSearch.get_children() got multiple values for argument 'node_id'"),
        ("get_children", (1, 2), {}, "PrefixSearch.get_children() takes 1 positional arguments but 2 were given"),
        ("get_payload", (1, 2), {"bogus": 3}, "PrefixSearch.get_payload() takes 1 positional arguments but 2 were given"),
        ("get_payload", (), {}, "PrefixSearch.get_payload() missing 1 required positional argument: 'node_id'"),
        ("get_payload", (), {"node": 1}, "PrefixSearch.get_payload() got an unexpected keyword argument 'node'"),
        ("get_payload", (), {"\udc80": 1}, "PrefixSearch.get_payload() got an unexpected keyword argument '\udc80'"),
        ("get_payload", (1,), {"zzz": 1, "node_id": 2}, "PrefixSearch.get_payload() got an unexpected keyword argument 'zzz'"),
        ("get_payload", (1,), {"node_id": 2, "zzz": 1}, "PrefixSearch.get_payload() got multiple values for argument 'node_id'"),
        ("fuzzy_match", ("a", 1, 2, 3), {"bogus": 1}, "PrefixSearch.fuzzy_match() takes 3 positional arguments but 4 were given"),
        ("fuzzy_match", ("a",), {}, "PrefixSearch.fuzzy_match() missing 2 required positional arguments: 'max_dist' and 'limit'"),
        ("exact_match", ("a",), {"prefix": "b"}, "PrefixSearch.exact_match() got multiple values for argument 'prefix'"),
        ("from_bytes", (), {}, "from_bytes() missing 1 required positional argument: 'bs'"),
        ("from_bytes", (), {"data": b""}, "from_bytes() got an unexpected keyword argument 'data'"),
        ("from_internal_data", ([], []), {}, "from_internal_data() missing 2 required positional arguments: 'node_payloads' and 'child_indices'"),
        ("from_internal_data", (), {}, "from_internal_data() missing 4 required positional arguments: 'node_shifts', 'node_strings', 'node_payloads', and 'child_indices'"),
        ("from_internal_data", ([],), {"child_indices": []}, "from_internal_data() missing 2 required positional arguments: 'node_strings' and 'node_payloads'"),
        ("from_internal_data", ([],) * 5, {}, "from_internal_data() takes 4 positional arguments but 5 were given"),
        ("from_internal_data", ([],), {"node_strings": [], "node_shifts": []}, "from_internal_data() got multiple values for argument 'node_shifts'"),
    ],
)  # fmt: skip
def test_binding_failures(worked, name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        entry(name, worked)(*args, **kwargs)
    assert info.type is TypeError
    assert str(info.value) == message


def test_keywords_bind_in_any_order(worked):
    shifts, strings, payloads, children = WORKED_EXAMPLE
    p = MODULE(child_indices=children, node_payloads=payloads, node_strings=strings, node_shifts=shifts)
    q = MODULE(shifts, strings, node_payloads=payloads, child_indices=children)
    for node in range(4):
        assert p.get_children(node_id=node) == q.get_children(node) == worked.get_children(node)
        assert p.get_payload(node_id=node) == q.get_payload(node) == worked.get_payload(node)


ARRAYS = WORKED_EXAMPLE


def with_arg(i, value):
    return tuple(value if k == i else a for k, a in enumerate(ARRAYS))


WRAPPED = "argument '{}': {}"
# (entry point, args, class, exact message or None when the text is the interpreter's)
CONVERSION_FAILURES = [
    ("get_payload", (-1,), OverflowError, "out of range integral type conversion attempted"),
    ("get_payload", (4294967296,), OverflowError, "out of range integral type conversion attempted"),
    ("get_payload", (Index(-1),), OverflowError, "out of range integral type conversion attempted"),
    ("get_payload", (2**70,), OverflowError, None),
    ("get_payload", (1.0,), TypeError, WRAPPED.format("node_id", "'float' object cannot be interpreted as an integer")),
    ("get_children", (None,), TypeError, WRAPPED.format("node_id", "'NoneType' object cannot be interpreted as an integer")),
    ("from_internal_data", with_arg(0, "abc"), TypeError, WRAPPED.format("node_shifts", "Can't extract `str` to `Vec`")),
    ("from_internal_data", with_arg(1, MyStr("abc")), TypeError, WRAPPED.format("node_strings", "Can't extract `str` to `Vec`")),
    ("from_internal_data", with_arg(0, 5), TypeError, WRAPPED.format("node_shifts", "'int' object cannot be converted to 'Sequence'")),
    ("from_internal_data", with_arg(3, {0: 1}), TypeError, WRAPPED.format("child_indices", "'dict' object cannot be converted to 'Sequence'")),
    ("from_internal_data", with_arg(3, (i for i in [1])), TypeError, WRAPPED.format("child_indices", "'generator' object cannot be converted to 'Sequence'")),
    ("from_internal_data", with_arg(1, ["", 1]), TypeError, WRAPPED.format("node_strings", "'int' object cannot be converted to 'PyString'")),
    ("from_internal_data", with_arg(1, ["", "\ud800"]), UnicodeEncodeError, None),
    ("from_internal_data", with_arg(2, [None, "5"]), TypeError, WRAPPED.format("node_payloads", "'str' object cannot be interpreted as an integer")),
    ("from_internal_data", with_arg(2, [None, -1]), OverflowError, "out of range integral type conversion attempted"),
    ("from_internal_data", with_arg(3, [1, 2**32]), OverflowError, "out of range integral type conversion attempted"),
    # The first failing parameter wins.
    ("from_internal_data", (5, 5, 5, 5), TypeError, WRAPPED.format("node_shifts", "'int' object cannot be converted to 'Sequence'")),
    ("from_internal_data", ([0], [1], [-1], 5), TypeError, WRAPPED.format("node_strings", "'int' object cannot be converted to 'PyString'")),
]  # fmt: skip


@pytest.mark.parametrize("name, args, error, message", CONVERSION_FAILURES)
def test_conversion_failures(worked, name, args, error, message):
    with pytest.raises(error) as info:
        entry(name, worked)(*args)
    assert info.type is error
    if message is not None:
        assert str(info.value) == message
    else:
        assert not str(info.value).startswith("argument")


@pytest.mark.parametrize(
    "node_id, payload",
    [(True, None), (False, None), (MyInt(2), 5), (Index(3), 7)],
    ids=["True", "False", "int-subclass", "index"],
)
def test_integer_protocol(worked, node_id, payload):
    assert worked.get_payload(node_id) == payload
    assert worked.get_payload(node_id=node_id) == payload


def test_optional_and_text_elements():
    p = MODULE(
        (0, 1, 1),
        [MyStr("r"), MyStr("xy"), "\U0001f600"],
        [None, MyInt(4), Index(9)],
        range(1, 3),
    )
    assert p.get_children(0) == [("x", 1)]
    assert p.get_children(2) == [("\U0001f600", 2)]
    assert [p.get_payload(i) for i in range(3)] == [None, 4, 9]


class TypeErrorSubclass(TypeError):
    pass


def chained_type_error():
    error = TypeError("inner")
    error.__cause__ = ValueError("why")
    return error


# Only an exception of exactly the class TypeError is wrapped; its cause carries over.
@pytest.mark.parametrize(
    "make_error, wrapped",
    [
        (lambda: TypeError("inner"), True),
        (chained_type_error, True),
        (lambda: TypeErrorSubclass("inner"), False),
        (lambda: ValueError("inner"), False),
        (lambda: KeyboardInterrupt("inner"), False),
    ],
    ids=["TypeError", "chained", "subclass", "ValueError", "KeyboardInterrupt"],
)
@pytest.mark.parametrize("where", ["argument", "element", "iterator"])
def test_wrapping_of_conversion_errors(worked, make_error, wrapped, where):
    inner = make_error()
    if where == "argument":
        call, name = lambda: worked.get_payload(Index(inner)), "node_id"
    elif where == "element":
        call, name = lambda: MODULE([0, Index(inner)], [], [], []), "node_shifts"
    else:
        call, name = lambda: MODULE([], [], [], FailingSequence([1, 2], inner)), "child_indices"
    with pytest.raises(BaseException) as info:
        call()
    if not wrapped:
        assert info.value is inner
        return
    assert info.type is TypeError
    assert str(info.value) == f"argument '{name}': inner"
    assert info.value.__cause__ is inner.__cause__
    assert info.value.__suppress_context__


def read_payloads(p):
    """Every payload of `p`, read until the first node id past the end."""
    values = []
    while True:
        try:
            values.append(p.get_payload(len(values)))
        except BaseException:
            return values


class Mutator:
    """An element whose conversion clears or extends the list that holds it."""

    def __init__(self, action):
        self.action, self.target = action, None

    def __index__(self):
        if self.action == "clear":
            self.target.clear()
        elif self.action == "append" and len(self.target) < 4:
            self.target.append(5)
        return 0


def build(kind, values):
    if kind == "bytes-like":
        return values
    if kind == "memoryview":
        return memoryview(bytes(values))
    if kind == "lengthy":
        return Lengthy(values, sys.maxsize)
    if kind == "length-fails":
        return Lengthy(values, ValueError("no length"))
    return kind(values)


SEQUENCE_KINDS = [list, MyList, tuple, MyTuple, bytes, MyBytes, bytearray, "memoryview", "lengthy", "length-fails"]


# Directly read containers give what iteration gives, for values and errors alike.
@pytest.mark.parametrize("kind", SEQUENCE_KINDS, ids=str)
def test_sequence_kinds_agree(kind):
    assert read_payloads(MODULE([], [], build(kind, [0, 7, 255]), [])) == [0, 7, 255]
    shifts = build(kind, [0, 2, 3, 3])
    assert MODULE(shifts, *WORKED_EXAMPLE[1:]).get_children(0) == [("c", 1), ("a", 3)]


@pytest.mark.parametrize("kind", [list, MyList, tuple, MyTuple, "lengthy"], ids=str)
@pytest.mark.parametrize(
    "values, error, message",
    [
        ([0, -1], OverflowError, "out of range integral type conversion attempted"),
        ([0, "x"], TypeError, WRAPPED.format("node_payloads", "'str' object cannot be interpreted as an integer")),
        ([0, Index(ValueError("v"))], ValueError, "v"),
    ],
)  # fmt: skip
def test_sequence_kinds_fail_alike(kind, values, error, message):
    with pytest.raises(error) as info:
        MODULE([], [], build(kind, values), [])
    assert str(info.value) == message


@pytest.mark.parametrize("kind", [list, MyList])
@pytest.mark.parametrize("action, payloads", [("clear", [0]), ("append", [1, 0, 5])])
def test_list_changed_during_conversion(kind, action, payloads):
    mutator = Mutator(action)
    values = kind([1, mutator] if action == "append" else [mutator, 1, 2])
    mutator.target = values
    assert read_payloads(MODULE([], [], values, [])) == payloads


def test_resumed_panic(worked, panic_class, capsys):
    original = panic_class("from Python")
    with pytest.raises(panic_class) as info:
        worked.get_payload(Index(original))
    assert info.value is not original
    assert info.value.args == ("from Python",)
    err = capsys.readouterr().err
    notice, _ = err.split("Traceback", 1)
    assert len(notice.strip().splitlines()) == 2
    assert "PanicException: from Python" in err


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


@pytest.mark.parametrize(
    "make_call, message",
    [
        (lambda p, e: p.get_payload(Index(e)), "boom"),
        (lambda p, e: MODULE([], [], FailingSequence([1], e), []), "boom"),
        (lambda p, e: MODULE(Lengthy([0], e), [], [], []), "boom"),
        (lambda p, e: p.get_children(Index(type(e)(Unprintable()))), "Unwrapped panic from Python code"),
    ],
    ids=["index", "iterator", "length", "unprintable"],
)
def test_panic_raised_by_python_code_comes_back_as_panic(worked, panic_class, capsys, make_call, message):
    with pytest.raises(panic_class) as info:
        make_call(worked, panic_class("boom"))
    assert info.value.args == (message,)
    assert "Traceback" in capsys.readouterr().err


def test_one_instance_used_from_several_threads(worked, panic_class):
    # The wrapped failure lets other threads run while its exception is made.
    def work(_):
        for _ in range(500):
            assert worked.get_children(0) == [("c", 1), ("a", 3)]
            with pytest.raises(TypeError, match="^argument 'node_id': "):
                worked.get_payload(1.5)
            with pytest.raises(panic_class):
                worked.get_payload(4)

    with ThreadPoolExecutor(4) as pool:
        list(pool.map(work, range(4)))


# ---------------------------------------------------------------------------
# Rules and result shapes that the registered entry points do not reach yet are
# exercised through a small probe extension built from the same binding sources.

PROBE_SOURCE = r"""
#include <Python.h>

#include <tuple>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/function_description.hpp"
#include "binding/results.hpp"

namespace {
using namespace binding;

#define PROBE(NAME, ...)                                                                  \
  PyObject* NAME(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept { \
    return run_entry_point([&] {                                                          \
      const auto bound = bind(NAME##_table, args, nargs, kwnames);                         \
      __VA_ARGS__                                                                         \
    });                                                                                   \
  }

constexpr FunctionDescription<1> word_table{std::nullopt, "word", {"value"}, 1};
constexpr FunctionDescription<1> maybe_word_table{std::nullopt, "maybe_word", {"value"}, 1};
constexpr FunctionDescription<1> text_table{std::nullopt, "text", {"value"}, 1};
constexpr FunctionDescription<1> octets_table{std::nullopt, "octets", {"bs"}, 1};
constexpr FunctionDescription<1> code_point_table{std::nullopt, "code_point", {"value"}, 1};
constexpr FunctionDescription<3> record_table{
    std::nullopt, "record", {"text", "payload", "distance"}, 3};
constexpr FunctionDescription<1> maybe_record_table{std::nullopt, "maybe_record", {"text"}, 1};

PROBE(word, return into_py(bound.convert<MachineWord>(0));)
PROBE(maybe_word, return into_py(bound.convert<Optional<MachineWord>>(0));)
PROBE(text, return into_py(bound.convert<Text>(0));)
PROBE(octets, return into_py(Bytes{bound.convert<SequenceOf<U8>>(0)});)
PROBE(code_point, return into_py(static_cast<char32_t>(bound.convert<U32>(0)));)
PROBE(record,
      auto text = bound.convert<Text>(0);
      auto payload = bound.convert<Optional<U32>>(1);
      auto distance = bound.convert<MachineWord>(2);
      std::vector<std::tuple<std::string, std::optional<std::uint32_t>, std::uint64_t>> rows;
      rows.emplace_back(std::move(text), payload, distance);
      return into_py(std::move(rows));)
PROBE(maybe_record,
      auto text = bound.convert<Text>(0);
      using Row = std::tuple<std::string, std::optional<std::uint32_t>, std::uint64_t>;
      std::optional<Row> row;
      if (!text.empty()) row = Row{std::move(text), std::nullopt, 0};
      return into_py(std::move(row));)

constexpr FunctionDescription<0> nothing_table{std::nullopt, "nothing", {}, 0};
PyObject* nothing(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return run_entry_point([&] {
    (void)bind(nothing_table, args, nargs, kwnames);
    return into_py(std::nullopt);
  });
}

#define ENTRY(NAME) {#NAME, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NAME)), \
                     METH_FASTCALL | METH_KEYWORDS, nullptr}
PyMethodDef methods[] = {ENTRY(word), ENTRY(maybe_word), ENTRY(text), ENTRY(octets),
                         ENTRY(code_point), ENTRY(record), ENTRY(maybe_record), ENTRY(nothing), {nullptr, nullptr, 0, nullptr}};
PyModuleDef definition = {PyModuleDef_HEAD_INIT, "_binding_probe", nullptr, -1, methods,
                          nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyMODINIT_FUNC PyInit__binding_probe() { return PyModule_Create(&definition); }
"""


@pytest.fixture(scope="session")
def probe():
    root = Path(__file__).resolve().parent.parent
    sources = sorted((root / "src" / "binding").glob("*.cpp"))
    compiler = shutil.which("c++") or shutil.which("g++") or shutil.which("clang++")
    if not sources or compiler is None:
        pytest.skip("binding sources or a C++ compiler are not available")
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    digest = hashlib.sha256(PROBE_SOURCE.encode() + sys.version.encode())
    for path in sorted((root / "src").glob("*/*.[ch]pp")):
        digest.update(path.read_bytes())
    out_dir = root / "build" / "binding-probe" / digest.hexdigest()[:16]
    library = out_dir / f"_binding_probe{suffix}"
    if not library.exists():
        out_dir.mkdir(parents=True, exist_ok=True)
        (out_dir / "probe.cpp").write_text(PROBE_SOURCE)
        command = [compiler, "-std=c++20", "-O1", "-shared", "-fPIC", "-fvisibility=hidden"]
        command += [f"-I{root / 'src'}", f"-I{sysconfig.get_paths()['include']}"]
        command += [str(out_dir / "probe.cpp"), *map(str, sources), "-o", str(library)]
        # A sanitizer runtime preloaded into this interpreter is not meant for the compiler.
        env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
        subprocess.run(command, check=True, env=env)
    found = importlib.util.spec_from_file_location("_binding_probe", library)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


class IndexedInt(int):
    def __index__(self):
        return 99


@pytest.mark.parametrize(
    "value, expected",
    [(0, 0), (2**64 - 1, 2**64 - 1), (True, 1), (MyInt(5), 5), (IndexedInt(5), 5), (Index(2**63), 2**63)],
    ids=["zero", "max", "bool", "int-subclass", "int-subclass-own-value", "index"],
)
def test_machine_word(probe, value, expected):
    assert probe.word(value) == expected
    assert probe.maybe_word(value) == expected
    assert probe.maybe_word(None) is None


@pytest.mark.parametrize(
    "function, value, error, message",
    [
        ("word", -1, OverflowError, None),
        ("word", 2**64, OverflowError, None),
        ("word", Index(-1), OverflowError, None),
        ("word", 1.5, TypeError, WRAPPED.format("value", "'float' object cannot be interpreted as an integer")),
        ("word", None, TypeError, WRAPPED.format("value", "'NoneType' object cannot be interpreted as an integer")),
        ("maybe_word", "x", TypeError, WRAPPED.format("value", "'str' object cannot be interpreted as an integer")),
        ("text", b"x", TypeError, WRAPPED.format("value", "'bytes' object cannot be converted to 'PyString'")),
        ("text", "\ud800", UnicodeEncodeError, None),
        ("octets", "abc", TypeError, WRAPPED.format("bs", "Can't extract `str` to `Vec`")),
        ("octets", 5, TypeError, WRAPPED.format("bs", "'int' object cannot be converted to 'Sequence'")),
        ("octets", [0, 256], OverflowError, "out of range integral type conversion attempted"),
        ("octets", (-1,), OverflowError, "out of range integral type conversion attempted"),
        ("nothing", 1, TypeError, "nothing() takes 0 positional arguments but 1 was given"),
    ],
)  # fmt: skip
def test_probe_failures(probe, function, value, error, message):
    with pytest.raises(error) as info:
        getattr(probe, function)(value)
    assert info.type is error
    if message is None:
        assert not str(info.value).startswith("argument")
    else:
        assert str(info.value) == message


@pytest.mark.parametrize("value", ["", "abc", MyStr("é€"), "\U0001f600\x00z"])
def test_text_round_trip(probe, value):
    result = probe.text(value)
    assert type(result) is str and result == value


@pytest.mark.parametrize("kind", SEQUENCE_KINDS + [range], ids=str)
def test_octets(probe, kind):
    values = [0, 1, 250, 255]
    result = probe.octets(range(0, 256, 85) if kind is range else build(kind, values))
    assert type(result) is bytes
    assert result == (bytes(range(0, 256, 85)) if kind is range else bytes(values))


@pytest.mark.parametrize("cp", [0x41, 0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF])
def test_code_point_result(probe, cp):
    assert probe.code_point(cp) == chr(cp)


def test_failed_result_creation_is_an_internal_failure(probe, capsys):
    with pytest.raises(BaseException) as info:
        probe.code_point(0xD800)  # no valid UTF-8 form
    # The probe carries its own copy of the class.
    assert (info.type.__module__, info.type.__name__) == ("tovrek_runtime", "PanicException")
    assert info.value.args == ("Python API call failed",)
    assert "UnicodeDecodeError" in capsys.readouterr().err


@pytest.mark.parametrize(
    "args, row",
    [(("car", 7, 0), ("car", 7, 0)), (("", None, 2**64 - 1), ("", None, 2**64 - 1)), ((MyStr("x"), True, MyInt(3)), ("x", 1, 3))],
)  # fmt: skip
def test_record_rows(probe, args, row):
    result = probe.record(*args)
    assert result == [row]
    assert type(result) is list and type(result[0]) is tuple and type(result[0][0]) is str
    assert probe.record(distance=args[2], text=args[0], payload=args[1]) == [row]


def test_optional_record(probe):
    assert probe.maybe_record("") is None
    assert probe.maybe_record("é") == ("é", None, 0)
