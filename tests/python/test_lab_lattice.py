"""tessara.lab.Lattice and Concept: the concepts equal the `tessara` module's on random contexts of the hard shapes,
the edges equal the brute-force cover relation, join and meet equal brute force; navigation, tables and graphs."""

import gc
import sys
import tracemalloc
import weakref

import numpy as np
import pytest

import tessara
import tessara.lab as tl
from conftest import cxt_bytes
from lab_shapes import brute_concepts, brute_covers, shaped_contexts


@pytest.mark.parametrize("algorithm", tessara.supported_algorithms())
def test_concepts_equal_the_module_in_its_order(algorithm):
    checked = 0
    for seed in range(8):
        for objects, attributes, matrix in shaped_contexts(seed=100 + seed, rounds=10):
            lattice = tl.Context(objects, attributes, matrix).lattice(algorithm)
            module = tessara.compute_concepts(
                tessara.parse_context(cxt_bytes(objects, attributes, matrix.tolist())), algorithm
            )
            assert [(list(c.extent), list(c.intent)) for c in lattice] == [(d["extent"], d["intent"]) for d in module]
            checked += 1
    assert checked > 1000


def test_edges_join_meet_and_neighbours_equal_brute_force():
    rng = np.random.default_rng(7)
    for objects, attributes, matrix in shaped_contexts(seed=21, rounds=4):
        lattice = tl.Context(objects, attributes, matrix).lattice()
        extents = [frozenset(c.extent_indices.tolist()) for c in lattice]
        intents = [frozenset(c.intent_indices.tolist()) for c in lattice]
        assert set(zip(extents, intents)) == brute_concepts(matrix)
        assert [tuple(edge) for edge in lattice.edges.tolist()] == brute_covers(extents)
        assert lattice.top.extent == tuple(objects) and lattice.bottom.intent == lattice.context.closure(attributes)
        for c in lattice:
            assert [d.index for d in c.upper] == [u for lo, u in lattice.edges.tolist() if lo == c.index]
            assert [d.index for d in c.lower] == [lo for lo, u in lattice.edges.tolist() if u == c.index]
            assert c.support == len(c.extent)
        for a, b in rng.integers(len(lattice), size=(6, 2)).tolist():
            union, common = extents[a] | extents[b], extents[a] & extents[b]
            above = min((i for i, e in enumerate(extents) if union <= e), key=lambda i: len(extents[i]))
            below = max((i for i, e in enumerate(extents) if e <= common), key=lambda i: len(extents[i]))
            assert lattice.join(a, b).index == above and lattice.meet(lattice[a], lattice[b]).index == below
            assert (lattice[a] <= lattice[b]) == (extents[a] <= extents[b])


def test_object_and_attribute_concepts():
    context = tl.Context(["duck", "dog", "cat"], ["flies", "barks", "legs"], [[1, 0, 1], [0, 1, 1], [0, 0, 1]])
    lattice = context.lattice()
    assert lattice.object_concept("cat").intent == ("legs",)
    assert lattice.object_concept("duck").extent == ("duck",)
    assert lattice.attribute_concept("legs") == lattice.top
    assert lattice.attribute_concept(1).extent == ("dog",)
    with pytest.raises(KeyError, match="no attribute named 'swims'"):
        lattice.attribute_concept("swims")
    with pytest.raises(KeyError, match="no object named 'cow'"):
        lattice.object_concept("cow")


def test_indexing_errors_and_concepts_of_another_lattice():
    context = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [0, 1]])
    lattice, other = context.lattice(), context.lattice()
    assert len(lattice) == 4 and lattice[-1] == lattice[3] and lattice[1:3] == [lattice[1], lattice[2]]
    with pytest.raises(IndexError, match="concept index 4 out of range for 4 concepts"):
        lattice[4]
    with pytest.raises(TypeError, match="not str"):
        lattice["a"]
    with pytest.raises(ValueError, match="belongs to another lattice"):
        lattice.join(lattice[0], other[1])
    with pytest.raises(ValueError, match="unknown"):
        context.lattice("no-such-algorithm")
    with pytest.raises(TypeError):
        tl.Lattice()


def test_repr_tables_and_graph():
    context = tl.Context([f"g{i}" for i in range(8)], ["m"], [[1]] * 8)
    lattice = context.lattice()
    assert repr(lattice) == "Lattice(concepts=1, edges=0, objects=8, attributes=1)"
    assert repr(lattice[0]) == "Concept(#0, extent=('g0', 'g1', 'g2', 'g3', 'g4', … 3 more), intent=('m',))"

    pd = pytest.importorskip("pandas")
    nx = pytest.importorskip("networkx")
    lattice = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).lattice()
    table = lattice.to_pandas()
    assert list(table.columns) == ["extent", "intent", "support"] and table.index.name == "concept"
    assert table["extent"].tolist() == [c.extent for c in lattice]
    assert table["intent"].tolist() == [c.intent for c in lattice]
    assert table["support"].tolist() == [c.support for c in lattice]
    graph = lattice.to_networkx()
    assert isinstance(graph, nx.DiGraph)
    assert sorted(graph.edges) == [tuple(edge) for edge in lattice.edges.tolist()]
    assert graph.nodes[lattice.bottom.index] == {"extent": ("b",), "intent": ("x", "y"), "support": 1}
    assert isinstance(table, pd.DataFrame)


def test_a_dropped_lattice_is_freed_at_once_and_its_concepts_still_work():
    context = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    lattice = context.lattice()
    bottom = lattice.bottom
    bottom.upper  # neighbour queries make and keep every concept
    gone = weakref.ref(lattice)
    gc.disable()
    try:
        del lattice
        assert gone() is None  # no reference cycle between the lattice and its concepts
    finally:
        gc.enable()
    assert [c.intent for c in bottom.upper] == [("x",)] and bottom.lattice.bottom == bottom


def test_kernel_results_release_what_they_make():
    # The sanitized run cannot report leaks once numpy is loaded: check here that the objects the kernels build
    # (name tuples sharing the context's str, name lists, index pairs) are released with the results.
    context = tl.Context(["duck", "dog", "cat"], ["flies", "barks", "legs"], [[1, 0, 1], [0, 1, 1], [0, 0, 1]])
    lattice = context.lattice()
    names = context.objects + context.attributes

    def work():
        lattice.to_pandas()
        lattice.to_networkx()
        context.reduce()
        tl.read(context.to_bytes("json"))

    # The first calls fill caches (pandas', and with PYTHONMALLOC=malloc, as in the sanitized run, allocations that
    # keep settling for a few hundred calls, each window about half the one before): measure after they settle.
    tracemalloc.start()
    for _ in range(300):
        work()
    gc.collect()
    before = [sys.getrefcount(name) for name in names]
    start = tracemalloc.get_traced_memory()[0]
    for _ in range(200):
        work()
    gc.collect()
    grown = tracemalloc.get_traced_memory()[0] - start
    tracemalloc.stop()
    assert [sys.getrefcount(name) for name in names] == before
    assert grown < 50_000
