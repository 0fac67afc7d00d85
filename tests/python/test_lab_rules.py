"""tessara.lab implications, association rules and concept measures against brute force on small random contexts
(every attribute set enumerated), against the `tessara` module's canonical base, and their errors on bad input."""

import math
from itertools import combinations

import numpy as np
import pytest

import tessara
import tessara.lab as tl
from conftest import cxt_bytes, interrupt_child
from lab_shapes import names, random_incidence
from oracle import all_subsets, implication_closure, lectic_key

pd = pytest.importorskip("pandas")


def small_contexts(seed, count, max_objects=12, max_attributes=10):
    rng = np.random.default_rng(seed)
    for _ in range(count):
        n_objects, n_attributes = int(rng.integers(0, max_objects + 1)), int(rng.integers(0, max_attributes + 1))
        matrix = random_incidence(rng, n_objects, n_attributes)
        yield rng, tl.Context(names("g", n_objects), names("m", n_attributes), matrix), matrix


class Brute:
    """Extents, closures and the closed sets of a bool matrix by enumerating every attribute set."""

    def __init__(self, matrix):
        self.matrix = matrix
        self.n_objects, self.n_attributes = matrix.shape

    def extent(self, attributes):
        return frozenset(np.flatnonzero(self.matrix[:, sorted(attributes)].all(axis=1)).tolist())

    def closure(self, attributes):
        objects = sorted(self.extent(attributes))
        return frozenset(np.flatnonzero(self.matrix[objects].all(axis=0)).tolist())

    def closed_sets(self):
        return {self.closure(s) for s in all_subsets(self.n_attributes)}


def as_names(indices):
    return tuple(f"m{m}" for m in sorted(indices))


def brute_rules(brute, min_support, min_confidence, luxenburger):
    """Every rule X -> Y \\ X between frequent closed X strictly inside closed Y; with `luxenburger`, only pairs
    with no frequent closed set strictly between (the cover edges of the iceberg lattice)."""
    closed = [c for c in brute.closed_sets() if len(brute.extent(c)) >= min_support]
    n = brute.n_objects
    found = {}
    for x in closed:
        for y in closed:
            if not x < y:
                continue
            if luxenburger and any(x < z < y for z in closed):
                continue
            sx, sy, sc = len(brute.extent(x)), len(brute.extent(y)), len(brute.extent(y - x))
            confidence = sy / sx
            if confidence < min_confidence:
                continue
            lift = confidence / (sc / n) if sc else math.nan
            leverage = sy / n - sx / n * sc / n
            conviction = (1 - sc / n) / (1 - confidence)
            found[(as_names(x), as_names(y - x))] = (sy, sy / n, confidence, lift, leverage, conviction)
    return found


def measures_of(rules):
    return {(r.premise, r.conclusion): (r.support, r.support_fraction, r.confidence, r.lift, r.leverage, r.conviction)
            for r in rules}


def assert_same_rules(found, expected):
    assert found.keys() == expected.keys()
    for key, values in expected.items():
        assert found[key] == pytest.approx(values, rel=1e-12, abs=1e-12, nan_ok=True), key


@pytest.mark.parametrize("seed", range(6))
def test_rules_equal_brute_force_for_both_bases_thresholds_and_constraints(seed):
    for rng, context, matrix in small_contexts(seed, 25):
        brute = Brute(matrix)
        n_objects, n_attributes = matrix.shape
        min_support = int(rng.integers(0, n_objects + 2))
        min_confidence = float(rng.choice([0.0, 0.3, 0.5, 0.8, 1.0]))
        for basis in ("all", "luxenburger"):
            expected = brute_rules(brute, min_support, min_confidence, basis == "luxenburger")
            assert_same_rules(measures_of(context.rules(min_support, min_confidence, basis)), expected)
        if n_attributes < 2:
            continue
        # Constraints on names, and a premise length: the same rules as filtering every rule.
        a, b = (f"m{m}" for m in rng.choice(n_attributes, size=2, replace=False).tolist())
        longest = int(rng.integers(0, 3))
        for constraint, keep in [
            ({"premise_includes": [a]}, lambda p, c: a in p),
            ({"premise_excludes": a}, lambda p, c: a not in p),
            ({"conclusion_includes": [a, b]}, lambda p, c: a in c and b in c),
            ({"conclusion_excludes": [b], "max_premise": longest}, lambda p, c: b not in c and len(p) <= longest),
        ]:
            for basis in ("all", "luxenburger"):
                whole = brute_rules(brute, min_support, min_confidence, basis == "luxenburger")
                found = measures_of(context.rules(min_support, min_confidence, basis, **constraint))
                assert_same_rules(found, {k: v for k, v in whole.items() if keep(*k)})


