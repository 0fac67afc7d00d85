"""Lattices and rules of contexts stored sparse, without the dense form: cover edges from the index lists equal
those of the packed walk, rules name their attribute sets from index lists, and list_names checks its input."""

import os
import random
from array import array

import numpy as np
import pytest

import tessara.lab as tl
from tessara import _lab


def random_sets(rng, count, n):
    """Sets over n elements: empty, full, single and random ones."""
    sets = []
    for _ in range(count):
        kind = rng.random()
        if kind < 0.1 or n == 0:
            sets.append([])
        elif kind < 0.2:
            sets.append(list(range(n)))
        elif kind < 0.4:
            sets.append([rng.randrange(n)])
        else:
            sets.append(sorted(rng.sample(range(n), rng.randint(1, n))))
    return sets


def packed(sets, n):
    words = (n + 63) // 64
    out = np.zeros((len(sets), words), dtype=np.uint64)
    for k, members in enumerate(sets):
        for m in members:
            out[k, m // 64] |= np.uint64(1) << np.uint64(m % 64)
    return out.tobytes()


def as_lists(sets):
    offsets = np.cumsum([0] + [len(members) for members in sets], dtype=np.uint64)
    members = np.array([m for s in sets for m in s], dtype=np.uint32)
    return offsets.tobytes(), members.tobytes()


@pytest.mark.parametrize("n", [0, 1, 2, 63, 64, 65, 127, 128, 129])
def test_list_names_names_what_set_names_names(n):
    rng = random.Random(n)
    names = tuple(f"a{i}" for i in range(n))
    sets = random_sets(rng, 40, n)
    sets += [sets[k] for k in range(0, len(sets), 3)]  # repeated sets come back as one tuple
    listed = _lab.list_names(*as_lists(sets), names)
    if n > 0:  # packed sets of no words cannot be counted
        assert listed == _lab.set_names(packed(sets, n), n, names)
    assert listed == [tuple(names[m] for m in members) for members in sets]
    assert all(a is b for got, members in zip(listed, sets) for a, b in zip(got, (names[m] for m in members)))
    first = {}
    for got, members in zip(listed, sets):
        assert first.setdefault(tuple(members), got) is got


@pytest.mark.parametrize("offsets, members, names, error, message", [
    (array("Q", [1, 1]), array("I", [0]), ("a",), ValueError, "offsets do not delimit the members"),
    (array("Q", [0, 2]), array("I", [0]), ("a",), ValueError, "offsets do not delimit the members"),
    (array("Q", [0, 2, 1]), array("I", [0]), ("a",), ValueError, "offsets do not delimit the members"),
    (array("Q", []), array("I", []), ("a",), ValueError, "offsets do not delimit the members"),
    (array("Q", [0, 1]), array("I", [1]), ("a",), ValueError, "a member is beyond the names"),
    (array("Q", [0, 1]), array("I", [0]), ["a"], TypeError, "argument 'names' must be a tuple of str"),
])
def test_list_names_refuses_bad_input(offsets, members, names, error, message):
    with pytest.raises(error, match=message):
        _lab.list_names(offsets.tobytes(), members.tobytes(), names)


def baskets(seed, n_objects, n_items):
    """Skewed baskets with empty, single-item and repeated rows."""
    rng = random.Random(seed)
    rows = []
    for _ in range(n_objects):
        kind = rng.random()
        if kind < 0.08:
            rows.append([])
        elif kind < 0.2 and rows:
            rows.append(list(rng.choice(rows)))
        else:
            rows.append([int(rng.random() ** 2 * n_items) for _ in range(1 if kind < 0.3 else rng.randint(1, 6))])
    rows.append([n_items - 1])
    return rows


def edge_set(lattice):
    intents = [tuple(c.intent_indices) for c in lattice]
    return {(intents[lower], intents[upper]) for lower, upper in lattice.edges.tolist()}


# (objects, items, min_support): stored sparse (the packed rows would pass 1 MiB), items at word boundaries.
SPARSE_SHAPES = [(9000, 1000, 3), (9000, 1023, 5), (2100, 4097, 2), (3000, 4160, 1)]


def luxenburger(lattice, attributes, min_confidence):
    """The rules along the cover edges, straight from their definition: intent x -> intent y minus intent x."""
    rules = set()
    for lower, upper in lattice.edges.tolist():
        below, above = lattice[lower], lattice[upper]
        if below.support >= min_confidence * above.support:
            premise = set(above.intent_indices.tolist())
            rules.add((tuple(attributes[m] for m in sorted(premise)),
                       tuple(attributes[m] for m in below.intent_indices.tolist() if m not in premise),
                       below.support))
    return rules


@pytest.mark.parametrize("n_objects, n_items, min_support", SPARSE_SHAPES)
def test_a_sparse_lattice_and_its_rules_equal_those_of_the_packed_walk(n_objects, n_items, min_support):
    K = tl.Context.from_transactions(baskets(n_objects + n_items, n_objects, n_items))
    assert K._kernel.is_sparse
    # FCbO walks the packed form and its edges come from the packed neighbour walk.
    packed_lattice = K.lattice("fcbo", min_support=min_support)
    sparse_lattice = K.lattice(min_support=min_support)
    assert edge_set(sparse_lattice) == edge_set(packed_lattice)
    for threads in (1, 2):
        assert np.array_equal(K.lattice(min_support=min_support, threads=threads).edges, sparse_lattice.edges)
    frame = K.rules(min_support, 0.3).to_pandas()
    assert len(frame) > 0
    assert set(zip(frame["premise"], frame["conclusion"], frame["support"])) == luxenburger(
        packed_lattice, K.attributes, 0.3)


MUSHROOM = "/work/shared/data/mushroom.dat"


@pytest.mark.skipif(not os.path.exists(MUSHROOM), reason="no mushroom.dat on this machine")
@pytest.mark.parametrize("min_support", [2000, 1000])
def test_lcm_edges_on_mushroom_equal_those_of_fcbo(min_support):
    K = tl.read(MUSHROOM, format="dat")
    assert edge_set(K.lattice("lcm", min_support=min_support)) == edge_set(K.lattice("fcbo", min_support=min_support))
