"""tessara.lab: formal contexts and concept lattices for data work.

The companion of the `tessara` module: contexts made from arrays and pandas
DataFrames, derivation and navigation, scaling of many-valued tables, drawings
with labels, and the rest of what analysts do with a lattice. The heavy work
runs in the same C++ core as `tessara`, through the private module
`tessara._lab`.
"""

from __future__ import annotations

from tessara.lab._context import Context
from tessara.lab._diagram import Diagram
from tessara.lab._io import load, read
from tessara.lab._lattice import Concept, Lattice
from tessara.lab._rules import Implication, Implications, Rule, Rules, Stability
from tessara.lab._scale import Interordinal, Interval, Nominal, Ordinal, Scale, scale

# Long runs: iceberg lattices, streams, limits.
from tessara.lab._run import TooManyConcepts
from tessara.lab._stream import StreamedConcept

# Lattice structure: arrow relations and the verdicts of lattice laws.
from tessara.lab._structure import Arrows, Verdict

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
from tessara.lab import datasets  # noqa: E402

__all__ += ["datasets"]

# Beyond one machine: concepts mined by units on threads, Dask or Ray, written as Parquet.
from tessara.lab._parquet import ConceptDataset, ParquetSummary, StoredConcept, read_concepts  # noqa: E402

__all__ += ["ConceptDataset", "ParquetSummary", "StoredConcept", "read_concepts"]

__all__ += ["Arrows", "Verdict"]

# The implication calculus, attribute exploration and context operations.
from tessara.lab._explore import Exploration, ExplorationResult, Expert
from tessara.lab._operations import apposition, direct_product, direct_sum, random_context, subposition

__all__ += ["Exploration", "ExplorationResult", "Expert"]
__all__ += ["apposition", "direct_product", "direct_sum", "random_context", "subposition"]
