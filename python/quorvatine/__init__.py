"""Fuzzy and exact lookups over a compact trie of words.

``build(words)`` lays out a trie and returns a ``PrefixSearch`` from the
``_quorvatine`` extension; ``layout(words)`` returns the four node arrays
instead, and ``build_word_list(path)`` builds from a word-list file.
Importing the package also makes ``PrefixSearch`` picklable (through its byte
form). ``fuzzy_match_many`` answers large batches on native threads,
``Dictionary(trie)`` offers ``len``, ``in`` and iteration over the keys, and
``save``/``load`` keep a trie in a file. ``suggest`` gives the nearest keys to a word and
``complete`` the best completions of a prefix that may hold typos, both ranked
and counting an adjacent swap as one edit; ``suggest_many`` and
``complete_many`` answer batches of them on native threads.
``best_matches`` answers a whole column (Arrow, pandas, polars, numpy or a
list) as columns, and ``fuzzy_join`` joins a pandas, polars or Dask
DataFrame to a vocabulary by the nearest entries.
"""

from _quorvatine import PrefixSearch, from_bytes, from_internal_data

from . import pickling
from .builder import build, layout
from .bundled import english
from .columns import Matches, best_matches
from .counts import with_counts
from .dictionary import DataError, build_word_list
from .errors import PanicException
from .join import fuzzy_join
from .keys import Dictionary
from .parallel import complete_many, fuzzy_match_many, suggest_many
from .prepared import load, save
from .ranked import complete, suggest
from .spelling import spell, spell_many

pickling.register()

__all__ = [
    "__version__",
    "DataError",
    "Dictionary",
    "Matches",
    "PanicException",
    "PrefixSearch",
    "best_matches",
    "build",
    "build_word_list",
    "complete",
    "complete_many",
    "english",
    "from_bytes",
    "from_internal_data",
    "fuzzy_join",
    "fuzzy_match_many",
    "layout",
    "load",
    "save",
    "spell",
    "spell_many",
    "suggest",
    "suggest_many",
    "with_counts",
]

#: The installed distribution's version, as in ``"0.1.0"``.
__version__: str  # set by __getattr__ on first use


def __getattr__(name: str) -> str:
    # Computed on first use: importlib.metadata costs more to import than the
    # rest of the package.
    if name == "__version__":
        global __version__
        __version__ = _version()
        return __version__
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def _version() -> str:
    """The installed distribution's version; run from a source tree without
    one (as the sanitizer run does), the version its pyproject.toml declares,
    and "0+unknown" when neither is there."""
    from importlib import metadata

    try:
        return metadata.version(__name__)
    except metadata.PackageNotFoundError:
        pass
    import tomllib
    from pathlib import Path

    try:
        with open(Path(__file__).resolve().parents[2] / "pyproject.toml", "rb") as f:
            project = tomllib.load(f).get("project", {})
    except (OSError, tomllib.TOMLDecodeError):
        return "0+unknown"
    version = project.get("version") if project.get("name") == __name__ else None
    return version if isinstance(version, str) else "0+unknown"
