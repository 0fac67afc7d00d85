"""Brute-force Formal Concept Analysis on small contexts: the independent oracle
the engine is checked against. Rows are lists of booleans; sets are frozensets
of indices."""

from itertools import combinations


def extent(rows, attributes):
    return frozenset(g for g, row in enumerate(rows) if all(row[m] for m in attributes))


def intent(rows, n_attributes, objects):
    return frozenset(m for m in range(n_attributes) if all(rows[g][m] for g in objects))


def closure(rows, n_attributes, attributes):
    return intent(rows, n_attributes, extent(rows, attributes))


def all_subsets(n):
    for size in range(n + 1):
        for combo in combinations(range(n), size):
            yield frozenset(combo)


def concepts(rows, n_attributes):
    """Every pair (A, B) with A' = B and B' = A."""
    found = set()
    for attributes in all_subsets(n_attributes):
        closed = closure(rows, n_attributes, attributes)
        found.add((extent(rows, closed), closed))
    return found


def lectic_key(attributes, n_attributes):
    """Attribute 0 is the most significant position of the lectic order."""
    return sum(1 << (n_attributes - 1 - m) for m in attributes)


def pseudo_intents(rows, n_attributes):
    """P is pseudo-closed when P != P'' and Q'' is inside P for every pseudo-closed Q strictly inside P."""
    found = []
    for candidate in all_subsets(n_attributes):  # by size, so smaller pseudo-intents come first
        if closure(rows, n_attributes, candidate) == candidate:
            continue
        if all(closure(rows, n_attributes, q) <= candidate for q in found if q < candidate):
            found.append(candidate)
    return sorted(found, key=lambda p: lectic_key(p, n_attributes))


def implication_closure(base, attributes):
    """The closure of a set under a list of (premise, conclusion) pairs."""
    closed = set(attributes)
    changed = True
    while changed:
        changed = False
        for premise, conclusion in base:
            if premise <= closed and not conclusion <= closed:
                closed |= conclusion
                changed = True
    return frozenset(closed)
