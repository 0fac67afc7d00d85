"""tessara.lab at the edges of its numbers and shapes: every public call's integer and float parameters at the
values that wrap, truncate or round (2**64 and beyond, tiny fractions, NaN, ±inf, empty sides), each refused with
the parameter named or answered as brute force says; and every lattice the lab builds saving and loading equal."""

import math

import numpy as np
import pandas as pd
import pytest

import tessara.lab as tl
from tessara.lab._checks import fraction_of
from lab_shapes import brute_concepts, shaped_contexts

# Three objects, no object has every attribute: the bottom concept has an empty extent.
ROWS = np.array([[1, 1, 0], [0, 1, 1], [1, 0, 1]], dtype=bool)
N_OBJECTS, N_ATTRIBUTES = ROWS.shape
BIG = 2**64


def context():
    return tl.Context(["a", "b", "c"], ["x", "y", "z"], ROWS)


def brute_supports(min_support):
    """The sorted supports of the concepts of at least `min_support` objects."""
    return sorted(len(extent) for extent, _ in brute_concepts(ROWS) if len(extent) >= min_support)


def supports(lattice):
    return sorted(lattice.supports.tolist())


def rule_rows(rules):
    return [(r.premise, r.conclusion, r.support) for r in rules]


INFINITE = pd.DataFrame({"x": [1.0, np.inf, -np.inf, 2.0, 3.0]})

# (call, exception type, what its message names): every refusal, across the public calls.
REFUSALS = [
    (lambda K, L: tl.Context([], ["x", "y"], np.zeros((3, 0))), ValueError, r"incidence has shape \(3, 0\)"),
    (lambda K, L: tl.Context(["a", "b", "c"], [], np.zeros((0, 5))), ValueError, r"incidence has shape \(0, 5\)"),
    (lambda K, L: tl.Context(["a"], [], np.zeros((0, 0))), ValueError, r"incidence has shape \(0, 0\)"),
    (lambda K, L: K.lattice(min_support=-1), ValueError, "min_support must be at least 0, got -1"),
    (lambda K, L: K.lattice(min_support=math.nan), ValueError, "min_support as a fraction"),
    (lambda K, L: K.lattice(min_support=math.inf), ValueError, "min_support as a fraction"),
    (lambda K, L: K.lattice(min_support=1e-400), ValueError, "min_support as a fraction"),
    (lambda K, L: K.lattice(min_support="3"), TypeError, "min_support"),
    (lambda K, L: K.lattice(max_concepts=-1), ValueError, "max_concepts must be at least 0"),
    (lambda K, L: K.lattice(max_concepts=2.0), TypeError, "max_concepts"),
    (lambda K, L: K.lattice(threads=0), ValueError, "threads must be at least 1"),
    (lambda K, L: K.lattice(threads=-BIG), ValueError, "threads must be at least 1"),
    (lambda K, L: list(K.iter_concepts(min_support=-BIG)), ValueError, "min_support must be at least 0"),
    (lambda K, L: list(K.iter_concepts(max_concepts=-1)), ValueError, "max_concepts"),
    (lambda K, L: K.implications(-1), ValueError, "min_support must be at least 0"),
    (lambda K, L: K.rules(0, math.nan), ValueError, r"min_confidence must lie in \[0, 1\]"),
    (lambda K, L: K.rules(0, 1.0000001), ValueError, "min_confidence"),
    (lambda K, L: K.rules(0, "1"), TypeError, "min_confidence"),
    (lambda K, L: K.rules(0, 0.0, max_premise=-1), ValueError, "max_premise must be at least 0"),
    (lambda K, L: K.rules(0, 0.0, max_premise=-BIG), ValueError, "max_premise"),
    (lambda K, L: K.rules(0, 0.0, max_premise=1.0), TypeError, "max_premise"),
    (lambda K, L: K.rules(-BIG, 0.0), ValueError, "min_support"),
    (lambda K, L: L.stability(method="sampled", samples=BIG + 1), ValueError, f"samples must be at most {BIG - 1}"),
    (lambda K, L: L.stability(method="sampled", samples=2**70), ValueError, "samples must be at most"),
    (lambda K, L: L.stability(method="sampled", samples=0), ValueError, "samples must be at least 1"),
    (lambda K, L: L.stability(method="sampled", samples=10.0), TypeError, "samples"),
    (lambda K, L: L.stability(method="sampled", seed=BIG), ValueError, "seed must be at most"),
    (lambda K, L: L.stability(method="sampled", seed=-1), ValueError, "seed must be at least 0"),
    (lambda K, L: L.stability(method="sampled", confidence=math.nan), ValueError, "confidence must lie in"),
    (lambda K, L: L.stability(method="sampled", confidence=1.0), ValueError, "confidence must lie in"),
    (lambda K, L: L.stability(max_visits=-1), ValueError, "max_visits must be at least 0"),
    (lambda K, L: L.draw(counts_above=-1), ValueError, "counts_above"),
    (lambda K, L: L.draw(counts_above=1.5), TypeError, "counts_above"),
    (lambda K, L: L[BIG], IndexError, "concept index"),
    (lambda K, L: K.extent([2**70]), IndexError, f"attribute position {2**70}"),
    (lambda K, L: K.extent(np.array([BIG - 1], dtype=np.uint64)), IndexError, f"attribute position {BIG - 1}"),
    (lambda K, L: K.select(objects=np.array([2**63], dtype=np.uint64)), IndexError, "object position"),
    (lambda K, L: tl.Interval(bins=0), ValueError, "bins must be at least 1"),
    (lambda K, L: tl.Interval(bins=2**70), ValueError, "bins must be at most"),
    (lambda K, L: tl.Interval(bins=2.0), TypeError, "bins"),
    (lambda K, L: tl.Interval(quantiles=-1), ValueError, "quantiles must be at least 1"),
    (lambda K, L: tl.Ordinal(quantiles=2**70), ValueError, "quantiles must be at most"),
    (lambda K, L: tl.Interordinal(quantiles=0), ValueError, "quantiles must be at least 1"),
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Interval(bins=2**32 - 1)}), ValueError, "bins=4294967295 for column 'x'"),
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Ordinal(quantiles=2**32 - 1)}), ValueError, "quantiles=.* column 'x'"),
]


