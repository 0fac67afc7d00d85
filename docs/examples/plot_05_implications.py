"""
Implication bases of the tea ladies
===================================

The canonical (Duquenne–Guigues) base is the smallest set of implications from which every
implication of the context follows; the proper-premise base is longer but each premise is minimal.
"""

import tessara.lab as tl

K = tl.datasets.load("tealady")
canonical = K.implications()
proper = K.implications(basis="proper-premise")
(len(canonical), len(proper))

# %%
# The canonical base with at least two ladies behind each premise, as a table.
K.implications(min_support=2).to_pandas()

# %%
# The lattice the bases describe: each lady below her concept, each event above its own.
diagram = K.lattice().draw()
