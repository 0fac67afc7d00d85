"""Labelled Hasse diagrams of concept lattices, shown in notebooks and saved for papers.

`Lattice.draw` lays a lattice out once (in C++, without the interpreter lock) and returns a
`Diagram`; the diagram then writes itself as SVG, an interactive HTML view, Graphviz DOT, a
TikZ picture or JSON.
"""

from __future__ import annotations

import numbers
import os
import sys
from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, Optional, Union

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._checks import whole_number
from tessara.lab._formats import Path, path_text
from tessara.lab._run import Progress, check_progress, progress_reporter

if TYPE_CHECKING:
    from tessara.lab._lattice import Concept, ConceptLike, Lattice

#: What `Lattice.draw(concepts=...)` takes: concepts, their indices, or a boolean mask over the lattice.
ConceptSelection = Union[Iterable[Union["Concept", int]], npt.ArrayLike]

#: The rankings `Lattice.draw(top=k, by=...)` knows.
RANKINGS = ("stability", "support")

__all__ = ["Diagram", "draw"]

#: The file extensions `Diagram.save` understands, and what each writes.
FORMATS = {
    ".svg": "SVG document",
    ".html": "HTML fragment with the interactive view",
    ".dot": "Graphviz DOT",
    ".tex": "LaTeX document with a TikZ picture",
    ".json": "positions, edges and labels as JSON",
}

#: Above this many concepts, reduced and full labels give way to counts unless asked otherwise.
COUNTS_ABOVE = 300

#: Labellings that write names and so switch to counts on big lattices.
_NAMED_LABELS = ("reduced", "full")


class Diagram:
    """A laid-out, labelled Hasse diagram of a concept lattice.

    Made by `Lattice.draw`. In a notebook it shows itself as an interactive view (hover a
    concept for its extent and intent, click it to highlight its upper and lower sets, wheel
    to zoom and drag to pan); `svg()` gives the static picture and `save(path)` writes it in
    the format the file extension names.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> lattice = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]]).lattice()
    >>> d = lattice.draw()
    >>> d
    Diagram(concepts=2, labels='reduced', layout='layered', size=...)
    >>> d.save("lattice.svg")
    >>> d.save("lattice.tex")
    >>> "duck" in d.svg(), d.crossings
    (True, 0)
    """

    __slots__ = ("_kernel",)

    def __init__(self, kernel: _lab.Diagram) -> None:
        self._kernel = kernel

    @property
    def n_concepts(self) -> int:
        """The number of concepts drawn.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.n_concepts
        12
        """
        return self._kernel.n_concepts

    @property
    def labels(self) -> str:
        """The labelling drawn: "reduced", "full", "counts" or "none".

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.labels, L.draw(labels="full").labels
        ('reduced', 'full')
        """
        return self._kernel.labels

    @property
    def layout(self) -> str:
        """The layout drawn: "layered" or "additive".

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.layout
        'layered'
        """
        return self._kernel.layout

    @property
    def width(self) -> float:
        """Width of the picture in CSS pixels.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.width > 0
        True
        """
        return self._kernel.width

    @property
    def height(self) -> float:
        """Height of the picture in CSS pixels.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.height > 0
        True
        """
        return self._kernel.height

    @property
    def caption(self) -> str:
        """The caption over the picture: the number of concepts and what the labels show.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.caption
        '12 concepts · attributes above, objects below their concepts'
        """
        return self._kernel.caption

    @property
    def crossings(self) -> int:
        """The number of edge crossings in the drawing.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.crossings
        0
        """
        return self._kernel.crossings

    def svg(self) -> str:
        """The diagram as a standalone SVG document.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> svg = d.svg()
        >>> "Jupiter, Saturn" in svg
        True
        """
        return self._kernel.write(".svg")

    def html(self) -> str:
        """The diagram as an HTML fragment with its interactive view (inline script, no network).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> "<svg" in d.html()
        True
        """
        return self._kernel.write(".html")

    def dot(self) -> str:
        """The diagram as Graphviz DOT, with the positions (``neato -n2`` keeps them).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> print(d.dot().splitlines()[0])
        // Concept lattice drawn by tessara (layered layout, reduced labels). Positions are in points, y up: `neato -n2 -Tsvg` keeps them, `dot -Tsvg` lays the graph out anew.
        """
        return self._kernel.write(".dot")

    def tikz(self) -> str:
        """The diagram as a LaTeX document holding one tikzpicture.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> "tikzpicture" in d.tikz()
        True
        """
        return self._kernel.write(".tex")

    def to_json(self) -> str:
        """Positions, edges and labels as JSON (described by ``diagram.schema.json`` in this package).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> import json
        >>> sorted(json.loads(d.to_json()))
        ['attributes', 'caption', 'crossings', 'edges', 'font', 'format', 'height', 'highlight', 'labels', 'labels_placed', 'layout', 'nodes', 'objects', 'version', 'width']
        """
        return self._kernel.write(".json")

    def save(self, path: Path) -> None:
        """Write the diagram to `path`, in the format its extension names.

        Parameters
        ----------
        path
            A file name ending in .svg, .html, .dot, .tex (TikZ) or .json (any letter case).

        Raises
        ------
        ValueError
            When the extension is none of those; the message lists them. No file is written then.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> d = L.draw()
        >>> d.save("planets.svg")
        >>> d.save("planets.tex")
        >>> open("planets.svg").read() == d.svg()
        True
        """
        name = path_text(path)
        text = self._kernel.write(os.path.splitext(name)[1])
        with open(name, "w", encoding="utf-8", newline="\n") as file:
            file.write(text)

    def _repr_svg_(self) -> str:
        return self.svg()

    def _repr_html_(self) -> str:
        return self.html()

    def __repr__(self) -> str:
        return (
            f"Diagram(concepts={self.n_concepts}, labels={self.labels!r}, layout={self.layout!r}, "
            f"size={self.width:g}x{self.height:g})"
        )


