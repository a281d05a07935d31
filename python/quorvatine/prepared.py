"""Prepared trie files: a ``PrefixSearch`` saved to disk and loaded back.

A prepared trie file is the bytes of ``PrefixSearch.to_bytes()`` behind a
small header of this package's own: the eight bytes ``MAGIC`` and the length
of the trie bytes as an unsigned 64-bit little-endian number. The header is
how a prepared file is recognised (never by guessing from its contents), and
the length catches a truncated copy, which the byte form alone would not.
"""

from __future__ import annotations

import errno
import os
import stat
import struct
from typing import TYPE_CHECKING, BinaryIO

from .dictionary import DataError
from .errors import PanicException

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

MAGIC = b"\x89QVT\r\n\x1a\n"
_LENGTH = struct.Struct("<Q")
HEADER_SIZE = len(MAGIC) + _LENGTH.size

Path = str | os.PathLike[str]


def save(trie: PrefixSearch, path: Path) -> None:
    """Writes `trie` to `path` as a prepared trie file.

    A regular file (or a missing one) is replaced atomically: the bytes go to
    a temporary file beside it, which then takes its name, so a failure leaves
    the old file as it was and no temporary file behind. Anything else (a
    device, a pipe) is written into, never replaced. An ``OSError`` (a full
    disk, a directory that cannot be written or does not exist) names `path`.

    >>> quorvatine.save(quorvatine.build(["car", "cat"]), "words.qvt")
    >>> quorvatine.load("words.qvt").exact_match("cat")
    ('cat', 1, 0)
    """
    write_trie_bytes(trie.to_bytes(), path)


def write_trie_bytes(trie_bytes: bytes, path: Path) -> None:
    """``save`` for a trie's byte form (``PrefixSearch.to_bytes()``), when the
    bytes are at hand without the trie."""
    data = MAGIC + _LENGTH.pack(len(trie_bytes)) + trie_bytes
    name = os.fspath(path)
    try:
        # The file a symbolic link names is replaced, not the link.
        _write(os.path.realpath(name), data)
    except OSError as e:
        # A failed write carries no file name, and the temporary file's would
        # be of no use to the caller.
        raise OSError(e.errno, e.strerror or str(e), name) from None


def load(path: Path) -> PrefixSearch:
    """The trie of the prepared trie file at `path` (as written by ``save`` or
    ``quorvatine build``).

    Raises ``DataError`` naming the file when it is not a regular file, lacks
    the header, holds more or fewer trie bytes than the header declares, or
    holds bytes that are not a trie's byte form; ``OSError`` when it cannot be
    read. Reads the file once and allocates no more than its size. Arrays that
    decode but do not form a tree are not looked for here: like any other
    ``PrefixSearch`` of such arrays, the trie raises ``PanicException`` on the
    first query that meets them.

    >>> quorvatine.save(quorvatine.build(["car", "cat"]), "words.qvt")
    >>> quorvatine.load("words.qvt").fuzzy_match("cap", 1, None)
    [('car', 0, 1), ('cat', 1, 1)]
    """
    import _quorvatine

    name = os.fspath(path)
    with _open_regular(name) as f:
        trie_bytes = _trie_bytes(f, name)
    try:
        return _quorvatine.from_bytes(trie_bytes)
    except PanicException as e:
        raise DataError(f"{name}: prepared trie file is damaged ({e})") from None


def is_prepared(path: Path) -> bool:
    """True when the file at `path` is a regular file that starts with the
    prepared-trie header; False for anything else (a pipe, a device), which
    is opened without waiting and not read."""
    name = os.fspath(path)
    try:
        with _open_regular(name) as f:
            return f.read(len(MAGIC)) == MAGIC
    except DataError:
        return False


def _open_regular(name: str) -> BinaryIO:
    """`name` opened for reading, when it is a regular file; else DataError
    "not a regular file". The open does not wait (a pipe with no writer would
    block it) and the check is of the opened file, so a file swapped in
    between cannot get past it."""
    nonblocking = getattr(os, "O_NONBLOCK", 0)
    fd = os.open(name, os.O_RDONLY | nonblocking)
    try:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            raise DataError(f"{name}: not a regular file")
        if nonblocking:
            os.set_blocking(fd, True)
        return os.fdopen(fd, "rb")
    except BaseException:
        os.close(fd)
        raise


def _trie_bytes(f: BinaryIO, name: str) -> bytes:
    # The declared length is compared with the file's size before anything
    # is read past the header: a damaged header must not decide an allocation.
    info = os.fstat(f.fileno())
    header = f.read(HEADER_SIZE)
    if len(header) < HEADER_SIZE or not header.startswith(MAGIC):
        raise DataError(f"{name}: not a prepared trie file")
    (length,) = _LENGTH.unpack_from(header, len(MAGIC))
    follow = info.st_size - HEADER_SIZE
    if length != follow:
        raise DataError(
            f"{name}: prepared trie file is damaged (header declares {length} bytes, {follow} follow)"
        )
    trie_bytes = f.read(length)
    if len(trie_bytes) != length or f.read(1):
        raise DataError(f"{name}: the file changed while it was read")
    return trie_bytes


def _write(target: str, data: bytes) -> None:
    try:
        is_regular = stat.S_ISREG(os.stat(target).st_mode)
    except FileNotFoundError:
        is_regular = True
    if not is_regular:
        with open(target, "wb") as f:
            f.write(data)
        return
    fd, temporary = _new_temporary(target)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(temporary, target)
    finally:
        if os.path.lexists(temporary):
            os.unlink(temporary)


def _new_temporary(target: str) -> tuple[int, str]:
    """A new file beside `target`, opened for writing, and its name. The name
    is random, so saves to one path from several threads or processes (or
    after a killed one left its temporary file) never meet. Created as `open`
    creates files (mode 0o666 less the umask), unlike tempfile.mkstemp's 0o600."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
    for _ in range(100):
        temporary = f"{target}.{os.urandom(6).hex()}.tmp"
        try:
            return os.open(temporary, flags, 0o666), temporary
        except FileExistsError:
            continue
    raise FileExistsError(errno.EEXIST, "no unused temporary file name", target)
