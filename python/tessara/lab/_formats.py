"""Format names and paths shared by the readers and writers of contexts and lattices."""

from __future__ import annotations

import os
from typing import Union

#: A file: a path as str or os.PathLike.
Path = Union[str, "os.PathLike[str]"]

# Format names accepted by read, write and to_bytes, and the extension that selects each one's reader.
_EXTENSIONS = {
    "cxt": "cxt",
    "csv": "csv",
    "tsv": "tsv",
    "dat": "dat",
    "fimi": "dat",
    "xml": "xml",
    "fca-xml": "xml",
    "json": "json",
}
FORMATS = ("cxt", "csv", "tsv", "dat", "xml", "json")


def format_extension(format: str) -> str:
    """The extension of a format name (case ignored); ValueError for an unknown one."""
    if not isinstance(format, str):
        raise TypeError(f"format must be a str, not {type(format).__name__}")
    extension = _EXTENSIONS.get(format.lower())
    if extension is None:
        raise ValueError(f"unknown format {format!r}: expected one of {', '.join(FORMATS)}")
    return extension


def path_text(path: Path) -> str:
    """The path as str; TypeError for anything that is not a path."""
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"expected a path (str or os.PathLike), not {type(path).__name__}")
    return os.fsdecode(os.fspath(path))


def format_of_path(path: str) -> str:
    """The format a file name's extension names; ValueError when it names none."""
    extension = os.path.splitext(path)[1][1:].lower()
    if extension not in FORMATS:
        known = ", ".join(FORMATS)
        raise ValueError(f"cannot tell the format from the file name {path!r}: pass format=, one of {known}")
    return extension