def draw(
    lattice: Lattice,
    labels: str = "reduced",
    layout: str = "layered",
    *,
    highlight: Optional[ConceptLike] = None,
    size_by_support: bool = False,
    shade_by_support: bool = False,
    counts_above: Optional[int] = COUNTS_ABOVE,
    concepts: Optional[ConceptSelection] = None,
    top: Optional[int] = None,
    by: str = "stability",
    progress: Progress = False,
) -> Diagram:
    """Lay out and label a lattice; see `Lattice.draw`."""
    check_progress(progress)
    if not isinstance(labels, str):
        raise TypeError(f"labels must be a str, not {type(labels).__name__}")
    if not isinstance(layout, str):
        raise TypeError(f"layout must be a str, not {type(layout).__name__}")
    for name, flag in (("size_by_support", size_by_support), ("shade_by_support", shade_by_support)):
        if not isinstance(flag, bool):
            raise TypeError(f"{name} must be a bool, not {type(flag).__name__}")
    if counts_above is not None:
        if isinstance(counts_above, bool) or not isinstance(counts_above, numbers.Integral):
            raise TypeError(f"counts_above must be an int or None, not {type(counts_above).__name__}")
        if counts_above < 0:
            raise ValueError(f"counts_above must not be negative, got {counts_above}")
        # Past any lattice's size, a larger threshold changes nothing.
        counts_above = whole_number("counts_above", counts_above, most=sys.maxsize, saturate=True)
    chosen = _focus(lattice, concepts, top, by)
    index = None if highlight is None else lattice._resolve(highlight)
    if index is not None and chosen is not None:
        position = np.flatnonzero(chosen == index)
        if position.size == 0:
            raise ValueError(f"highlight: concept {index} is not among the concepts drawn")
        index = int(position[0])
    drawn = len(lattice) if chosen is None else len(chosen)
    # None asks the kernel to pick counts for a big lattice and to say so in the caption.
    switch = counts_above is not None and labels in _NAMED_LABELS and drawn > counts_above
    with progress_reporter(progress, "layout steps") as reporter:
        kernel = _lab.draw(
            lattice._data.kernel,
            labels=None if switch else labels,
            layout=layout,
            highlight=index,
            size_by_support=size_by_support,
            shade_by_support=shade_by_support,
            counts_above=COUNTS_ABOVE if counts_above is None else counts_above,
            concepts=None if chosen is None else chosen.astype(np.uint32).tobytes(),
            progress=reporter.callback,
        )
    return Diagram(kernel)


