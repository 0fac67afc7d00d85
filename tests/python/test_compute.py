"""compute_concepts, compute_implications and supported_algorithms: results
against a brute-force oracle, exact orders, errors, and threads."""

import gc
import random
import threading

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tessara
import oracle
from conftest import make_context

ALGORITHMS = ["next-closure", "in-close-5", "fcbo"]


def named_context(rows, n_attributes):
    objects = [f"g{i}" for i in range(len(rows))]
    attributes = [f"a{j}" for j in range(n_attributes)]
    return make_context(objects, attributes, rows)


def as_indices(names):
    return frozenset(int(name[1:]) for name in names)


def pairs(concept_dicts):
    return [(as_indices(c["extent"]), as_indices(c["intent"])) for c in concept_dicts]


contexts = st.integers(min_value=0, max_value=8).flatmap(
    lambda n: st.tuples(
        st.lists(st.lists(st.booleans(), min_size=n, max_size=n), min_size=0, max_size=8), st.just(n)
    )
)


@settings(max_examples=150, deadline=None)
@given(contexts)
def test_every_algorithm_finds_exactly_the_concepts(context):
    rows, n = context
    ctx = named_context(rows, n)
    expected = oracle.concepts(rows, n)
    results = {name: pairs(tessara.compute_concepts(ctx, name)) for name in ALGORITHMS}
    for name, found in results.items():
        assert len(found) == len(set(found)), name
        assert set(found) == expected, name
        # The top concept comes first: every object, and their shared attributes.
        assert found[0] == (frozenset(range(len(rows))), oracle.intent(rows, n, range(len(rows))))
    keys = [oracle.lectic_key(b, n) for _, b in results["next-closure"]]
    assert keys == sorted(keys) and len(set(keys)) == len(keys)
    assert tessara.compute_concepts(ctx, "fcbo") == tessara.compute_concepts(ctx, "in-close-5")


@pytest.mark.parametrize("n", [448, 449, 513, 4097, 65537])
def test_wide_contexts_give_every_concept_with_its_attribute_names(n):
    # Past 448 attributes short intents are stored as lists; their names must come out as from packed words.
    rng = random.Random(n)
    rows = [[rng.random() < 3 / n or j in (0, n - 1) and rng.random() < 0.5 for j in range(n)] for _ in range(7)]
    rows.append([True] * n if n % 2 else [False] * n)
    have = [frozenset(j for j in range(n) if row[j]) for row in rows]
    expected = set()
    for mask in range(1 << len(rows)):
        chosen = [g for g in range(len(rows)) if mask >> g & 1]
        intent = frozenset.intersection(*(have[g] for g in chosen)) if chosen else frozenset(range(n))
        expected.add((frozenset(g for g in range(len(rows)) if intent <= have[g]), intent))
    ctx = named_context(rows, n)
    for name in ALGORITHMS:
        found = pairs(tessara.compute_concepts(ctx, name))
        assert len(found) == len(expected) and set(found) == expected, name
    assert tessara.compute_concepts(ctx, "fcbo") == tessara.compute_lattice(ctx, "fcbo").concepts()


@settings(max_examples=150, deadline=None)
@given(contexts)
def test_canonical_base_is_the_pseudo_intents_with_closures(context):
    rows, n = context
    ctx = named_context(rows, n)
    base = tessara.compute_implications(ctx)
    premises = [as_indices(rule["premise"]) for rule in base]
    assert premises == oracle.pseudo_intents(rows, n)
    for rule, premise in zip(base, premises):
        assert list(rule) == ["premise", "conclusion", "support", "confidence"]
        assert as_indices(rule["conclusion"]) == oracle.closure(rows, n, premise)
        assert rule["support"] == len(oracle.extent(rows, premise))
        assert rule["confidence"] == 1.0 and type(rule["confidence"]) is float

    implications = [(as_indices(r["premise"]), as_indices(r["conclusion"])) for r in base]
    # Complete: every implication X -> X'' that holds follows from the base.
    for attributes in oracle.all_subsets(n):
        assert oracle.implication_closure(implications, attributes) == oracle.closure(rows, n, attributes)
    # Non-redundant: without any one implication, its own consequence is lost.
    for i, (premise, conclusion) in enumerate(implications):
        rest = implications[:i] + implications[i + 1 :]
        assert oracle.implication_closure(rest, premise) != conclusion