def test_luxenburger_basis_with_the_canonical_base_derives_every_rule_and_none_of_its_own():
    """Any frequent rule A -> B: the canonical base closes A and A u B, and chains of Luxenburger rules between
    the closures multiply to the rule's confidence; no Luxenburger rule follows from the others."""
    for rng, context, matrix in small_contexts(31, 30):
        brute = Brute(matrix)
        n_objects, n_attributes = matrix.shape
        min_support = int(rng.integers(0, n_objects + 1))
        basis = measures_of(context.rules(min_support, 0.0))
        base = [(frozenset(i.premise), frozenset(i.premise + i.conclusion)) for i in context.implications()]
        edges = {}
        for (premise, conclusion), values in basis.items():
            edges.setdefault(frozenset(premise), []).append((frozenset(premise + conclusion), values[2]))

        def chains(start, goal, leave_out=None):
            """The confidence products of every chain of basis rules from start to goal."""
            if start == goal:
                return [1.0]
            return [c * rest for step, c in edges.get(start, []) if step <= goal and (start, step) != leave_out
                    for rest in chains(step, goal, leave_out)]

        for _ in range(20):
            whole = frozenset(np.flatnonzero(rng.random(n_attributes) < 0.3).tolist())
            premise = frozenset(m for m in whole if rng.random() < 0.5)
            if len(brute.extent(whole)) < min_support or not brute.extent(premise):
                continue
            start = implication_closure(base, as_names(premise))
            goal = implication_closure(base, as_names(whole))
            assert start == frozenset(as_names(brute.closure(premise)))
            assert goal == frozenset(as_names(brute.closure(whole)))
            confidence = len(brute.extent(whole)) / len(brute.extent(premise))
            products = chains(start, goal)
            assert products and all(p == pytest.approx(confidence, rel=1e-12) for p in products)
        for premise, conclusion in basis:
            start = frozenset(premise)
            goal = start | frozenset(conclusion)
            assert chains(start, goal, leave_out=(start, goal)) == []


@pytest.mark.parametrize("seed", range(4))
def test_canonical_base_equals_the_module_and_support_filters_it(seed):
    for rng, context, matrix in small_contexts(40 + seed, 25, max_attributes=9):
        module_context = tessara.parse_context(cxt_bytes(list(context.objects), list(context.attributes),
                                                         matrix.tolist()))
        module = [(tuple(i["premise"]), tuple(m for m in i["conclusion"] if m not in i["premise"]), i["support"])
                  for i in tessara.compute_implications(module_context)]
        found = context.implications()
        assert [(i.premise, i.conclusion, i.support) for i in found] == module
        assert all(i.confidence == 1.0 for i in found)
        threshold = int(rng.integers(0, matrix.shape[0] + 1))
        assert [(i.premise, i.conclusion, i.support) for i in context.implications(threshold)] == [
            m for m in module if m[2] >= threshold]


@pytest.mark.parametrize("seed", range(3))
def test_proper_premises_equal_their_definition(seed):
    for rng, context, matrix in small_contexts(50 + seed, 25, max_attributes=8):
        brute = Brute(matrix)
        threshold = int(rng.integers(0, 3))
        expected = []
        for premise in sorted(all_subsets(brute.n_attributes), key=lambda p: lectic_key(p, brute.n_attributes)):
            below = set(premise)
            for p in premise:
                below |= brute.closure(premise - {p})
            gained = brute.closure(premise) - below
            support = len(brute.extent(premise))
            if gained and support >= threshold:
                expected.append((as_names(premise), as_names(gained), support))
        found = context.implications(threshold, basis="proper-premise")
        assert [(i.premise, i.conclusion, i.support) for i in found] == expected


def test_generators_and_measures_equal_brute_force():
    for rng, context, matrix in small_contexts(60, 40):
        brute = Brute(matrix)
        lattice = context.lattice()
        frame = lattice.to_pandas(measures=("stability", "delta_stability", "generators"))
        exact = lattice.stability(method="exact")
        sampled = lattice.stability(method="sampled", samples=4000, seed=5, confidence=0.999)
        assert exact.exact and exact.error_bound == 0.0 and not sampled.exact
        assert sampled.error_bound == pytest.approx(math.sqrt(math.log(2 / 0.001) / 8000))
        delta = lattice.delta_stability()
        for c in lattice:
            intent = frozenset(c.intent_indices.tolist())
            keys = [frozenset(k) for size in range(len(intent) + 1) for k in combinations(sorted(intent), size)
                    if brute.closure(frozenset(k)) == intent]
            minimal = sorted((k for k in keys if not any(o < k for o in keys)), key=lambda k: (len(k), sorted(k)))
            assert sorted(c.generators, key=lambda k: (len(k), [int(n[1:]) for n in k])) == [
                as_names(k) for k in minimal]
            assert frame.at[c.index, "generators"] == lattice.generators(c.index) == c.generators
            extent = sorted(c.extent_indices.tolist())
            # The subsets of the extent whose common attributes are the intent (no objects: every attribute).
            derives = sum(frozenset(np.flatnonzero(matrix[list(s)].all(axis=0)).tolist()) == intent
                          for size in range(len(extent) + 1) for s in combinations(extent, size))
            assert exact[c.index] == derives / 2 ** len(extent)
            assert abs(sampled[c.index] - exact[c.index]) <= sampled.error_bound
            smaller = [d.support for d in c.lower]
            assert delta[c.index] == c.support - max(smaller, default=0)
        assert np.array_equal(frame["stability"].to_numpy(), np.asarray(exact))
        assert np.array_equal(frame["delta_stability"].to_numpy(), delta)


