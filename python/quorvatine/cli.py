"""The command line: spelling suggestions from a dictionary, and preparing dictionaries.

    quorvatine [--dict FILE] [--max-dist K] [--limit N] [--exact] [--json] [WORD ...]
    quorvatine build WORDLIST -o FILE

Exit status: 0 on success, 2 for usage errors, 1 for data errors (a missing,
unreadable or malformed file). Errors are one line on standard error.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Iterable, Sequence
from importlib import resources
from typing import TextIO

from _quorvatine import PrefixSearch

from . import dictionary
from .dictionary import DataError

BUNDLED = "american-english.qvt"
PROG = "quorvatine"


def _query_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Spelling suggestions: the dictionary words within an edit distance of "
        "each WORD, nearest first (ties in dictionary order). With no WORD, queries are "
        "read from standard input, one per line. `quorvatine build --help` prepares a "
        "dictionary file.",
    )
    parser.add_argument("words", nargs="*", metavar="WORD", help="words to look up")
    parser.add_argument(
        "--dict",
        metavar="FILE",
        help="a word list (one word per line, UTF-8, optional tab-separated payload) or a "
        "file made by `quorvatine build`; default: the bundled English dictionary",
    )
    parser.add_argument(
        "--max-dist", type=_natural, default=2, metavar="K", help="largest edit distance (default 2)"
    )
    parser.add_argument("--limit", type=_natural, metavar="N", help="at most N suggestions per word")
    parser.add_argument("--exact", action="store_true", help="only report whether each word is stored")
    parser.add_argument("--json", action="store_true", help="one JSON object per word")
    return parser


def _build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=f"{PROG} build",
        description="Prepare a word list for fast loading with --dict.",
    )
    parser.add_argument("wordlist", metavar="WORDLIST", help="one word per line, UTF-8")
    parser.add_argument("-o", "--output", required=True, metavar="FILE", help="file to write")
    return parser


def _natural(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"must not be negative: {value}")
    return value


def _fail(message: str) -> int:
    print(f"{PROG}: error: {message}", file=sys.stderr)
    return 1


def _load(path: str | None) -> PrefixSearch:
    import _quorvatine

    if path is None:
        data = resources.files(__package__).joinpath("data", BUNDLED).read_bytes()
        return _quorvatine.from_bytes(_unwrap(data, BUNDLED))
    if dictionary.is_prepared(path):
        trie_bytes = dictionary.read_prepared(path)
        try:
            return _quorvatine.from_bytes(trie_bytes)
        except BaseException as e:  # the module's internal failure derives from BaseException
            if not _is_panic(e):
                raise
            raise DataError(f"{path}: prepared trie file is damaged ({e})") from None
    return dictionary.build_word_list(path)


def _unwrap(data: bytes, name: str) -> bytes:
    head = len(dictionary.MAGIC) + 8
    if not data.startswith(dictionary.MAGIC) or len(data) < head:
        raise DataError(f"{name}: not a prepared trie file")
    return data[head:]


def _is_panic(e: BaseException) -> bool:
    return type(e).__name__ == "PanicException"


def _queries(words: Sequence[str], stdin: TextIO) -> Iterable[str]:
    if words:
        yield from words
        return
    for line in stdin:
        query = line.rstrip("\r\n")
        if query:
            yield query


def _suggest(trie: PrefixSearch, query: str, args: argparse.Namespace) -> list[tuple[str, int, int]]:
    # The walk reports matches in trie order; users want the nearest first, so
    # sort by distance, then by payload, which is the word's dictionary position.
    found = trie.fuzzy_match(query, args.max_dist, None)
    found.sort(key=lambda m: (m[2], m[1], m[0]))
    return found if args.limit is None else found[: args.limit]


def _run_queries(args: argparse.Namespace, out: TextIO) -> int:
    trie = _load(args.dict)
    for query in _queries(args.words, sys.stdin):
        if args.exact:
            hit = trie.exact_match(query)
            if args.json:
                match = None if hit is None else {"word": hit[0], "payload": hit[1]}
                out.write(json.dumps({"query": query, "match": match}, ensure_ascii=False) + "\n")
            else:
                out.write(f"{query}: {'found' if hit else 'not found'}\n")
            continue
        matches = _suggest(trie, query, args)
        if args.json:
            listed = [{"word": w, "payload": p, "distance": d} for w, p, d in matches]
            out.write(json.dumps({"query": query, "matches": listed}, ensure_ascii=False) + "\n")
        elif matches:
            out.write(f"{query}: {', '.join(f'{w} ({d})' for w, _, d in matches)}\n")
        else:
            out.write(f"{query}: no suggestions\n")
        out.flush()
    return 0


def _run_build(args: argparse.Namespace) -> int:
    dictionary.write_prepared(args.output, dictionary.encode_word_list(args.wordlist))
    return 0


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with `argv` (default: sys.argv[1:]); returns the exit status."""
    argv = list(sys.argv[1:] if argv is None else argv)
    try:
        if argv[:1] == ["build"]:
            return _run_build(_build_parser().parse_args(argv[1:]))
        return _run_queries(_query_parser().parse_args(argv), sys.stdout)
    except DataError as e:
        return _fail(str(e))
    except OSError as e:
        if isinstance(e, BrokenPipeError):
            # The reader went away (`| head`): stop quietly, as other filters do.
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, sys.stdout.fileno())
            return 0
        where = f"{e.filename}: " if e.filename else ""
        return _fail(f"{where}{e.strerror or e}")
    except (TypeError, ValueError) as e:
        # The builder refuses a word it cannot store and says which one.
        return _fail(str(e))
    except KeyboardInterrupt:
        return 130
