"""The compiled part of the quorvatine package: layouts from words and word-list files,
batches on native threads, columnar batches."""

from collections.abc import Callable, Sequence
from typing import Optional

from _quorvatine import PrefixSearch

MAX_WORD_BYTES: int

_FixedPiece = (
    tuple[int, int, float]
    | tuple[int, int, float, int | None]
    | tuple[int, int, float, int | None, bool]
)

def lay_out(
    words: object, is_mapping: bool
) -> tuple[list[int], list[str], list[Optional[int]], list[int]]: ...
def build(words: object, is_mapping: bool) -> PrefixSearch: ...
def build_word_file(path: bytes, name: str) -> PrefixSearch: ...
def encode_word_file(path: bytes, name: str) -> bytes: ...
def read_word_file(path: bytes, name: str) -> list[str] | dict[str, int]: ...
def fuzzy_match_many(
    trie: PrefixSearch,
    queries: list[str] | tuple[str, ...],
    max_dist: int,
    limit: Optional[int],
    threads: int,
    progress: Optional[Callable[[int, int], object]],
) -> list[list[tuple[str, int, int]]]: ...
def items(trie: PrefixSearch) -> list[tuple[str, int]]: ...
def key_count(trie: PrefixSearch) -> int: ...
def suggest(
    trie: PrefixSearch,
    word: str,
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: object,
    fold: bool,
) -> list[tuple[str, int, int]]: ...
def complete(
    trie: PrefixSearch,
    prefix: str,
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: object,
    fold: bool,
) -> list[tuple[str, int, int]]: ...
def suggest_many(
    trie: PrefixSearch,
    words: list[str] | tuple[str, ...],
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: object,
    threads: int,
    progress: Optional[Callable[[int, int], object]],
    fold: bool,
) -> list[list[tuple[str, int, int]]]: ...
def complete_many(
    trie: PrefixSearch,
    prefixes: list[str] | tuple[str, ...],
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: object,
    threads: int,
    progress: Optional[Callable[[int, int], object]],
    fold: bool,
) -> list[list[tuple[str, int, int]]]: ...
def segment_many(
    trie: PrefixSearch,
    jobs: Sequence[
        tuple[str, Sequence[int], Sequence[_FixedPiece]]
        | tuple[str, Sequence[int], Sequence[_FixedPiece], int | None, int | None]
    ],
    max_dist: int,
    transpositions: bool,
    costs: tuple[float, ...],
    threads: int,
    pairs: object = None,
) -> list[tuple[float, list[tuple[int, int, int, str, int, int]]]]: ...
def unwritten_words(trie: PrefixSearch, texts: list[str]) -> list[list[tuple[int, int]]]: ...
def text_words(trie: PrefixSearch, texts: list[str]) -> list[list[tuple[int, int, int | None]]]: ...
def match_column(
    trie: PrefixSearch,
    source: object,
    nulls: object,
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: object,
    threads: int,
    progress: Optional[Callable[[int, int], object]],
) -> object: ...
def export_matches(answer: object, column: int) -> tuple[object, object]: ...
def export_match_stream(answer: object) -> object: ...
def match_values(answer: object, column: int) -> bytes: ...
def match_keys(answer: object) -> list[Optional[str]]: ...
def map_file(fd: int, name: str) -> PrefixSearch: ...
def from_image(data: bytes | bytearray | memoryview) -> PrefixSearch: ...
def image(trie: PrefixSearch) -> bytes: ...
def file_reference(trie: PrefixSearch) -> Optional[tuple[str, int, int, bool]]: ...
def form(trie: PrefixSearch) -> str: ...
def key_counts(trie: PrefixSearch) -> Optional[memoryview]: ...
def with_key_counts(trie: PrefixSearch, counts: object) -> PrefixSearch: ...
def spell_index(trie: PrefixSearch, counts: object) -> object: ...
def sound_code(word: str) -> str: ...
def spell(
    trie: PrefixSearch,
    index: object,
    word: str,
    n: int,
    max_dist: Optional[int],
    fold: bool,
    counts: object,
) -> list[tuple[str, int, int, float]]: ...
def spell_many(
    trie: PrefixSearch,
    index: object,
    words: list[str] | tuple[str, ...],
    n: int,
    max_dist: Optional[int],
    fold: bool,
    counts: object,
    threads: int,
    progress: Optional[Callable[[int, int], object]],
) -> list[list[tuple[str, int, int, float]]]: ...
