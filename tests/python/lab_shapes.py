"""Random contexts for the lab's differential tests, in the shapes that break word-parallel code, and brute-force
definitions to compare with."""

import itertools

import numpy as np

# (objects, attributes): none or one on a side, word boundaries, and small squares.
SHAPES = [(0, 0), (0, 3), (3, 0), (1, 1), (1, 7), (7, 1), (63, 5), (64, 5), (65, 5), (5, 63), (5, 64), (5, 65), (9, 9)]


def random_incidence(rng, n_objects, n_attributes):
    """A bool matrix with rows of varying density; some rows empty, full or repeated, a column emptied or filled."""
    densities = rng.random(n_objects)[:, None]
    matrix = rng.random((n_objects, n_attributes)) < densities
    for g in range(n_objects):
        kind = rng.random()
        if kind < 0.05:
            matrix[g] = False
        elif kind < 0.1:
            matrix[g] = True
        elif kind < 0.2 and g > 0:
            matrix[g] = matrix[rng.integers(g)]
    if n_attributes and rng.random() < 0.3:
        matrix[:, rng.integers(n_attributes)] = rng.random() < 0.5
    return matrix


def names(letter, count):
    return [f"{letter}{i}" for i in range(count)]


def shaped_contexts(seed, rounds):
    """(objects, attributes, incidence) for every shape, `rounds` times each."""
    rng = np.random.default_rng(seed)
    for (n_objects, n_attributes), _ in itertools.product(SHAPES, range(rounds)):
        yield names("g", n_objects), names("m", n_attributes), random_incidence(rng, n_objects, n_attributes)


def brute_concepts(matrix):
    """Every concept as (extent, intent) frozensets of positions, from closing each object subset's intent."""
    n_objects, n_attributes = matrix.shape
    found = set()
    # Every intent is the intent of some set of objects; the intersections of rows suffice.
    intents = {frozenset(range(n_attributes))}
    for g in range(n_objects):
        row = frozenset(np.flatnonzero(matrix[g]).tolist())
        intents |= {intent & row for intent in intents} | {row}
    for intent in intents:
        extent = frozenset(g for g in range(n_objects) if all(matrix[g, m] for m in intent))
        found.add((extent, frozenset(m for m in range(n_attributes) if all(matrix[g, m] for g in extent))))
    return found


def brute_covers(extents):
    """The cover pairs (lower, upper) of a list of extents (frozensets), by position, sorted."""
    pairs = []
    for lower, a in enumerate(extents):
        above = [upper for upper, b in enumerate(extents) if a < b]
        for upper in above:
            if not any(extents[upper] > extents[middle] for middle in above if middle != upper):
                pairs.append((lower, upper))
    return sorted(pairs)
