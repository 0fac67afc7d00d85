"""
The planets: a first lattice
============================

The nine planets by size, distance from the sun and moons, the classic first context.
"""

import tessara.lab as tl

K = tl.datasets.load("planets")
K.to_pandas().astype(int)

# %%
# The concepts and the diagram with reduced labels.
L = K.lattice()
diagram = L.draw()
L.to_pandas()
