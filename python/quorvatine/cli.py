"""The command line: spelling suggestions from a dictionary, and preparing dictionaries.

    quorvatine [--dict FILE [--counts]] [--max-dist K] [--limit N]
               [--nearest | --complete | --exact] [--levenshtein]
               [--case-sensitive] [--json] [--no-progress] [WORD ...]
    quorvatine build WORDLIST [--counts] -o FILE
    quorvatine check [--dict FILE [--counts]] [--json] [--no-progress] FILE|-
    quorvatine correct [--dict FILE [--counts]] [--threshold T] [--no-progress] FILE|-

Exit status: 0 on success, 2 for usage errors, 1 for data errors (a missing,
unreadable or malformed file) and for `check` when a word is unknown. Errors
are one line on standard error.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Iterable, Sequence
from typing import NoReturn, TextIO

from _quorvatine import PrefixSearch

from . import dictionary, prepared, ranked, spelling, streaming
from .bundled import BUNDLED, english
from .dictionary import DataError
from .errors import PanicException
from .progress import InputProgress

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
        "file; `quorvatine check --help` and `quorvatine correct --help` check and correct texts.",
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
    _add_no_progress(parser)
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


def _text_parser(command: str, description: str) -> argparse.ArgumentParser:
    parser = _Parser(prog=f"{PROG} {command}", description=description)
    parser.add_argument("file", metavar="FILE", help="UTF-8 text to read (`-`: standard input)")
    parser.add_argument(
        "--dict",
        metavar="FILE",
        help="a word list or a file made by `quorvatine build`; default: the bundled English "
        "dictionary",
    )
    parser.add_argument(
        "--counts",
        action="store_true",
        help="the --dict word list has `word<TAB>count` or `word count` lines: rank by them",
    )
    parser.add_argument(
        "--max-dist", type=_natural, default=2, metavar="K", help="most edits in a word (default 2)"
    )
    _add_no_progress(parser)
    return parser


def _check_parser() -> argparse.ArgumentParser:
    parser = _text_parser(
        "check",
        "Report the unknown words of a text as FILE:LINE:COL: word: suggestions, and exit "
        "with status 1 when there is one.",
    )
    parser.add_argument(
        "--limit", type=_natural, default=5, metavar="N", help="at most N suggestions (default 5)"
    )
    parser.add_argument("--json", action="store_true", help="one JSON object per unknown word")
    return parser


def _correct_parser() -> argparse.ArgumentParser:
    parser = _text_parser(
        "correct",
        "Write the text with its unknown words corrected (run-on words split, split words "
        "joined) to standard output; everything else is written as it was.",
    )
    parser.add_argument(
        "--threshold",
        type=float,
        default=0.0,
        metavar="T",
        help="correct a word only when the correction is exp(T) times as likely as the text "
        "as written (default 0; raise it to correct less)",
    )
    return parser


def _add_no_progress(parser: argparse.ArgumentParser) -> None:
    parser.add_argument(
        "--no-progress",
        action="store_true",
        help="no progress bar (otherwise one is drawn on standard error, when it is a terminal, "
        "for input that takes more than a second)",
    )


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
    source = None if args.words else getattr(sys.stdin, "buffer", None)
    shown = not (args.words or args.no_progress)
    with InputProgress(source, "queries", shown=shown, output=out) as progress:
        for query in _queries(args.words, sys.stdin):
            progress.advance()
            line = _answer(trie, query, args)
            with progress.output():
                out.write(line)
                if not args.exact:
                    out.flush()
    return 0


def _answer(trie: PrefixSearch, query: str, args: argparse.Namespace) -> str:
    if args.exact:
        hit = trie.exact_match(query)
        if args.json:
            match = None if hit is None else {"word": hit[0], "payload": hit[1]}
            return json.dumps({"query": query, "match": match}, ensure_ascii=False) + "\n"
        return f"{query}: {'found' if hit else 'not found'}\n"
    matches = _suggest(trie, query, args)
    if args.json:
        listed = [_as_json(match) for match in matches]
        return json.dumps({"query": query, "matches": listed}, ensure_ascii=False) + "\n"
    if matches:
        return f"{query}: {', '.join(f'{m[0]} ({m[2]})' for m in matches)}\n"
    return f"{query}: no suggestions\n"


def _run_text(command: str, args: argparse.Namespace) -> int:
    trie = _load(args.dict, args.counts)
    try:
        if command == "check":
            found = streaming.check_stream(
                trie, args.file, sys.stdout, n=args.limit, max_dist=args.max_dist, as_json=args.json,
                progress=not args.no_progress,
            )
            return 1 if found else 0
        streaming.correct_stream(
            trie, args.file, sys.stdout, max_dist=args.max_dist, threshold=args.threshold,
            progress=not args.no_progress,
        )
        return 0
    except PanicException as e:
        raise DataError(f"{args.dict or BUNDLED}: the trie it holds is not valid ({e})") from None


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
        if argv[:1] == ["check"]:
            return _run_text("check", _check_parser().parse_args(argv[1:]))
        if argv[:1] == ["correct"]:
            return _run_text("correct", _correct_parser().parse_args(argv[1:]))
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