@pytest.mark.parametrize("call, error, named", REFUSALS)
def test_out_of_range_values_are_refused_naming_the_parameter(call, error, named):
    K = context()
    with pytest.raises(error, match=named):
        call(K, K.lattice())


# (call, its answer as brute force or the unlimited call gives it): values that used to wrap, truncate or round.
ANSWERS = [
    # A threshold past the object count keeps nothing, however large; below it, exactly the frequent concepts.
    (lambda K, L: supports(K.lattice(min_support=BIG)), lambda K: []),
    (lambda K, L: supports(K.lattice(min_support=BIG + 2)), lambda K: []),
    (lambda K, L: supports(K.lattice(min_support=2**200)), lambda K: []),
    (lambda K, L: supports(K.lattice(min_support=N_OBJECTS + 1)), lambda K: []),
    (lambda K, L: supports(K.lattice(min_support=N_OBJECTS)), lambda K: brute_supports(N_OBJECTS)),
    (lambda K, L: supports(K.lattice(min_support=np.uint64(BIG - 1))), lambda K: []),
    (lambda K, L: [c.support for c in K.iter_concepts(min_support=BIG)], lambda K: []),
    (lambda K, L: len(K.rules(BIG, 0.0)), lambda K: 0),
    (lambda K, L: len(K.rules(BIG + 2, 0.0)), lambda K: 0),
    (lambda K, L: len(K.implications(BIG)), lambda K: 0),
    (lambda K, L: len(K.implications(BIG + 2, basis="proper-premise")), lambda K: 0),
    # Any positive fraction is at least one object: the empty-extent bottom is not frequent.
    (lambda K, L: supports(K.lattice(min_support=1e-12)), lambda K: brute_supports(1)),
    (lambda K, L: supports(K.lattice(min_support=5e-324)), lambda K: brute_supports(1)),
    (lambda K, L: K.rules(5e-324, 0.0).min_support, lambda K: 1),
    (lambda K, L: K.implications(1e-12).min_support, lambda K: 1),
    # Limits past anything reachable are no limit.
    (lambda K, L: rule_rows(K.rules(0, 0.0, max_premise=2**70)), lambda K: rule_rows(K.rules(0, 0.0))),
    (lambda K, L: rule_rows(K.rules(0, 0.0, "all", max_premise=N_ATTRIBUTES)),
     lambda K: rule_rows(K.rules(0, 0.0, "all"))),
    (lambda K, L: supports(K.lattice(max_concepts=2**70)), lambda K: brute_supports(0)),
    (lambda K, L: supports(K.lattice(threads=2**70)), lambda K: brute_supports(0)),
    (lambda K, L: [c.support for c in K.iter_concepts(max_concepts=BIG, threads=BIG)],
     lambda K: [c.support for c in K.iter_concepts()]),
    (lambda K, L: L.stability(max_visits=2**70).values.tolist(), lambda K: K.lattice().stability("exact").values.tolist()),
    (lambda K, L: L.stability(max_visits=2**70).exact, lambda K: True),
    (lambda K, L: L.draw(counts_above=2**70).labels, lambda K: "reduced"),
    # The sample count reported is the one drawn.
    (lambda K, L: L.stability(method="sampled", samples=7, seed=BIG - 1).samples, lambda K: 7),
    # Scaling with ±inf: finite values binned, each infinity in an open-ended bin of its own.
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Interval(bins=2)}).attributes,
     lambda K: ("x in [-inf, 1)", "x in [1, 2)", "x in [2, 3]", "x in (3, inf]")),
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Interval(bins=2)}).incidence.argmax(axis=1).tolist(),
     lambda K: [1, 3, 0, 2, 2]),
    (lambda K, L: tl.scale(INFINITE, {"x": "interval"}).attributes,
     lambda K: ("x in [-inf, 1)", "x in [1, 1.5)", "x in [1.5, 2)", "x in [2, 2.5)", "x in [2.5, 3]", "x in (3, inf]")),
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Ordinal(quantiles=2)}).incidence.ravel().tolist(),
     lambda K: [True, False, True, True, False]),
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Interordinal(quantiles=2)}).attributes, lambda K: ("x<=2", "x>=2")),
    (lambda K, L: tl.scale(pd.DataFrame({"x": [np.inf, -np.inf, np.nan]}), {"x": tl.Interval(bins=3)}).attributes,
     lambda K: ("x in [-inf, -inf]", "x in [inf, inf]")),
    (lambda K, L: tl.scale(pd.DataFrame({"x": [-1e308, 1e308]}), {"x": tl.Interval(bins=2)}).attributes,
     lambda K: ("x in [-1e+308, 0)", "x in [0, 1e+308]")),
    (lambda K, L: tl.scale(pd.DataFrame({"x": np.r_[np.arange(20.0), np.inf]})).attributes,
     lambda K: ("x<=4.75", "x<=9.5", "x<=14.25")),
    # Cut points given by the user keep their meaning: an infinity outside them has no bin.
    (lambda K, L: tl.scale(INFINITE, {"x": tl.Interval(cuts=[0, 10])}).incidence.ravel().tolist(),
     lambda K: [True, False, False, True, True]),
]


