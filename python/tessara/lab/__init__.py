"""tessara.lab: formal contexts and concept lattices for data work.

The companion of the `tessara` module: contexts made from arrays and pandas
DataFrames, derivation and navigation, scaling of many-valued tables, drawings
with labels, and the rest of what analysts do with a lattice. The heavy work
runs in the same C++ core as `tessara`, through the private module
`tessara._lab`.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING, Any

from tessara.lab._context import Context
from tessara.lab._io import load, read

# The rest of the API is imported on first use (PEP 562), so that a script that only reads a context and
# streams its concepts starts fast. Each public name maps to the module that defines it.
_LAZY: dict[str, str] = {
    "Diagram": "tessara.lab._diagram",
    "Concept": "tessara.lab._lattice",
    "Lattice": "tessara.lab._lattice",
    **dict.fromkeys(("Implication", "Implications", "Rule", "Rules", "Stability"), "tessara.lab._rules"),
    **dict.fromkeys(("Interordinal", "Interval", "Nominal", "Ordinal", "Scale", "scale"), "tessara.lab._scale"),
    **dict.fromkeys(("Arrows", "Verdict"), "tessara.lab._structure"),
    **dict.fromkeys(("ConceptDataset", "ParquetSummary", "StoredConcept", "read_concepts"), "tessara.lab._parquet"),
    **dict.fromkeys(("Exploration", "ExplorationResult", "Expert"), "tessara.lab._explore"),
    **dict.fromkeys(
        ("apposition", "direct_product", "direct_sum", "random_context", "subposition"), "tessara.lab._operations"
    ),
}
_LAZY_MODULES = {"datasets": "tessara.lab.datasets"}

if TYPE_CHECKING:
    from tessara.lab import datasets
    from tessara.lab._diagram import Diagram
    from tessara.lab._explore import Exploration, ExplorationResult, Expert
    from tessara.lab._lattice import Concept, Lattice
    from tessara.lab._operations import apposition, direct_product, direct_sum, random_context, subposition
    from tessara.lab._parquet import ConceptDataset, ParquetSummary, StoredConcept, read_concepts
    from tessara.lab._rules import Implication, Implications, Rule, Rules, Stability
    from tessara.lab._scale import Interordinal, Interval, Nominal, Ordinal, Scale, scale
    from tessara.lab._structure import Arrows, Verdict


def __getattr__(name: str) -> Any:
    if name in _LAZY_MODULES:
        value: Any = importlib.import_module(_LAZY_MODULES[name])
    elif name in _LAZY:
        value = getattr(importlib.import_module(_LAZY[name]), name)
    else:
        raise AttributeError(f"module 'tessara.lab' has no attribute {name!r}")
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(_LAZY) | set(_LAZY_MODULES))


# Long runs: iceberg lattices, streams, limits.
from tessara.lab._run import TooManyConcepts
from tessara.lab._stream import StreamedConcept


__all__: list[str] = [
    "Concept",
    "Context",
    "Diagram",
    "Implication",
    "Implications",
    "Interordinal",
    "Interval",
    "Lattice",
    "Nominal",
    "Ordinal",
    "Rule",
    "Rules",
    "Scale",
    "Stability",
    "load",
    "read",
    "scale",
]

__all__ += ["StreamedConcept", "TooManyConcepts"]

# Bundled classic contexts and many-valued tables.

__all__ += ["datasets"]

# Beyond one machine: concepts mined by units on threads, Dask or Ray, written as Parquet.

__all__ += ["ConceptDataset", "ParquetSummary", "StoredConcept", "read_concepts"]

__all__ += ["Arrows", "Verdict"]

# The implication calculus, attribute exploration and context operations.

__all__ += ["Exploration", "ExplorationResult", "Expert"]
__all__ += ["apposition", "direct_product", "direct_sum", "random_context", "subposition"]
