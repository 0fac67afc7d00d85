"""algorithm="lcm" in tessara.lab: the same concepts as FCbO at every threshold and thread count, its own
order at every thread count, streams, limits, Ctrl-C, the default on sparse contexts, and rules."""

import random
import textwrap
from pathlib import Path

import pytest

import tessara.lab as tl
from conftest import interrupt_child

MUSHROOM = Path("/work/shared/data/mushroom.dat")


def random_baskets(seed, n_objects, n_items):
    """Skewed baskets with one-item, empty and repeated rows, repeated items and items never used."""
    rng = random.Random(seed)
    used = rng.randint(1, n_items)
    baskets = []
    for _ in range(n_objects):
        kind = rng.random()
        if kind < 0.08:
            baskets.append([])
        elif kind < 0.2 and baskets:
            baskets.append(list(rng.choice(baskets)))
        else:
            size = 1 if kind < 0.3 else rng.randint(1, 6)
            baskets.append([int(rng.random() ** 2 * used) for _ in range(size)])
    baskets.append([n_items - 1])  # the last item exists, so every id up to it is an attribute
    return baskets


def concept_set(lattice):
    return {(tuple(c.extent_indices), tuple(c.intent_indices)) for c in lattice}


def in_order(concepts):
    return [(tuple(c.extent_indices), tuple(c.intent_indices)) for c in concepts]


def edge_set(lattice):
    intents = [tuple(c.intent_indices) for c in lattice]
    return {(intents[lower], intents[upper]) for lower, upper in lattice.edges.tolist()}


@pytest.mark.parametrize("seed", range(18))
def test_lcm_lists_the_concepts_of_fcbo_at_every_threshold_and_thread_count(seed):
    # Past 448 items most intents are stored as lists of attributes, past 65,536 with 32 bits each.
    n_objects = [1, 2, 9, 30][seed % 4]
    n_items = [1, 5, 63, 64, 65, 20, 449, 513, 65537][seed % 9]
    K = tl.Context.from_transactions(random_baskets(seed, n_objects, n_items))
    for min_support in range(0, len(K.objects) + 2):
        fcbo = K.lattice("fcbo", min_support=min_support, threads=1)
        lcm = K.lattice("lcm", min_support=min_support, threads=1)
        assert concept_set(lcm) == concept_set(fcbo), min_support
        assert edge_set(lcm) == edge_set(fcbo), min_support
        order = in_order(lcm)
        assert in_order(K.lattice("lcm", min_support=min_support, threads=2)) == order
        assert in_order(K.iter_concepts(min_support, "lcm", threads=2)) == order


@pytest.mark.parametrize("n_items", [449, 4097, 65537])
def test_wide_intents_read_alike_through_every_reader(n_items):
    # Names, index arrays, streams and rules of a wide context, whose short intents are stored as lists,
    # against the module's own brute force: each intent is what every object of the extent has.
    K = tl.Context.from_transactions(random_baskets(n_items, 400, n_items))
    rows = [set() for _ in K.objects]
    for g, m in zip(*K.to_sparse().nonzero()):
        rows[g].add(int(m))
    lattice = K.lattice("lcm", min_support=2, threads=2)
    assert len(lattice) > 50
    for c in lattice:
        extent = c.extent_indices.tolist()
        expected = sorted(set.intersection(*(rows[g] for g in extent))) if extent else list(range(n_items))
        assert c.intent_indices.tolist() == expected
        assert list(c.intent) == [K.attributes[m] for m in expected]
    streamed = list(K.iter_concepts(2, "lcm", threads=1))
    assert in_order(streamed) == in_order(lattice)
    assert [list(c.intent) for c in streamed] == [list(c.intent) for c in lattice]
    dense = tl.Context(K.objects, K.attributes, K.to_sparse().toarray())
    assert concept_set(dense.lattice("fcbo", min_support=2)) == concept_set(lattice)
    assert {rule for rule in K.rules(2, 0.4).to_pandas().itertuples(index=False)} == {
        rule for rule in dense.rules(2, 0.4).to_pandas().itertuples(index=False)}