@pytest.mark.parametrize("call, answer", ANSWERS)
def test_values_at_the_edges_give_the_right_answer(call, answer):
    K = context()
    assert call(K, K.lattice()) == answer(K)


@pytest.mark.parametrize("fraction, total, objects", [
    (0.1, 30, 3), (0.1, 25, 3), (0.3, 10, 3), (0.7, 10, 7), (1 / 3, 3, 1), (2 / 3, 3, 2), (1.0, 7, 7),
    (1e-12, 3, 1), (5e-324, 1, 1), (0.5, 0, 0), (0.25, 2**64 + 4, 2**62 + 1),
])
def test_fractions_round_up_exactly(fraction, total, objects):
    assert fraction_of("min_support", fraction, total) == objects


def built_lattices():
    """Every kind of lattice the lab builds: full ones of every shape, icebergs, empty icebergs, one concept."""
    for objects, attributes, incidence in shaped_contexts(2612, 1):
        K = tl.Context(objects, attributes, incidence)
        n = len(objects)
        for min_support in sorted({0, 1, n // 2, n, n + 1}):
            yield K.lattice(min_support=min_support)
    yield tl.Context([], [], []).lattice()
    yield tl.Context(["g"], ["m"], [[1]]).lattice()
    yield context().lattice(min_support=0.999)


def test_every_lattice_the_lab_builds_saves_and_loads_equal(tmp_path):
    kinds = set()
    for lattice in built_lattices():
        lattice.save(tmp_path / "l.json")
        loaded = tl.load(tmp_path / "l.json")
        assert loaded.context == lattice.context
        assert [(c.extent, c.intent) for c in loaded] == [(c.extent, c.intent) for c in lattice]
        assert np.array_equal(loaded.edges, lattice.edges)
        assert np.array_equal(loaded.supports, lattice.supports)
        kinds.add(min(len(lattice), 2))
    assert kinds == {0, 1, 2}
