"""
A first lattice: the planets
============================

The nine planets by size, distance from the sun and whether they have a moon: the classic first
context. Its concepts as a table, then its diagram with reduced labels.
"""

import tessara.lab as tl

K = tl.datasets.load("planets")
K.to_pandas().astype(int)

# %%
# Every concept: the planets of its extent and the properties of its intent.
L = K.lattice()
L.to_pandas().sort_values("support", ascending=False, kind="stable")

# %%
# The diagram: each property once, above the highest concept that has it; each planet once, below
# the lowest concept that holds it. A planet has a property when it can climb to it.
diagram = L.draw()
