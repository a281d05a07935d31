"""Sphinx configuration of the API reference (`make docs`)."""

import sys
from pathlib import Path

import quorvatine

sys.path.insert(0, str(Path(__file__).resolve().parent / "ext"))

project = "quorvatine"
release = version = quorvatine.__version__
copyright = "2026, The quorvatine developers"

extensions = ["sphinx.ext.autodoc", "stub_docs", "public_names"]
autodoc_member_order = "bysource"  # for a module with __all__: its order
autodoc_typehints = "signature"
autodoc_preserve_defaults = True
default_role = "code"  # `name` in a docstring is code, as ``name`` is
exclude_patterns = ["_build"]
html_theme = "alabaster"
