"""
Scaling a census table
======================

UCI Adult has numbers and categories. :func:`tessara.lab.scale` turns each column into attributes:
intervals of age, thresholds of working hours, one attribute per category elsewhere.
"""

import tessara.lab as tl

people = tl.datasets.load_adult()[["age", "sex", "hours-per-week", "income"]]
K = tl.scale(people, {
    "age": tl.Interval(cuts=[17, 30, 45, 60, 91]),
    "hours-per-week": tl.Ordinal(cuts=[39, 41], direction=">="),
})
K

# %%
# The lattice of the 32,561 people over these 10 attributes, drawn with counts and shaded by
# support.
L = K.lattice()
diagram = L.draw(labels="counts", shade_by_support=True)

# %%
# Who earns more than 50K, by sex and age band: the concepts just below the attribute concept.
rich = L.attribute_concept("income=>50K")
[(c.support, c.intent) for c in rich.lower]