def test_tables_reprs_and_budgets():
    context = tl.Context(["duck", "dog", "cat", "owl"], ["flies", "barks", "legs", "feathers"],
                         [[1, 0, 1, 1], [0, 1, 1, 0], [0, 0, 1, 0], [1, 0, 1, 1]])
    rules = context.rules(min_support=0.25, min_confidence=0.2)
    frame = rules.to_pandas().sort_values("support", ascending=False)
    assert list(frame.columns) == ["premise", "conclusion", "support", "support_fraction", "confidence", "lift",
                                   "leverage", "conviction"]
    assert frame["conclusion"].tolist() == [("flies", "feathers"), ("barks",)]
    assert frame["support_fraction"].tolist() == [0.5, 0.25] and frame["conviction"].tolist() == [1.0, 1.0]
    assert repr(rules) == "Rules(basis='luxenburger', rules=2, min_support=1, min_confidence=0.2)"
    assert repr(rules[0]) == "Rule({legs} -> {flies, feathers}, support=2, confidence=0.5, lift=1)"
    assert len(context.rules(0.25, 0.3)) == 1 and rules.measure("confidence").tolist() == [0.5, 0.25]
    implications = context.implications()
    assert repr(implications[0]) == "Implication({} -> {legs}, support=4)"
    table = implications.to_pandas()
    assert list(table.columns) == ["premise", "conclusion", "support", "confidence"] and len(table) == len(implications)
    assert repr(implications) == f"Implications(basis='canonical', implications={len(implications)}, min_support=0)"
    lattice = context.lattice()
    assert not lattice.stability(max_visits=0).exact
    assert "error_bound=" in repr(lattice.stability(method="sampled", samples=10))
    assert repr(lattice.stability()) == f"Stability(exact, concepts={len(lattice)})"


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda K: K.rules(0.1, 1.5), ValueError, r"min_confidence must lie in \[0, 1\], got 1.5"),
        (lambda K: K.rules(0.1, -0.1), ValueError, "min_confidence"),
        (lambda K: K.rules(0.1, math.nan), ValueError, "min_confidence"),
        (lambda K: K.rules(0.1, "high"), TypeError, "min_confidence must be a number"),
        (lambda K: K.rules(1.5, 0.5), ValueError, r"min_support as a fraction must lie in \(0, 1\], got 1.5"),
        (lambda K: K.rules(-1, 0.5), ValueError, "min_support must be at least 0, got -1"),
        (lambda K: K.rules(0.1, 0.5, basis="closed"), ValueError, "unknown basis 'closed'; expected 'luxenburger'"),
        (lambda K: K.rules(0.1, 0.5, premise_includes=["wings"]), KeyError, "premise_includes.*wings"),
        (lambda K: K.rules(0.1, 0.5, conclusion_excludes="fins"), KeyError, "conclusion_excludes.*fins"),
        (lambda K: K.rules(0.1, 0.5, max_premise=-1), ValueError, "max_premise must be at least 0"),
        (lambda K: K.implications(basis="minimal"), ValueError, "unknown basis 'minimal'; expected 'canonical'"),
        (lambda K: K.implications(min_support=0.0), ValueError, "min_support as a fraction"),
        (lambda K: K.lattice().stability(method="guess"), ValueError, "unknown method 'guess'"),
        (lambda K: K.lattice().stability(method="sampled", samples=0), ValueError, "samples must be at least 1"),
        (lambda K: K.lattice().stability(method="sampled", confidence=1.0), ValueError, r"confidence must lie in"),
        (lambda K: K.lattice().to_pandas(measures=("fame",)), ValueError, "unknown measure 'fame'"),
        (lambda K: K.lattice().generators(99), IndexError, "concept index 99 out of range"),
    ],
)
def test_bad_input_is_refused_with_a_message(call, error, message):
    context = tl.Context(["duck", "dog"], ["flies", "barks"], [[1, 0], [0, 1]])
    with pytest.raises(error, match=message):
        call(context)


INTERRUPTED_CHILD = """
import numpy as np, tessara.lab as tl
rng = np.random.default_rng(20261208)
K = tl.Context([f"g{{g}}" for g in range(3000)], [f"m{{m}}" for m in range(80)], rng.random((3000, 80)) < 0.2)
# A shell that starts jobs in the background ignores SIGINT for them, and Python then
# installs no KeyboardInterrupt handler: put it back, as an interactive session has it.
import signal; signal.signal(signal.SIGINT, signal.default_int_handler)
print("ready", flush=True)
try:
    K.implications(basis={basis!r})
except KeyboardInterrupt:
    print("interrupted", flush=True)
else:
    print("finished", flush=True)
"""


@pytest.mark.parametrize("basis", ["canonical", "proper-premise"])
def test_sigint_stops_the_implication_bases(basis):
    out, err, _ = interrupt_child(INTERRUPTED_CHILD.format(basis=basis))
    assert out.split() == ["interrupted"], (out, err)
