"""
Association rules on Mushroom
=============================

8,124 mushrooms, 23 categorical columns scaled nominally. The Luxenburger basis gives one rule per
edge between frequent concepts; sorted by lift, the strongest come first.
"""

import tessara.lab as tl

M = tl.scale(tl.datasets.load_mushroom())
rules = M.rules(min_support=0.1, min_confidence=0.8)
rules

# %%
table = rules.to_pandas()
table.sort_values("lift", ascending=False).head(8)

# %%
# Only the rules that conclude that a mushroom is poisonous, with premises of at most 2 attributes.
poisonous = M.rules(0.1, 0.8, basis="all", conclusion_includes=["edibility=p"], max_premise=2)
poisonous.to_pandas().sort_values("confidence", ascending=False).head(8)
