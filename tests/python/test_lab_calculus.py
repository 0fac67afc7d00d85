"""The implication calculus, attribute exploration and context operations of tessara.lab, against brute force and
the module's canonical base."""

import numpy as np
import pytest

import tessara
import tessara.lab as tl
from conftest import cxt_bytes
from lab_shapes import names, random_incidence
from oracle import all_subsets, implication_closure, lectic_key, pseudo_intents


def random_implications(rng, n_attributes, count):
    """(premise, conclusion) index sets: small premises, a few empty ones, conclusions of any size."""
    pairs = []
    for _ in range(count):
        premise = frozenset(np.flatnonzero(rng.random(n_attributes) < rng.uniform(0, 0.4)).tolist())
        conclusion = frozenset(np.flatnonzero(rng.random(n_attributes) < rng.uniform(0, 0.5)).tolist())
        pairs.append((premise, conclusion))
    return pairs


def as_named(pairs, attributes):
    return [([attributes[m] for m in sorted(p)], [attributes[m] for m in sorted(c)]) for p, c in pairs]


def indices(names_, attributes):
    return frozenset(attributes.index(name) for name in names_)


def brute_closed_sets(pairs, n_attributes):
    return [s for s in all_subsets(n_attributes) if implication_closure(pairs, s) == s]


def as_index_pairs(implications, attributes):
    return [(indices(i.premise, attributes), indices(i.premise + i.conclusion, attributes)) for i in implications]


def implication_sets(seed, count, max_attributes=8):
    """Random implication sets, and the bases of random contexts (the sets users reason with most)."""
    rng = np.random.default_rng(seed)
    for k in range(count):
        n = int(rng.integers(0, max_attributes + 1))
        attributes = names("m", n)
        if k % 3 == 2:
            matrix = random_incidence(rng, int(rng.integers(0, 11)), n)
            context = tl.Context(names("g", matrix.shape[0]), attributes, matrix)
            found = context.implications(basis=("canonical", "proper-premise")[k % 2])
            yield rng, attributes, as_index_pairs(found, attributes), found
        else:
            pairs = random_implications(rng, n, int(rng.integers(0, 12)))
            yield rng, attributes, pairs, tl.Implications.from_pairs(as_named(pairs, attributes), attributes)


@pytest.mark.parametrize("seed", range(3))
def test_closure_entailment_and_respect_equal_brute_force(seed):
    for rng, attributes, pairs, found in implication_sets(10 + seed, 40):
        n = len(attributes)
        for subset in all_subsets(n):
            named = [attributes[m] for m in sorted(subset)]
            closed = implication_closure(pairs, subset)
            assert found.closure(named) == tuple(attributes[m] for m in sorted(closed))
            assert found.respected_by(named) == (closed == subset)
        for premise, conclusion in random_implications(rng, n, 6):
            asked = ([attributes[m] for m in sorted(premise)], [attributes[m] for m in sorted(conclusion)])
            assert found.entails(tuple(asked)) == (conclusion <= implication_closure(pairs, premise))
        assert found.entails(found) and found.entails([])


@pytest.mark.parametrize("seed", range(3))
def test_bases_of_a_set_equal_the_module_on_a_context_with_its_closure_system(seed):
    for rng, attributes, pairs, found in implication_sets(20 + seed, 40):
        n = len(attributes)
        closed_sets = brute_closed_sets(pairs, n)
        # A context whose intents are exactly the closed sets: its canonical base is that of the set.
        rows = [[m in s for m in range(n)] for s in closed_sets]
        objects = names("c", len(rows))
        module = tessara.compute_implications(tessara.parse_context(cxt_bytes(objects, attributes, rows)))
        canonical = found.canonical()
        assert [(i.premise, i.conclusion) for i in canonical] == [
            (tuple(i["premise"]), tuple(m for m in i["conclusion"] if m not in i["premise"])) for i in module]
        # Independently of the module: the pseudo-closed sets of the closure system, in lectic order.
        assert [indices(i.premise, attributes) for i in canonical] == pseudo_intents(rows, n)
        assert all(i.support is None for i in canonical)

        cover = found.minimal_cover()
        cover_pairs = as_index_pairs(cover, attributes)
        assert len(cover) == len(canonical)
        assert brute_closed_sets(cover_pairs, n) == closed_sets
        assert all(implication_closure(cover_pairs, p) == c for p, c in cover_pairs)  # conclusions closed

        direct = found.direct()
        direct_pairs = as_index_pairs(direct, attributes)
        context = tl.Context(objects, attributes, np.array(rows, dtype=bool).reshape(len(rows), n))
        assert sorted(map(sorted, direct_pairs)) == sorted(
            map(sorted, as_index_pairs(context.implications(basis="proper-premise"), attributes)))
        for subset in all_subsets(n):  # one pass closes every set
            once = set(subset)
            for premise, conclusion in direct_pairs:
                if premise <= subset:
                    once |= conclusion
            assert once == implication_closure(pairs, subset)


