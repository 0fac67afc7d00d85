"""
The fixed ``tessara`` module
============================

The stable module reads bytes, returns plain lists and dicts, and draws the bare Hasse diagram.
"""

import pandas as pd

import tessara
import tessara.lab as tl

data = tl.datasets.load("liveinwater").to_bytes("cxt")
ctx = tessara.parse_context(data)
lattice = tessara.compute_lattice(ctx, "fcbo")
ctx, lattice.n_concepts

# %%
# The canonical base, as dicts, in a DataFrame.
pd.DataFrame(tessara.compute_implications(ctx))
