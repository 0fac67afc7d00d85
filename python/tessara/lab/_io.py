"""Files: contexts read with the module's readers and written by the matching writers; lattices saved and loaded."""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Optional, Union

from tessara import _lab
from tessara.lab._context import Context
from tessara.lab._formats import Path, format_extension, path_text
from tessara.lab._run import Progress, check_progress, progress_reporter

if TYPE_CHECKING:
    from tessara.lab._lattice import Lattice


def _encodable(name: str) -> str:
    # File names may hold undecodable bytes (surrogate escapes); the readers only look at the extension.
    return name.encode("utf-8", "replace").decode("utf-8")


def read(source: Union[Path, bytes], format: Optional[str] = None) -> Context:
    """Read a context with the readers of ``tessara.parse_context``.

    Parameters
    ----------
    source : str, os.PathLike or bytes
        A file to read, or its contents.
    format : str, optional
        "cxt", "csv", "tsv", "dat" (FIMI), "xml" (FCA-XML) or "json". By default a path's extension chooses
        the reader, and when it is not one of these (or ``source`` is bytes) the first line of the data does:
        ``B`` is CXT, ``<`` FCA-XML, ``{`` JSON, digits separated by spaces FIMI, a comma CSV. (Without a file
        name, ``tessara.parse_context`` reads CXT; ``read`` looks at the data instead.)

    FIMI data (``.dat``) is read straight into the sparse form, at tens of megabytes a second, without the
    dense matrix: its results and messages are those of ``tessara.parse_context``, except that the size limit
    follows what is stored (2**23 generated attribute names) rather than objects × attributes. Ctrl-C stops
    a long read with ``KeyboardInterrupt``.

    Raises
    ------
    OSError
        When the file cannot be read.
    ValueError
        "parse error: …" saying what is wrong and where (preceded by the path for a file).

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.read(b"name,flies,swims\\nduck,1,1\\ntrout,0,1\\n")
    >>> K.objects, K.attributes
    (('duck', 'trout'), ('flies', 'swims'))
    >>> tl.read(b"0 1\\n1\\n", format="dat").attributes
    ('m0', 'm1')
    """
    extension = None if format is None else format_extension(format)
    if isinstance(source, (bytes, bytearray, memoryview)):
        data, shown = bytes(source), None
        filename = "" if extension is None else f"data.{extension}"
    else:
        shown = path_text(source)
        with open(shown, "rb") as file:
            data = file.read()
        filename = _encodable(os.path.basename(shown)) if extension is None else f"data.{extension}"
    try:
        kernel = _lab.read_context(data, filename)
    except ValueError as error:
        if shown is None:
            raise
        raise ValueError(f"{shown}: {error}") from None
    return Context._from_kernel(kernel)


def load(source: Union[Path, bytes], progress: Progress = False) -> Lattice:
    """Load a lattice saved by :meth:`Lattice.save`, without computing it again.

    Parameters
    ----------
    source : str, os.PathLike or bytes
        The file, or its contents.
    progress : bool or callable
        ``True`` shows the reading's progress (a tqdm bar, or a line on stderr without tqdm); a callable is
        called, from the calling thread, with the number of reading steps done.

    Raises
    ------
    OSError
        When the file cannot be read.
    ValueError
        "invalid lattice data: …" when the document is not one :meth:`Lattice.save` writes, or was changed or
        cut afterwards: every stored concept is checked to be a concept of the stored context, the cover pairs
        to go upwards, and a checksum of the content to match.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> L = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]]).lattice()
    >>> L.save("pond.json")
    >>> tl.load("pond.json")
    Lattice(concepts=2, edges=1, objects=2, attributes=2)
    >>> steps = []
    >>> tl.load("pond.json", progress=steps.append)
    Lattice(concepts=2, edges=1, objects=2, attributes=2)
    """
    check_progress(progress)
    if isinstance(source, (bytes, bytearray, memoryview)):
        data, shown = bytes(source), None
    else:
        shown = path_text(source)
        with open(shown, "rb") as file:
            data = file.read()
    try:
        with progress_reporter(progress, "reading steps") as reporter:
            kernel = _lab.load_lattice(data, reporter.callback)
    except ValueError as error:
        if shown is None:
            raise
        raise ValueError(f"{shown}: {error}") from None
    from tessara.lab._lattice import Lattice

    return Lattice._from_kernel(kernel, Context._from_kernel(kernel.context))