@pytest.mark.parametrize("seed", range(2))
def test_equivalence_and_holds_in_equal_brute_force(seed):
    rng = np.random.default_rng(30 + seed)
    for _ in range(60):
        n = int(rng.integers(0, 7))
        attributes = names("m", n)
        pairs = random_implications(rng, n, int(rng.integers(0, 8)))
        extra = pairs + random_implications(rng, n, 1)
        first = tl.Implications.from_pairs(as_named(pairs, attributes), attributes)
        second = tl.Implications.from_pairs(as_named(extra, attributes), attributes)
        assert first.equivalent(second) == (brute_closed_sets(pairs, n) == brute_closed_sets(extra, n))
        assert first.equivalent(first.canonical()) and first.canonical().equivalent(first.minimal_cover())
        matrix = random_incidence(rng, int(rng.integers(0, 11)), n)
        # The context's attributes in another order and one more: holds_in matches by name.
        shuffled = list(rng.permutation(n)) + [n]
        context = tl.Context(names("g", matrix.shape[0]), [f"m{k}" for k in shuffled][:n] + ["extra"],
                             np.hstack([matrix[:, shuffled[:n]], np.ones((matrix.shape[0], 1), dtype=bool)]))
        holds = all(c <= {m for m in range(n) if row[m]} for p, c in pairs
                    for row in matrix if all(row[m] for m in p))
        assert first.holds_in(context) == holds


@pytest.mark.parametrize("n_attributes", [63, 64, 65, 129])
def test_wide_sets_close_and_reduce_to_the_contexts_base(n_attributes):
    rng = np.random.default_rng(n_attributes)
    attributes = names("m", n_attributes)
    n_objects = 7 if n_attributes < 100 else 5  # the proper premises grow fast with the width
    matrix = random_incidence(rng, n_objects, n_attributes)
    context = tl.Context(names("g", n_objects), attributes, matrix)
    proper = context.implications(basis="proper-premise")
    base = context.implications()
    assert list(proper.canonical()) == [tl.Implication(i.premise, i.conclusion, None) for i in base]
    pairs = as_index_pairs(proper, attributes)
    for _ in range(30):
        subset = frozenset(np.flatnonzero(rng.random(n_attributes) < 0.05).tolist())
        named = [attributes[m] for m in sorted(subset)]
        expected = tuple(attributes[m] for m in sorted(implication_closure(pairs, subset)))
        assert proper.closure(named) == base.closure(named) == context.closure(named) == expected
    assert proper.holds_in(context) and base.equivalent(proper)


# -- context operations ---------------------------------------------------------------------------------------------


def small_pair(rng):
    shapes = [(int(rng.integers(0, 6)), int(rng.integers(0, 5))) for _ in range(2)]
    return [tl.Context(names(f"g{k}_", g), names(f"m{k}_", m), random_incidence(rng, g, m))
            for k, (g, m) in enumerate(shapes)]