def test_sparse_contexts_default_to_lcm_and_keep_its_order_at_every_thread_count():
    rng = random.Random(5)
    baskets = [[rng.randrange(3000) for _ in range(rng.randint(1, 8))] for _ in range(3000)]
    K = tl.Context.from_transactions(baskets)
    assert K._kernel.is_sparse
    lcm = K.lattice("lcm", min_support=2)
    assert in_order(K.lattice(min_support=2)) == in_order(lcm)
    for threads in (2, 3):
        assert in_order(K.iter_concepts(2, threads=threads)) == in_order(lcm)
    dense = tl.Context(K.objects, K.attributes, K.to_sparse().toarray())
    assert concept_set(dense.lattice("fcbo", min_support=2)) == concept_set(lcm)
    assert {rule for rule in K.rules(2, 0.5).to_pandas().itertuples(index=False)} == {
        rule for rule in dense.rules(2, 0.5).to_pandas().itertuples(index=False)}


@pytest.mark.skipif(not MUSHROOM.exists(), reason="no mushroom.dat on this machine")
@pytest.mark.parametrize("min_support", [3000, 2000])
def test_lcm_on_mushroom_equals_fcbo(min_support):
    K = tl.read(MUSHROOM, format="dat")
    lcm = K.lattice("lcm", min_support=min_support, threads=1)
    assert concept_set(lcm) == concept_set(K.lattice("fcbo", min_support=min_support))
    assert in_order(K.iter_concepts(min_support, "lcm", threads=2)) == in_order(lcm)


def test_max_concepts_and_unknown_names_on_the_lcm_path():
    K = tl.Context.from_transactions(random_baskets(3, 200, 40))
    n = len(K.lattice("lcm"))
    assert len(K.lattice("LCM", max_concepts=n)) == n
    for threads in (1, 2):
        with pytest.raises(tl.TooManyConcepts):
            K.lattice("lcm", max_concepts=n - 1, threads=threads)
        stream = K.iter_concepts(algorithm="lcm", threads=threads, max_concepts=10)
        with pytest.raises(tl.TooManyConcepts):
            list(stream)
    with pytest.raises(ValueError, match='unknown algorithm `lcn`; try one of: .*"fcbo", "lcm"]'):
        K.lattice("lcn")


CHILD = textwrap.dedent(
    """
    import random, signal
    import tessara.lab as tl

    rng = random.Random(7)
    baskets = [[m for m in range(100) if rng.random() < 0.35] for _ in range(3000)]
    K = tl.Context.from_transactions(baskets)
    signal.signal(signal.SIGINT, signal.default_int_handler)
    print("ready", flush=True)
    try:
        if {stream}:
            for concept in K.iter_concepts(algorithm="lcm", threads={threads}):
                pass
        else:
            K.lattice("lcm", threads={threads})
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
    """
)


@pytest.mark.parametrize(("stream", "threads"), [(False, 1), (False, 2), (True, 2)])
def test_sigint_stops_lcm_runs_and_streams(stream, threads):
    out, err, elapsed = interrupt_child(CHILD.format(stream=stream, threads=threads))
    assert out.split()[:1] == ["interrupted"], (out, err)
    assert elapsed < 5, elapsed



@pytest.fixture(scope="module")
def wide_baskets():
    """Baskets over 9,000 items (about 1 KiB of intent a concept) with more than two stream batches of concepts."""
    rng = random.Random(7)
    baskets = [[int(rng.random() ** 2 * 800) for _ in range(rng.randint(1, 7))] for _ in range(6000)]
    K = tl.Context.from_transactions(baskets + [[8999]])
    expected = in_order(K.lattice("lcm", min_support=1, threads=1))
    assert len(expected) > 2 * 4096
    return K, expected


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("keep", [False, True], ids=["read_as_it_comes", "all_kept_to_the_end"])
def test_long_streams_of_wide_concepts_list_the_lattice_order(wide_baskets, threads, keep):
    # Every batch spans full output chunks, which the stream fills again once the reader has dropped a batch;
    # concepts a reader keeps must not change when later batches reuse memory.
    K, expected = wide_baskets
    stream = K.iter_concepts(1, "lcm", threads=threads)
    found = in_order(list(stream)) if keep else in_order(stream)
    assert found == expected
