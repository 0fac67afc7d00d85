"""Type information for the tessara extension module.

`ConceptDict` and `ImplicationDict` exist only for type checkers: import them
under `typing.TYPE_CHECKING` to annotate the results of `compute_concepts`,
`Lattice.concepts` and `compute_implications`.
"""

import builtins
from typing import TypedDict, final, type_check_only

__all__ = [
    "Context",
    "Lattice",
    "parse_context",
    "supported_algorithms",
    "compute_concepts",
    "compute_lattice",
    "compute_implications",
    "__version__",
]

__version__: str

@type_check_only
class ConceptDict(TypedDict):
    """One concept: the names of its objects and of its attributes, by ascending index."""

    extent: list[str]
    intent: list[str]

@type_check_only
class ImplicationDict(TypedDict):
    """One implication of the canonical base; `conclusion` is the whole closure of `premise`."""

    premise: list[str]
    conclusion: list[str]
    support: int
    confidence: float

@final
class Context:
    """Wraps a parsed `Context` so Python can hold it across calls."""

    @property
    def n_objects(self) -> int: ...
    @property
    def n_attributes(self) -> int: ...

@final
class Lattice:
    """Wraps a `Lattice` so Python can render it.

    Carries the originating context alongside the lattice so attribute
    and object names can be projected into the rendered output and dict
    views.
    """

    @property
    def n_concepts(self) -> int:
        """Number of concepts in the lattice."""

    def concepts(self) -> list[ConceptDict]:
        """Returns the lattice's concepts as a list of dicts."""

    def _repr_svg_(self) -> str:
        """Jupyter SVG renderer. Called automatically when this object is
        the last expression in a notebook cell."""

    def _repr_html_(self) -> str:
        """Jupyter HTML renderer. SVG inside a captioned div."""

    def svg(self) -> str:
        """Renders the lattice as SVG and returns the string.

        Equivalent to `_repr_svg_` but callable explicitly. Useful for
        scripts that want to save the SVG to disk."""

def parse_context(bytes: builtins.bytes, filename: str = ...) -> Context:
    """Parses raw bytes into a `Context`."""

def supported_algorithms() -> list[str]:
    """Returns the list of algorithm names accepted by `compute_concepts`."""

def compute_concepts(ctx: Context, algorithm: str = "next-closure") -> list[ConceptDict]:
    """Computes the concept lattice and returns concepts as a list of dicts.

    Each dict has keys `extent` (list of object names) and `intent`
    (list of attribute names). For notebook-friendly rendering, see
    `compute_lattice`."""

def compute_lattice(ctx: Context, algorithm: str = "next-closure") -> Lattice:
    """Computes the concept lattice and returns a `Lattice` object.

    The returned object renders as SVG in Jupyter (via `_repr_svg_`).
    Use `.concepts()` to get the same dict-list as `compute_concepts`."""

def compute_implications(ctx: Context) -> list[ImplicationDict]:
    """Computes the Duquenne-Guigues canonical implication base."""