def _focus(lattice: Lattice, concepts: Optional[ConceptSelection], top: Optional[int],
           by: str) -> Optional[npt.NDArray[np.int64]]:
    """The lattice indices a focus view draws (ascending, distinct), or None for the whole lattice."""
    if concepts is not None and top is not None:
        raise ValueError("give either concepts or top, not both")
    if top is not None:
        return _top_ranked(lattice, top, by)
    if concepts is None:
        return None
    chosen = _selection(lattice, concepts)
    if chosen.size == 0:
        raise ValueError("concepts selects no concept of the lattice")
    return chosen


def _selection(lattice: Lattice, concepts: Any) -> npt.NDArray[np.int64]:
    from tessara.lab._lattice import Concept

    n = len(lattice)
    if isinstance(concepts, np.ndarray) and concepts.dtype == np.bool_:
        if concepts.shape != (n,):
            raise ValueError(f"concepts: a boolean mask needs one entry per concept ({n}), got shape {concepts.shape}")
        return np.flatnonzero(concepts).astype(np.int64)
    if isinstance(concepts, np.ndarray) and np.issubdtype(concepts.dtype, np.integer):
        values = concepts.astype(np.int64).ravel()
    else:
        if isinstance(concepts, (str, bytes)) or not isinstance(concepts, Iterable):
            raise TypeError(f"concepts must be concepts, indices or a boolean mask, not {type(concepts).__name__}")
        items = list(concepts)
        if items and all(isinstance(item, (bool, np.bool_)) for item in items):
            return _selection(lattice, np.asarray(items, dtype=bool))
        for item in items:
            if not isinstance(item, (Concept, int, np.integer)) or isinstance(item, (bool, np.bool_)):
                raise TypeError(f"concepts: {item!r} is not a concept or a concept index")
        values = np.array([lattice._resolve(item) if isinstance(item, Concept) else int(item) for item in items],
                          dtype=np.int64)
    bad = values[(values < -n) | (values >= n)]
    if bad.size:
        raise IndexError(f"concepts: {int(bad[0])} is not a concept index of this lattice ({n} concepts)")
    return np.unique(np.where(values < 0, values + n, values))


def _top_ranked(lattice: Lattice, top: int, by: str) -> npt.NDArray[np.int64]:
    if isinstance(top, bool) or not isinstance(top, (int, np.integer)):
        raise TypeError(f"top must be an int, not {type(top).__name__}")
    if top < 1:
        raise ValueError(f"top must be at least 1, got {top}")
    if by not in RANKINGS:
        raise ValueError(f"by must be one of: {', '.join(RANKINGS)} (not {by!r})")
    scores = np.asarray(lattice.stability() if by == "stability" else lattice.supports, dtype=np.float64)
    # Highest first; ties go to the lower index.
    ranked = np.argsort(-scores, kind="stable")[: int(top)]
    kernel = lattice._data.kernel
    join = meet = int(ranked[0])
    for index in ranked[1:].tolist():
        join = _lab.join(kernel, join, index)
        meet = _lab.meet(kernel, meet, index)
    return np.unique(np.concatenate([ranked, [join, meet]]).astype(np.int64))
