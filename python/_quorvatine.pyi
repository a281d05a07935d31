"""Type stubs of the `_quorvatine` extension module."""

from collections.abc import Sequence
from typing import SupportsIndex, final

__all__ = ["from_internal_data", "from_bytes", "PrefixSearch"]

@final
class PrefixSearch:
    """A read-only trie; made only by `from_internal_data` and `from_bytes`."""

    def fuzzy_match(
        self, prefix: str, max_dist: SupportsIndex, limit: SupportsIndex | None
    ) -> list[tuple[str, int, int]]: ...
    def exact_match(self, prefix: str) -> tuple[str, int, int] | None: ...
    def get_children(self, node_id: SupportsIndex) -> list[tuple[str, int]]: ...
    def get_payload(self, node_id: SupportsIndex) -> int | None: ...
    def to_bytes(self) -> bytes: ...

def from_internal_data(
    node_shifts: Sequence[SupportsIndex],
    node_strings: Sequence[str],
    node_payloads: Sequence[SupportsIndex | None],
    child_indices: Sequence[SupportsIndex],
) -> PrefixSearch: ...
def from_bytes(bs: Sequence[SupportsIndex]) -> PrefixSearch: ...