@pytest.mark.parametrize("seed", range(3))
def test_context_operations_equal_their_definitions(seed):
    rng = np.random.default_rng(40 + seed)
    for _ in range(30):
        first, second = small_pair(rng)
        (g1, m1), (g2, m2) = first.shape, second.shape
        i1, i2 = first.incidence, second.incidence
        complement = first.complement()
        assert complement.objects == first.objects and all(
            complement.incidence[g, m] != i1[g, m] for g in range(g1) for m in range(m1))

        total = tl.direct_sum(first, second)
        assert total.objects == first.objects + second.objects and total.attributes == first.attributes + second.attributes
        for g in range(g1 + g2):
            for m in range(m1 + m2):
                inside = i1[g, m] if g < g1 and m < m1 else i2[g - g1, m - m1] if g >= g1 and m >= m1 else True
                assert total.incidence[g, m] == inside
        # The lattice of a sum is the product of the lattices.
        assert len(total.lattice()) == len(first.lattice()) * len(second.lattice())

        product = tl.direct_product(first, second)
        assert product.shape == (g1 * g2, m1 * m2)
        for a in range(g1):
            for b in range(g2):
                for c in range(m1):
                    for d in range(m2):
                        assert product.incidence[a * g2 + b, c * m2 + d] == (i1[a, c] or i2[b, d])
                        assert product.objects[a * g2 + b] == f"({first.objects[a]}, {second.objects[b]})"

        beside = tl.apposition(first, second.select(objects=[]) if g1 == 0 else
                               tl.Context(first.objects, second.attributes, random_incidence(rng, g1, m2)))
        assert beside.attributes == first.attributes + second.attributes
        assert np.array_equal(beside.incidence[:, :m1], i1)
        lower = random_incidence(rng, g2, m1)
        below = tl.subposition(first, tl.Context(second.objects, first.attributes, lower))
        assert below.objects == first.objects + second.objects and np.array_equal(below.incidence[:g1], i1)
        assert np.array_equal(below.incidence[g1:], lower)
        # Shared names in another order are matched by name.
        turned = np.random.default_rng(g2).permutation(m1)
        shuffled = tl.Context(second.objects, [first.attributes[k] for k in turned], lower[:, turned])
        assert tl.subposition(first, shuffled) == below
        turned = np.random.default_rng(g1).permutation(g1)
        beside_again = tl.apposition(first.select(objects=turned), second.select(objects=[]) if g1 == 0 else
                                     tl.Context(first.objects, second.attributes, beside.incidence[:, m1:]))
        assert np.array_equal(beside_again.incidence[:, m1:], beside.incidence[turned, m1:])


def test_sum_suffixes_rename_and_random_contexts():
    K = tl.Context(["x", "y"], ["a", "b"], [[1, 0], [0, 1]])
    total = tl.direct_sum(K, K)
    assert total.objects == ("x_1", "y_1", "x_2", "y_2") and total.attributes == ("a_1", "b_1", "a_2", "b_2")
    renamed = K.rename(objects=lambda g: g.upper(), attributes={"b": "c"})
    assert renamed.objects == ("X", "Y") and renamed.attributes == ("a", "c")
    assert np.array_equal(renamed.incidence, K.incidence)
    R = tl.random_context(200, 50, density=0.3, seed=7)
    assert R == tl.random_context(200, 50, density=0.3, seed=7) and abs(R.incidence.mean() - 0.3) < 0.02
    assert tl.random_context(3, 2, density=0.0, seed=1).incidence.sum() == 0
    assert tl.random_context(0, 0, seed=1).shape == (0, 0)


# -- attribute exploration ------------------------------------------------------------------------------------------


class HiddenExpert:
    """Knows a hidden context: confirms what holds in it, else gives the first object that refutes the question
    (and sometimes the next one too)."""

    def __init__(self, hidden, several=False):
        self.hidden = hidden
        self.several = several
        self.questions = []
        self.confirmations = 0
        self.rejections = 0
        self.counterexamples = 0

    def __call__(self, implication, context):
        self.questions.append(implication)
        refuting = [(g, self.hidden.intent([g])) for g in self.hidden.extent(list(implication.premise))
                    if not set(implication.conclusion) <= set(self.hidden.intent([g]))
                    and g not in context.objects]
        if not refuting:
            self.confirmations += 1
            return None
        answer = refuting[:2] if self.several else refuting[:1]
        self.rejections += 1
        self.counterexamples += len(answer)
        return answer


def relative_base_size(rows, n, background):
    """The number of pseudo-closed sets relative to the background implications (closed under them)."""
    found = []
    for candidate in all_subsets(n):
        if implication_closure(background, candidate) != candidate:
            continue
        closed = intent_closure(rows, n, candidate)
        if closed == candidate:
            continue
        if all(intent_closure(rows, n, q) <= candidate for q in found if q < candidate):
            found.append(candidate)
    return len(found)


def intent_closure(rows, n, attributes):
    having = [row for row in rows if all(row[m] for m in attributes)]
    return frozenset(m for m in range(n) if all(row[m] for row in having))


