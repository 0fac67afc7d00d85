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
