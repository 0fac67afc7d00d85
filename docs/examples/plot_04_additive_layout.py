"""
Layered and additive layouts
============================

The default layered layout minimises edge crossings. The additive layout gives each irreducible
attribute a vector and places each concept at the sum of its intent's vectors, so parallel edges
add the same attribute.
"""

import tessara.lab as tl

L = tl.datasets.load("planets").lattice()
layered = L.draw(layout="layered")

# %%
# sphinx_gallery_thumbnail_number = 2
additive = L.draw(layout="additive")

# %%
# Edge crossings of each drawing:
{"layered": layered.crossings, "additive": additive.crossings}
