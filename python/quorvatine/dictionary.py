"""Loading word lists for the command line (prepared trie files: prepared.py).

A word list is UTF-8 text with one word per line and, optionally, a second
tab-separated column holding the word's payload (0 to 4294967295). Without
that column a word's payload is its position among the words, counted from 0.
"""

from __future__ import annotations

import os
from collections.abc import Mapping, Sequence

_MAX_PAYLOAD = 0xFFFFFFFF


class DataError(Exception):
    """A dictionary file that cannot be used; the message says where and why."""


def read_words(path: str | os.PathLike[str]) -> Sequence[str] | Mapping[str, int]:
    """Reads a word list: a list of words, or a dict of word to payload when
    the file has a payload column. Raises DataError naming the file and line of
    the first bad line, OSError when the file cannot be read."""
    name = os.fspath(path)
    with open(name, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        bad_line = raw.count(b"\n", 0, e.start) + 1
        raise DataError(f"{name}:{bad_line}: not valid UTF-8") from None
    if text.startswith("\ufeff"):
        text = text[1:]
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    words: list[str] = []
    payloads: dict[str, int] = {}
    with_payloads: bool | None = None
    for number, line in enumerate(lines, start=1):
        line = line.removesuffix("\r")
        fields = line.split("\t")
        if with_payloads is None:
            with_payloads = len(fields) == 2
        where = f"{name}:{number}"
        if len(fields) != (2 if with_payloads else 1):
            expected = "a word and a payload" if with_payloads else "one word"
            raise DataError(f"{where}: malformed line (expected {expected} per line)")
        word = fields[0]
        if word == "":
            raise DataError(f"{where}: empty word")
        if not with_payloads:
            words.append(word)
            continue
        payload = _parse_payload(fields[1])
        if payload is None:
            raise DataError(f"{where}: payload {fields[1]!r} is not an integer from 0 to 4294967295")
        if word in payloads:
            raise DataError(f"{where}: word {word!r} repeated")
        payloads[word] = payload
    return payloads if with_payloads else words


def _parse_payload(field: str) -> int | None:
    if not (field.isascii() and field.isdigit()):
        return None
    value = int(field)
    return value if value <= _MAX_PAYLOAD else None
