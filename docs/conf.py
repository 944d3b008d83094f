"""Sphinx configuration: the pages are MyST Markdown, the version is the one
in pyproject.toml."""

import tomllib
from pathlib import Path

with open(Path(__file__).resolve().parent.parent / "pyproject.toml", "rb") as file:
    release = tomllib.load(file)["project"]["version"]
version = release

project = "kestrelbox"
author = "the kestrelbox developers"
copyright = "kestrelbox developers"

extensions = ["myst_parser"]
source_suffix = {".md": "markdown"}
# _generated/ holds the tables `make bench` writes, which pages include.
exclude_patterns = ["requirements.txt", "_generated"]
# Links to a section of another page ([text](page.md#section)).
myst_heading_anchors = 3

html_theme = "furo"
html_title = f"kestrelbox {release}"