@pytest.mark.parametrize("seed", range(4))
def test_exploration_with_a_simulated_expert_finds_the_hidden_base(seed):
    rng = np.random.default_rng(50 + seed)
    for k in range(25):
        n_objects, n_attributes = int(rng.integers(0, 11)), int(rng.integers(0, 9))
        matrix = np.unique(random_incidence(rng, n_objects, n_attributes), axis=0)  # no two objects alike
        attributes = names("m", n_attributes)
        hidden = tl.Context(names("g", len(matrix)), attributes, matrix)
        start = hidden.select(objects=np.flatnonzero(rng.random(len(hidden.objects)) < 0.3))
        expert = HiddenExpert(hidden, several=k % 2 == 1)
        background = None
        hidden_base = hidden.implications()
        if k % 3 == 2 and len(hidden_base):
            background = [hidden_base[int(i)] for i in rng.choice(len(hidden_base), len(hidden_base) // 2 + 1,
                                                                    replace=False)]
        result = start.explore(expert, background=background)
        assert [(i.premise, i.conclusion) for i in result.implications] == [
            (i.premise, i.conclusion) for i in hidden_base]
        assert expert.confirmations == len(result.confirmed)
        assert expert.counterexamples == result.counterexamples == len(result.context.objects) - len(start.objects)
        assert len(expert.questions) == expert.confirmations + expert.rejections
        rows = result.context.incidence.tolist()
        if background is None:
            assert expert.confirmations == len(result.implications)
        else:
            pairs = as_index_pairs(background, attributes)
            assert expert.confirmations == relative_base_size(rows, n_attributes, pairs)
            asked_before = tl.Implications.from_pairs(background, attributes)
            for question in result.confirmed:  # never asks what the background and earlier answers derive
                assert not asked_before.entails(question)
                asked_before = tl.Implications.from_pairs(list(asked_before) + [question], attributes)


def test_exploration_step_by_step_refuses_bad_counterexamples_and_keeps_its_state():
    K = tl.Context(["sparrow"], ["bird", "flies", "swims"], [[1, 1, 0]])
    run = tl.Exploration(K)
    assert run.question == tl.Implication((), ("bird", "flies"), 1)
    run.reject("stone", [])
    assert run.question.premise == ("swims",)
    run.confirm()  # swims -> bird, flies: confirmed
    question = run.question
    assert question == tl.Implication(("flies",), ("bird",), 1)
    bad = [
        (("duck", ["bird"]), "lacks the premise's 'flies'"),
        (("robin", ["bird", "flies"]), "has the whole conclusion"),
        (("fish", ["flies", "swims"]), r"breaks the implication Implication\({swims} -> {bird, flies}\)"),
        (("eel", ["flies", "gills"]), "unknown attributes: 'gills'"),
        (("sparrow", ["flies"]), "already has an object of that name"),
    ]
    for (name, attributes), message in bad:
        with pytest.raises(ValueError, match=message):
            run.reject(name, attributes)
        assert run.question == question and run.context.objects == ("sparrow", "stone")
    with pytest.raises(ValueError, match="breaks the background implication"):
        tl.Exploration(K, background=[("bird", "swims")])
    with pytest.raises(ValueError, match="no counterexample given"):
        run.reject_many([])
    run.reject("bat", ["flies"])
    while not run.done:
        run.confirm()
    with pytest.raises(ValueError, match="the exploration is done"):
        run.confirm()
    assert run.question is None and "done" in repr(run)


# -- bad input ------------------------------------------------------------------------------------------------------

L = tl.Implications.from_pairs([("a", "b")], ["a", "b", "c"])
K1 = tl.Context(["x", "y"], ["a", "b"], [[1, 0], [0, 1]])
K2 = tl.Context(["x", "z"], ["c"], [[1], [0]])


