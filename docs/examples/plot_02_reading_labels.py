"""
Reading reduced labels
======================

An object has exactly the attributes it can reach by climbing the diagram. Highlighting an object's
concept colours everything above it (its attributes) and below it.
"""

import tessara.lab as tl

L = tl.datasets.load("liveinwater").lattice()
frog = L.object_concept("frog")
highlighted = L.draw(highlight=frog)

# %%
# The highlighted upper set holds every attribute label the frog can reach, which is its intent:
frog.intent

# %%
# The same lattice with full labels: every extent below and every intent above each concept.
# Longer, but it needs no climbing.
full = L.draw(labels="full")
