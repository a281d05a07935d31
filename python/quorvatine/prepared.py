"""Prepared trie files: a ``PrefixSearch`` saved to disk and loaded back.

A prepared trie file is an index file: a header (``INDEX_MAGIC``, a format
version, the file's size, a checksum of everything after the header, counts)
and a table of sections, each holding an array the lookups read in place:
``load`` maps the file read-only instead of reading it, so opening costs a
check of the header and the table, and processes that open the same file
share its pages. A trie that is not kept as a shared tree (one made from
node arrays) is saved as its byte form in a section of its own, which
``load`` decodes. Sections a version does not know are skipped, so later
data can be added beside the trie.

Files of the earlier form (``MAGIC``, the length of the trie bytes as an
unsigned 64-bit little-endian number, then ``PrefixSearch.to_bytes()``)
still load. A file is recognised by its header, never by guessing from its
contents.
"""

from __future__ import annotations

import errno
import os
import stat
import struct
from typing import TYPE_CHECKING

from . import _native
from .dictionary import DataError
from .errors import PanicException

if TYPE_CHECKING:
    from collections.abc import Callable

    from _quorvatine import PrefixSearch

    _Reader = Callable[[], PrefixSearch]

INDEX_MAGIC = b"\x89QVM\r\n\x1a\n"
MAGIC = b"\x89QVT\r\n\x1a\n"
_LENGTH = struct.Struct("<Q")
HEADER_SIZE = len(MAGIC) + _LENGTH.size

Path = str | os.PathLike[str]


def save(trie: PrefixSearch, path: Path) -> None:
    """Writes `trie` (and the counts kept with it, if any) to `path` as an
    index file.

    A regular file (or a missing one) is replaced atomically: the bytes go to
    a temporary file of a unique name beside it, which then takes its name,
    so a failure leaves the old file as it was and no temporary file behind,
    and of several processes saving at once the last one's file stays.
    Processes that have the old file mapped keep reading the old file.
    Anything else (a device, a pipe) is written into, never replaced. An
    ``OSError`` (a full disk, a directory that cannot be written or does not
    exist) names `path`.

    >>> quorvatine.save(quorvatine.build(["car", "cat"]), "words.qvt")
    >>> quorvatine.load("words.qvt").exact_match("cat")
    ('cat', 1, 0)
    """
    _write_file(_native.image(trie), path)


def load(path: Path, *, mmap: bool = True) -> PrefixSearch:
    """The trie of the prepared trie file at `path` (as written by ``save`` or
    ``quorvatine build``, or by earlier versions).

    An index file is mapped read-only and used in place (``mmap=False``
    reads it into memory instead): the file must then not be truncated or
    rewritten in place while the trie is in use (``save`` replaces files
    without touching the old one). A mapped trie pickles as a reference to
    its file (see ``pickling``); one read into memory pickles by value.

    Raises ``DataError`` naming the file when it is not a regular file, has no
    known header, or its header, section table or sizes do not agree (the
    checks are bounded by the header and table, not by the file's size);
    ``OSError`` when it cannot be opened or mapped. What the check cannot
    see (damaged bytes inside a section) gives wrong answers or a
    ``PanicException``, never a crash or an endless walk.

    >>> quorvatine.save(quorvatine.build(["car", "cat"]), "words.qvt")
    >>> quorvatine.load("words.qvt").fuzzy_match("cap", 1, None)
    [('car', 0, 1), ('cat', 1, 1)]
    """
    name = os.fspath(path)
    fd = _open_regular(name)
    try:
        info = os.fstat(fd)
        head = os.pread(fd, HEADER_SIZE, 0)
        if head.startswith(INDEX_MAGIC):
            if mmap:
                return _damaged_as_data_error(name, lambda: _native.map_file(fd, name))
            data = _read_all(fd, info.st_size, name)
            return _damaged_as_data_error(name, lambda: _native.from_image(data))
        if head.startswith(MAGIC) and len(head) == HEADER_SIZE:
            return _load_byte_form(fd, info.st_size, head, name)
        raise DataError(f"{name}: not a prepared trie file")
    finally:
        os.close(fd)


def is_prepared(path: Path) -> bool:
    """True when the file at `path` is a regular file that starts with a
    prepared-trie header; False for anything else (a pipe, a device), which
    is opened without waiting and not read."""
    name = os.fspath(path)
    try:
        fd = _open_regular(name)
    except DataError:
        return False
    try:
        return os.pread(fd, len(MAGIC), 0) in (MAGIC, INDEX_MAGIC)
    finally:
        os.close(fd)


def _open_regular(name: str) -> int:
    """A descriptor of `name` opened for reading, when it is a regular file;
    else DataError "not a regular file". The open does not wait (a pipe with
    no writer would block it) and the check is of the opened file, so a file
    swapped in between cannot get past it."""
    fd = os.open(name, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_CLOEXEC", 0))
    try:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            raise DataError(f"{name}: not a regular file")
    except BaseException:
        os.close(fd)
        raise
    return fd


def _damaged_as_data_error(name: str, read: _Reader) -> PrefixSearch:
    try:
        return read()
    except ValueError as e:
        raise DataError(f"{name}: prepared trie file is damaged ({e})") from None


def _load_byte_form(fd: int, size: int, header: bytes, name: str) -> PrefixSearch:
    import _quorvatine

    # The declared length is compared with the file's size before anything
    # is read past the header: a damaged header must not decide an allocation.
    (length,) = _LENGTH.unpack_from(header, len(MAGIC))
    follow = size - HEADER_SIZE
    if length != follow:
        raise DataError(
            f"{name}: prepared trie file is damaged (header declares {length} bytes, {follow} follow)"
        )
    trie_bytes = _read_all(fd, size, name)[HEADER_SIZE:]
    try:
        return _quorvatine.from_bytes(trie_bytes)
    except PanicException as e:
        raise DataError(f"{name}: prepared trie file is damaged ({e})") from None


def _read_all(fd: int, size: int, name: str) -> bytes:
    data = os.pread(fd, size + 1, 0)
    if len(data) != size:
        raise DataError(f"{name}: the file changed while it was read")
    return data


def _write_file(data: bytes, path: Path) -> None:
    name = os.fspath(path)
    try:
        # The file a symbolic link names is replaced, not the link.
        _write(os.path.realpath(name), data)
    except OSError as e:
        # A failed write carries no file name, and the temporary file's would
        # be of no use to the caller.
        raise OSError(e.errno, e.strerror or str(e), name) from None


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
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    for _ in range(100):
        temporary = f"{target}.{os.urandom(6).hex()}.tmp"
        try:
            return os.open(temporary, flags, 0o666), temporary
        except FileExistsError:
            continue
    raise FileExistsError(errno.EEXIST, "no unused temporary file name", target)
