"""
An iceberg lattice
==================

The whole Mushroom lattice has 238,710 concepts. With ``min_support`` only the frequent ones are
computed — the tip of the iceberg — pruned while the walk runs.
"""

import tessara.lab as tl

M = tl.scale(tl.datasets.load_mushroom())
L = M.lattice(min_support=0.5)
L

# %%
# Drawn with circles sized by support; the caption says how many concepts there are.
diagram = L.draw(size_by_support=True, counts_above=None)

# %%
# The bottom is not frequent, so the iceberg has none:
L.bottom is None
