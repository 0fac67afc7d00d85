"""tessara.lab on big contexts: iceberg lattices, concept streams and limits, against the full lattice."""

import numpy as np
import pytest

import tessara.lab as tl
from lab_shapes import brute_covers, shaped_contexts

ALGORITHMS = ["next-closure", "in-close-5", "fcbo"]


def pairs(concepts):
    return [(c.extent, c.intent) for c in concepts]


def thresholds(n_objects):
    return sorted({0, 1, 2, n_objects // 3, n_objects, n_objects + 1} | ({0.5, 1.0} if n_objects else set()))


def support_of(min_support, n_objects):
    return min_support if isinstance(min_support, int) else -(-int(min_support * 2 * n_objects) // 2)


@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_iceberg_lattices_equal_the_filtered_full_lattice(algorithm):
    for objects, attributes, incidence in shaped_contexts(18, 2):
        context = tl.Context(objects, attributes, incidence)
        full = context.lattice(algorithm, threads=1)
        for min_support in thresholds(len(objects)):
            least = support_of(min_support, len(objects))
            kept = [c for c in full if c.support >= least]
            expected = pairs(kept)
            # Edges: the full lattice's covers between kept concepts (an up-set), renumbered.
            extents = [frozenset(c.extent_indices.tolist()) for c in kept]
            for threads in (1, 2, 3):
                iceberg = context.lattice(algorithm, min_support=min_support, threads=threads)
                assert pairs(iceberg) == expected, (objects, attributes, min_support, threads)
                assert [tuple(e) for e in iceberg.edges.tolist()] == brute_covers(extents)
            assert pairs(context.iter_concepts(min_support, algorithm, threads=2)) == expected
            if expected:
                assert iceberg.top.extent == tuple(objects)
            real_bottom = full.bottom
            assert real_bottom is not None
            bottom = iceberg.bottom
            if real_bottom.support >= least:
                assert bottom is not None and (bottom.extent, bottom.intent) == (real_bottom.extent, real_bottom.intent)
            else:
                assert bottom is None


@pytest.mark.parametrize("algorithm", ALGORITHMS)
@pytest.mark.parametrize("threads", [1, 2])
def test_streams_hand_out_the_lattice_in_order_across_batches(algorithm, threads):
    rng = np.random.default_rng(5)
    context = tl.Context([f"g{i}" for i in range(300)], [f"m{j}" for j in range(24)], rng.random((300, 24)) < 0.3)
    for min_support in (0, 0.05):
        lattice = context.lattice(algorithm, min_support=min_support, threads=1)
        assert len(lattice) > (2 * 4096 if min_support == 0 else 100)  # several batches, or one
        streamed = context.iter_concepts(min_support, algorithm, threads)
        for concept, expected in zip(streamed, lattice):
            assert (concept.index, concept.support) == (expected.index, expected.support)
            assert concept.extent_indices.tolist() == expected.extent_indices.tolist()
            assert concept.intent == expected.intent
        assert next(streamed, None) is None
        assert concept.index == len(lattice) - 1


def test_too_many_concepts_stops_lattices_and_streams_past_the_limit():
    rng = np.random.default_rng(3)
    context = tl.Context([f"g{i}" for i in range(60)], [f"m{j}" for j in range(12)], rng.random((60, 12)) < 0.4)
    count = len(context.lattice())
    assert len(context.lattice(max_concepts=count, threads=2)) == count
    with pytest.raises(tl.TooManyConcepts, match=f"more than {count - 1} concepts.*min_support"):
        context.lattice(max_concepts=count - 1, threads=2)
    assert issubclass(tl.TooManyConcepts, ValueError)
    assert sum(1 for _ in context.iter_concepts(max_concepts=count)) == count
    streamed = context.iter_concepts(max_concepts=5)
    assert [c.index for c in (next(streamed) for _ in range(5))] == list(range(5))
    with pytest.raises(tl.TooManyConcepts):
        next(streamed)
    # A threshold keeps the same limit within reach.
    frequent = len(context.lattice(min_support=0.5))
    assert len(context.lattice(min_support=0.5, max_concepts=frequent)) == frequent


@pytest.mark.parametrize(
    "arguments, error",
    [
        ({"min_support": -1}, ValueError),
        ({"min_support": 0.0}, ValueError),
        ({"min_support": 1.5}, ValueError),
        ({"min_support": float("nan")}, ValueError),
        ({"min_support": True}, TypeError),
        ({"min_support": "3"}, TypeError),
        ({"max_concepts": -1}, ValueError),
        ({"max_concepts": 2.0}, TypeError),
        ({"threads": 0}, ValueError),
        ({"threads": 1.0}, TypeError),
        ({"progress": "yes"}, TypeError),
        ({"algorithm": "no-such"}, ValueError),
    ],
)
def test_bad_arguments_are_refused_before_any_work(arguments, error):
    context = tl.Context(["a", "b"], ["x"], [[1], [0]])
    with pytest.raises(error):
        context.lattice(**arguments)
    with pytest.raises(error):
        context.iter_concepts(**arguments)  # at the call, not at the first concept


def test_iceberg_lattices_navigate_convert_and_save(tmp_path):
    context = tl.Context(["a", "b", "c", "d"], ["x", "y", "z"], [[1, 1, 0], [1, 0, 1], [1, 1, 0], [0, 0, 1]])
    iceberg = context.lattice(min_support=2)
    assert pairs(iceberg) == [(("a", "b", "c", "d"), ()), (("a", "b", "c"), ("x",)), (("a", "c"), ("x", "y")),
                              (("b", "d"), ("z",))]
    assert iceberg.bottom is None and iceberg.top.lower == (iceberg[1], iceberg[3])
    assert iceberg.join(2, 3) == iceberg.top
    with pytest.raises(ValueError, match="iceberg"):
        iceberg.meet(2, 3)  # ({}, {x, y, z}) holds no object
    path = tmp_path / "iceberg.json"
    iceberg.save(path)
    loaded = tl.load(path)
    assert pairs(loaded) == pairs(iceberg) and loaded.edges.tolist() == iceberg.edges.tolist()
    assert loaded.bottom is None
    pd = pytest.importorskip("pandas")
    nx = pytest.importorskip("networkx")
    assert isinstance(iceberg.to_pandas(), pd.DataFrame) and len(iceberg.to_pandas()) == 4
    assert sorted(iceberg.to_networkx().edges) == [(1, 0), (2, 1), (3, 0)] and nx is not None
    empty = context.lattice(min_support=5)
    assert len(empty) == 0 and empty.bottom is None and list(context.iter_concepts(5)) == []
    with pytest.raises(ValueError, match="empty"):
        empty.top


def test_streamed_concepts_compare_by_intent_and_report_progress():
    context = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    counts = []
    first, second = context.iter_concepts(progress=counts.append), context.iter_concepts(threads=1)
    assert list(first) == list(second) and counts == [2]
    concept = next(iter(context.iter_concepts(1)))
    assert repr(concept) == "StreamedConcept(#0, extent=('a', 'b'), intent=('x',))"
    assert hash(concept) == hash(next(iter(context.iter_concepts())))
