"""
Stable concepts of the seasoning planner
========================================

Stability says how much a concept depends on particular objects. The seasoning planner (German
names) has 532 concepts; the most stable ones with at least four dishes are listed.
"""

import tessara.lab as tl

L = tl.datasets.load("seasoningplanner").lattice()
table = L.to_pandas(measures=("stability", "delta_stability"))
table[table.support >= 4].nlargest(8, "stability")

# %%
# The whole lattice is too big for names: above 300 concepts the diagram switches to counts.
diagram = L.draw()
