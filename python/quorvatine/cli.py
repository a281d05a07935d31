"""The command line: spelling suggestions from a dictionary, and preparing dictionaries.

    quorvatine [--dict FILE [--counts]] [--max-dist K] [--limit N]
               [--nearest | --complete | --exact] [--levenshtein]
               [--case-sensitive] [--json] [WORD ...]
    quorvatine build WORDLIST [--counts] -o FILE

Exit status: 0 on success, 2 for usage errors, 1 for data errors (a missing,
unreadable or malformed file). Errors are one line on standard error.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Iterable, Sequence
from typing import NoReturn, TextIO

from _quorvatine import PrefixSearch

from . import dictionary, prepared, ranked, spelling
from .bundled import BUNDLED, english
from .dictionary import DataError
from .errors import PanicException

PROG = "quorvatine"
MAX_U64 = 2**64 - 1


class _Parser(argparse.ArgumentParser):
    """An argument parser whose usage errors are one line, like every other
    failure of the command line."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{PROG}: error: {message} (see `{self.prog} --help`)\n")


def _query_parser() -> argparse.ArgumentParser:
    parser = _Parser(
        prog=PROG,
        description="Spelling suggestions: the dictionary words each WORD most likely "
        "misspells, best first, by a model of common misspellings, by sound and by how common "
        "each word is; case is carried over (RECIEVE: RECEIVE). With no WORD, queries are read "
        "from standard input, one per line. `quorvatine build --help` prepares a dictionary "
        "file.",
    )
    parser.add_argument("words", nargs="*", metavar="WORD", help="words to look up")
    parser.add_argument(
        "--dict",
        metavar="FILE",
        help="a word list (one word per line, UTF-8, optional tab-separated payload; `-` for "
        "standard input) or a file made by `quorvatine build`; default: the bundled English "
        "dictionary, with its word frequencies",
    )
    parser.add_argument(
        "--counts",
        action="store_true",
        help="the --dict word list has `word<TAB>count` or `word count` lines: rank by them",
    )
    parser.add_argument(
        "--max-dist",
        type=_natural,
        metavar="K",
        help="largest edit distance (default: 2, and 3 for long words with nothing likely "
        "nearer; with --nearest 2; with --complete 1)",
    )
    parser.add_argument(
        "--limit", type=_natural, default=10, metavar="N", help="at most N suggestions per word (default 10)"
    )
    parser.add_argument(
        "--levenshtein",
        action="store_true",
        help="count a swap of adjacent letters as two edits (implies --nearest unless --complete)",
    )
    parser.add_argument(
        "--case-sensitive", action="store_true", help="compare letters with their case"
    )
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument(
        "--nearest",
        action="store_true",
        help="plain edit distances: the nearest words first, ties by payload (in the bundled "
        "dictionary the more common word; in a word list without payloads, the earlier line)",
    )
    mode.add_argument(
        "--complete",
        action="store_true",
        help="complete each WORD as a prefix: words beginning within --max-dist of it",
    )
    mode.add_argument("--exact", action="store_true", help="only report whether each word is stored")
    parser.add_argument("--json", action="store_true", help="one JSON object per word")
    return parser


def _build_parser() -> argparse.ArgumentParser:
    parser = _Parser(
        prog=f"{PROG} build",
        description="Prepare a word list for fast loading with --dict.",
    )
    parser.add_argument("wordlist", metavar="WORDLIST", help="one word per line, UTF-8 (`-`: standard input)")
    parser.add_argument(
        "--counts",
        action="store_true",
        help="lines are `word<TAB>count` or `word count` (counts 0 to 2**64 - 1): payloads are "
        "ranks by count, and the counts are kept for ranking",
    )
    parser.add_argument("-o", "--output", required=True, metavar="FILE", help="file to write")
    return parser


def _natural(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"must not be negative: {value}")
    if value > MAX_U64:
        raise argparse.ArgumentTypeError(f"must be at most {MAX_U64}: {value}")
    return value


def _fail(message: str) -> int:
    print(f"{PROG}: error: {message}", file=sys.stderr)
    return 1


def _load(path: str | None, counts: bool = False) -> PrefixSearch:
    if path is None:
        return english()
    if path != dictionary.STDIN and prepared.is_prepared(path):
        return prepared.load(path)
    return dictionary.build_word_list(path, counts=counts)


def _queries(words: Sequence[str], stdin: TextIO) -> Iterable[str]:
    if words:
        yield from words
        return
    for line in stdin:
        query = line.strip()
        if query:
            yield query


def _suggest(
    trie: PrefixSearch, query: str, args: argparse.Namespace
) -> list[tuple[str, int, int]] | list[spelling.Correction]:
    ignore_case = not args.case_sensitive
    if not (args.complete or args.nearest or args.levenshtein):
        return spelling.spell(trie, query, args.limit, max_dist=args.max_dist, ignore_case=ignore_case)
    # Ties go by payload: the word's frequency rank in the bundled dictionary,
    # its line position in a word list without payloads.
    rank = ranked.complete if args.complete else ranked.suggest
    max_dist = args.max_dist if args.max_dist is not None else (1 if args.complete else 2)
    return rank(
        trie, query, args.limit, max_dist, transpositions=not args.levenshtein, ignore_case=ignore_case
    )


def _run_queries(args: argparse.Namespace, out: TextIO) -> int:
    trie = _load(args.dict, args.counts)
    try:
        return _answer_queries(trie, args, out)
    except PanicException as e:
        # Arrays that decode but are not a tree fail on the first query that
        # meets them; that is the dictionary file's fault.
        raise DataError(f"{args.dict or BUNDLED}: the trie it holds is not valid ({e})") from None


def _answer_queries(trie: PrefixSearch, args: argparse.Namespace, out: TextIO) -> int:
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
            listed = [_as_json(match) for match in matches]
            out.write(json.dumps({"query": query, "matches": listed}, ensure_ascii=False) + "\n")
        elif matches:
            out.write(f"{query}: {', '.join(f'{m[0]} ({m[2]})' for m in matches)}\n")
        else:
            out.write(f"{query}: no suggestions\n")
        out.flush()
    return 0


def _as_json(match: tuple[str, int, int] | spelling.Correction) -> dict[str, object]:
    listed: dict[str, object] = {"word": match[0], "payload": match[1], "distance": match[2]}
    if len(match) > 3:
        listed["cost"] = round(match[3], 6)
    return listed


def _run_build(args: argparse.Namespace) -> int:
    prepared.save(dictionary.build_word_list(args.wordlist, counts=args.counts), args.output)
    return 0


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with `argv` (default: sys.argv[1:]); returns the exit status."""
    argv = list(sys.argv[1:] if argv is None else argv)
    try:
        if argv[:1] == ["build"]:
            return _run_build(_build_parser().parse_args(argv[1:]))
        parser = _query_parser()
        args = parser.parse_args(argv)
        if "" in args.words:
            # Every key within --max-dist of nothing is every short word.
            parser.error("the empty word is not a query")
        if args.counts and args.dict is None:
            parser.error("--counts describes the --dict word list; the bundled dictionary has its own")
        if args.dict == dictionary.STDIN and not args.words:
            parser.error("--dict - reads the dictionary from standard input: give the words as arguments")
        return _run_queries(args, sys.stdout)
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
