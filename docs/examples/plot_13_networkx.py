"""
The lattice as a networkx graph
===============================

:meth:`~tessara.lab.Lattice.to_networkx` gives a directed graph of the cover relation, for the graph
algorithms networkx offers: here the longest chain from top to bottom.
"""

import networkx as nx

import tessara.lab as tl

L = tl.datasets.load("tealady").lattice()
graph = L.to_networkx()
graph

# %%
chain = nx.dag_longest_path(graph)
[len(L[i].intent) for i in chain]

# %%
# The middle of that chain, highlighted with everything above and below it.
diagram = L.draw(highlight=chain[len(chain) // 2], labels="counts")
