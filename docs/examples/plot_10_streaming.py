"""
Streaming concepts
==================

:meth:`~tessara.lab.Context.iter_concepts` hands the concepts out one at a time, in bounded memory,
with no lattice around them. Here the supports of the closed itemsets of the census table, counted
without keeping them.
"""

from collections import Counter

import pandas as pd

import tessara.lab as tl

adult = tl.datasets.load_adult()
K = tl.scale(adult, {name: None for name in ("fnlwgt", "education-num", "capital-gain", "capital-loss",
                                             "native-country")})
sizes = Counter()
for concept in K.iter_concepts(min_support=0.05):
    sizes[len(concept.intent)] += 1
K

# %%
# How many closed itemsets of at least 5% of the people have each size.
pd.Series(sizes).sort_index().rename_axis("attributes in the intent").to_frame("concepts")