G1G2_CONCEPTS = {
    "next-closure": [(["g1", "g2"], ["m3"]), (["g2"], ["m2", "m3"]), (["g1"], ["m1", "m3"]), ([], ["m1", "m2", "m3"])],
    "fcbo": [(["g1", "g2"], ["m3"]), (["g1"], ["m1", "m3"]), ([], ["m1", "m2", "m3"]), (["g2"], ["m2", "m3"])],
}
G1G2_CONCEPTS["in-close-5"] = G1G2_CONCEPTS["fcbo"]


@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_worked_example_in_each_algorithms_order(g1g2_context, algorithm):
    result = tessara.compute_concepts(g1g2_context, algorithm)
    assert [list(c) for c in result] == [["extent", "intent"]] * 4
    assert [(c["extent"], c["intent"]) for c in result] == G1G2_CONCEPTS[algorithm]


THREE_OBJECT_CASES = [
    # rows, next-closure order, close-by-one order (as (extent, intent) index lists)
    (
        [[1, 1, 0], [0, 1, 1], [1, 0, 1]],
        ["0,1,2|", "1,2|2", "0,1|1", "1|1,2", "0,2|0", "2|0,2", "0|0,1", "|0,1,2"],
        ["0,1,2|", "0,2|0", "0|0,1", "|0,1,2", "2|0,2", "0,1|1", "1|1,2", "1,2|2"],
    ),
    ([[1, 1, 1], [1, 1, 0], [1, 0, 0]], ["0,1,2|0", "0,1|0,1", "0|0,1,2"], ["0,1,2|0", "0,1|0,1", "0|0,1,2"]),
    ([[1, 0], [0, 1]], ["0,1|", "1|1", "0|0", "|0,1"], ["0,1|", "0|0", "|0,1", "1|1"]),
]


def encode(result):
    return [
        ",".join(c["extent"][i][1:] for i in range(len(c["extent"])))
        + "|"
        + ",".join(name[1:] for name in c["intent"])
        for c in result
    ]


@pytest.mark.parametrize("rows, lectic, close_by_one", THREE_OBJECT_CASES)
def test_worked_orders(rows, lectic, close_by_one):
    ctx = named_context(rows, len(rows[0]))
    assert encode(tessara.compute_concepts(ctx)) == lectic
    assert encode(tessara.compute_concepts(ctx, "fcbo")) == close_by_one
    assert encode(tessara.compute_concepts(ctx, "ic5")) == close_by_one


@pytest.mark.parametrize(
    "rows, n, expected",
    [
        ([[1, 1, 1], [1, 1, 0], [1, 0, 0]], 3, [([], ["a0"], 3), (["a0", "a2"], ["a0", "a1", "a2"], 1)]),
        (
            [[1, 1, 0, 0], [0, 1, 1, 0], [0, 0, 1, 1], [1, 0, 0, 1]],
            4,
            [(["a1", "a3"], ["a0", "a1", "a2", "a3"], 0), (["a0", "a2"], ["a0", "a1", "a2", "a3"], 0)],
        ),
        ([[1, 0], [1, 0]], 2, [([], ["a0"], 2)]),
        ([], 2, [([], ["a0", "a1"], 0)]),
        ([[1, 0], [0, 1]], 2, []),
        ([[], []], 0, []),
    ],
)
def test_canonical_base_worked_examples(rows, n, expected):
    base = tessara.compute_implications(named_context(rows, n))
    assert [(r["premise"], r["conclusion"], r["support"]) for r in base] == expected
    assert all(r["confidence"] == 1.0 for r in base)


def test_supported_algorithms():
    first, second = tessara.supported_algorithms(), tessara.supported_algorithms()
    assert first == second == ALGORITHMS and first is not second
    with pytest.raises(TypeError, match="takes no arguments"):
        tessara.supported_algorithms(1)


