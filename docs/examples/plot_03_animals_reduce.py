"""
Clarify and reduce before drawing
=================================

The animals context has 35 animals but only 15 distinct rows. Clarifying merges equal rows and columns;
reducing removes the attributes and objects that are intersections of others. The lattice keeps its
shape, and the diagram gets easier to read.
"""

import tessara.lab as tl

K = tl.datasets.load("animals")
R = K.clarify().reduce()
(K.shape, R.shape, len(K.lattice()), len(R.lattice()))

# %%
# The reduced context as a table.
R.to_pandas().astype(int)

# %%
# Its diagram, circles sized by support.
diagram = R.lattice().draw(size_by_support=True)
