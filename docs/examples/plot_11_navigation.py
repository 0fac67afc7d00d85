"""
Moving around a lattice
=======================

Meets, joins, upper and lower neighbours. The meet of two attribute concepts holds the objects with
both attributes; the join of two object concepts, the attributes they share.
"""

import tessara.lab as tl

L = tl.datasets.load("animals").lattice()
pets = L.attribute_concept("pet")
warm = L.attribute_concept("warmblooded")
both = L.meet(pets, warm)
both.extent, both.intent

# %%
L.join(L.object_concept("dog"), L.object_concept("eagle")).intent

# %%
# The upper and lower sets of the "pet" concept, highlighted.
diagram = L.draw(highlight=pets)