@pytest.mark.parametrize(
    "name, canonical",
    [
        ("NC", "next-closure"),
        ("Next-Closure", "next-closure"),
        ("NEXT-CLOSURE", "next-closure"),
        ("IC5", "in-close-5"),
        ("In-Close5", "in-close-5"),
        ("IN-CLOSE-5", "in-close-5"),
        ("FCbO", "fcbo"),
    ],
)
def test_aliases_select_the_same_algorithm(g1g2_context, name, canonical):
    assert tessara.compute_concepts(g1g2_context, name) == tessara.compute_concepts(g1g2_context, canonical)
    assert tessara.compute_concepts(g1g2_context, algorithm=name) == tessara.compute_lattice(
        g1g2_context, canonical
    ).concepts()


SUPPORTED_TEXT = '["next-closure", "in-close-5", "fcbo"]'


@pytest.mark.parametrize("name", ["foo", "Foo", "", " next-closure", "next_closure", "inclose5", "in-close", "ＮＣ"])
@pytest.mark.parametrize("function", [tessara.compute_concepts, tessara.compute_lattice])
def test_unknown_algorithm_message(g1g2_context, function, name):
    with pytest.raises(ValueError) as caught:
        function(g1g2_context, name)
    assert str(caught.value) == f"unknown algorithm `{name}`; try one of: {SUPPORTED_TEXT}"


@pytest.mark.parametrize("function", [tessara.compute_concepts, tessara.compute_lattice, tessara.compute_implications])
@pytest.mark.parametrize("bad_ctx", [None, b"B\n0\n0\n", 3])
def test_ctx_must_be_a_context(function, bad_ctx):
    with pytest.raises(TypeError) as caught:
        function(bad_ctx)
    assert "'ctx'" in str(caught.value) and "Context" in str(caught.value)


def test_errors_name_ctx_before_algorithm(g1g2_context):
    lattice = tessara.compute_lattice(g1g2_context)
    with pytest.raises(TypeError, match="'ctx'"):
        tessara.compute_concepts(lattice)
    with pytest.raises(TypeError, match="'ctx'"):
        tessara.compute_concepts(lattice, None)
    with pytest.raises(TypeError, match="'algorithm'"):
        tessara.compute_concepts(g1g2_context, None)
    with pytest.raises(UnicodeEncodeError):
        tessara.compute_concepts(g1g2_context, "\udc80")


@pytest.mark.parametrize(
    "call",
    [
        lambda ctx: tessara.compute_concepts(),
        lambda ctx: tessara.compute_concepts(ctx, "nc", 3),
        lambda ctx: tessara.compute_concepts(ctx, algo="nc"),
        lambda ctx: tessara.compute_concepts(ctx, ctx=ctx),
        lambda ctx: tessara.compute_implications(ctx, "nc"),
        lambda ctx: tessara.compute_lattice(),
    ],
)
def test_binding_errors(g1g2_context, call):
    with pytest.raises(TypeError):
        call(g1g2_context)


def large_context():
    """About 113,000 concepts: long enough for other threads to get a turn."""
    rng = random.Random(7)
    rows = [[rng.random() < 0.33 for _ in range(40)] for _ in range(300)]
    return named_context(rows, 40)


def test_other_threads_run_during_a_computation():
    ctx = large_context()
    ticks = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        before = ticks[0]
        concepts = tessara.compute_concepts(ctx, "fcbo")
        during = ticks[0] - before
    finally:
        stop.set()
        counter.join()
    assert len(concepts) >= 100_000
    assert during > 1000


def test_four_threads_on_one_context_agree():
    ctx = large_context()
    results = [None] * 4

    def work(i):
        results[i] = tessara.compute_concepts(ctx, ALGORITHMS[i % 3])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results[0] == results[3]
    assert sorted(map(str, results[0])) == sorted(map(str, results[1])) == sorted(map(str, results[2]))


def test_context_dropped_during_a_computation_stays_valid():
    holder = [large_context()]
    expected_count = [None]
    started = threading.Event()

    def work():
        ctx = holder[0]
        started.set()
        expected_count[0] = len(tessara.compute_concepts(ctx))

    thread = threading.Thread(target=work)
    thread.start()
    started.wait()
    holder.clear()
    gc.collect()
    thread.join()
    assert expected_count[0] >= 100_000