@pytest.mark.parametrize("call, error, message", [
    (lambda: tl.Implications.from_pairs([("a", "q")], ["a", "b"]), ValueError, r"pairs\[0\] names .*'q'"),
    (lambda: tl.Implications.from_pairs([("a",)], ["a"]), TypeError, "not an Implication or a"),
    (lambda: L.closure(["a", "zz", "yy"]), ValueError, "not over: 'zz', 'yy'"),
    (lambda: L.respected_by("q"), ValueError, "not over: 'q'"),
    (lambda: L.entails(("a", "d")), ValueError, r"implications\[0\] names .*'d'"),
    (lambda: L.equivalent(tl.Implications.from_pairs([], ["a", "b"])), ValueError, "over different attributes"),
    (lambda: L.holds_in(K2), ValueError, "names attributes that are not among"),
    (lambda: L.direct(max_closed_sets=0), ValueError, "positive int"),
    (lambda: tl.Implications.from_pairs([], ["m"] * 0 + [f"m{k}" for k in range(30)]).direct(max_closed_sets=5),
     ValueError, "more than 5 closed sets"),
    (lambda: tl.apposition(K1, K2), ValueError, "object 1 is 'y' in the first and 'z' in the second"),
    (lambda: tl.apposition(K1, K1), ValueError, "both have 'a', 'b'; rename"),
    (lambda: tl.subposition(K1, K2), ValueError, "same attributes in both contexts: the first has 2"),
    (lambda: tl.subposition(K1, K1.rename(attributes={"b": "c"})), ValueError, "attribute 1 is 'b' in the first"),
    (lambda: tl.apposition(K1, tl.Context(["x", "x"], ["c"], [[1], [0]])), ValueError, "object 1 is 'y'"),
    (lambda: tl.direct_sum(K1, K2, suffixes=("", "")), ValueError, "suffixes must differ"),
    (lambda: tl.apposition(K1, "K2"), TypeError, "second must be a Context"),
    (lambda: K1.rename(objects={"w": "v"}), ValueError, "no object named 'w'"),
    (lambda: K1.rename(attributes=3), TypeError, "mapping or a callable"),
    (lambda: tl.random_context(3, 3, density=1.5), ValueError, r"density must lie in \[0, 1\]"),
    (lambda: tl.random_context(-1, 3), ValueError, "n_objects must be at least 0"),
    (lambda: K1.explore("yes"), TypeError, "expert must be callable"),
    (lambda: tl.Context(["x"], ["a", "b"], [[1, 1]]).explore(lambda i, c: [("w", ["a", "b"])]), ValueError,
     r"'w' does not refute Implication\(\{\} -> \{a, b\}, support=1\): it has the whole conclusion"),
])
def test_bad_input_is_refused_with_a_message(call, error, message):
    with pytest.raises(error, match=message):
        call()


def _words(*values):
    return np.array(values, dtype=np.uint64).tobytes()


@pytest.mark.parametrize("call, error, message", [
    (lambda k: k.implication_index(3, _words(1, 2), _words(1)), ValueError, "same number of packed attribute sets"),
    (lambda k: k.implication_index(3, _words(8), _words(1)), ValueError, "bits past the last attribute"),
    (lambda k: k.implication_index(0, _words(0), _words(0)), ValueError, "sets over no attributes take no words"),
    (lambda k: k.canonical_of_implications(3, b"abc", b""), ValueError, "not a whole number of 8-byte items"),
    (lambda k: k.implication_closure(k.implication_index(3, b"", b""), np.array([3], np.uint32).tobytes()),
     IndexError, "attribute index 3 out of range for 3 attributes"),
    (lambda k: k.implication_closure(object(), b""), TypeError, "must be an index made by implication_index"),
])
def test_kernels_refuse_malformed_arrays(call, error, message):
    from tessara import _lab

    with pytest.raises(error, match=message):
        call(_lab)


INTERRUPTED_CANONICAL = """
import numpy as np
from tessara.lab._calculus import make
rng = np.random.default_rng(3)
count = 200_000
def word():
    return rng.integers(0, 2**63, count, dtype=np.uint64) << np.uint64(1) | rng.integers(0, 2, count, dtype=np.uint64)
# Premises of about 7 of the first 64 attributes, conclusions one of the other 64: no implication feeds
# another and few derive one, so the minimum cover's first pass keeps most and runs for many seconds.
premises = np.zeros((count, 2), np.uint64)
premises[:, 0] = word() & word() & word() & word()
for _ in range(3):  # at least a few attributes each: an empty or tiny premise would derive too much
    premises[:, 0] |= np.uint64(1) << rng.integers(0, 64, count).astype(np.uint64)
conclusions = np.zeros((count, 2), np.uint64)
conclusions[:, 1] = np.uint64(1) << rng.integers(0, 64, count).astype(np.uint64)
L = make("given", tuple(f"m{{m}}" for m in range(128)), premises, conclusions)
import signal; signal.signal(signal.SIGINT, signal.default_int_handler)
print("ready", flush=True)
try:
    L.{method}()
except KeyboardInterrupt:
    print("interrupted", flush=True)
else:
    print("finished", flush=True)
"""


@pytest.mark.parametrize("method", ["canonical", "minimal_cover"])
def test_sigint_stops_the_bases_of_a_set(method):
    from conftest import interrupt_child

    out, err, seconds = interrupt_child(INTERRUPTED_CANONICAL.format(method=method))
    assert out.split() == ["interrupted"], (out, err)
    assert seconds < 5
