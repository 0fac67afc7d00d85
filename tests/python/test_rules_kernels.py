"""The rule and measure kernels of tessara._lab against the tessara module and against their own contracts.

Arrays are read with the array module: numpy's import keeps allocations that the sanitized run reports as leaks.
"""

import random
from array import array

import pytest

import tessara
from conftest import cxt_bytes
from tessara import _lab


def both_contexts(rows, n_attributes):
    objects = [f"g{g}" for g in range(len(rows))]
    attributes = [f"a{m}" for m in range(n_attributes)]
    data = cxt_bytes(objects, attributes, rows)
    return tessara.parse_context(data), _lab.read_context(data, "upload.cxt")


def name_sets(context, words):
    return [tuple(names) for names in _lab.set_names(words, context.n_attributes, tuple(context.attributes()))]


@pytest.mark.parametrize("seed", range(12))
def test_canonical_base_equals_the_module_with_the_premise_taken_out_of_the_conclusion(seed):
    rng = random.Random(seed)
    n_objects, n_attributes = rng.randint(0, 9), rng.randint(1, 70)
    rows = [[rng.random() < 0.4 for _ in range(n_attributes)] for _ in range(n_objects)]
    module_context, lab_context = both_contexts(rows, n_attributes)
    expected = tessara.compute_implications(module_context)
    premises, conclusions, supports = _lab.implications(lab_context, 0, "canonical")
    found = list(zip(name_sets(lab_context, premises), name_sets(lab_context, conclusions),
                     array("Q", supports).tolist()))
    assert found == [(tuple(i["premise"]), tuple(m for m in i["conclusion"] if m not in i["premise"]), i["support"])
                     for i in expected]


def test_set_names_share_the_name_objects():
    _, lab_context = both_contexts([[1, 0, 1]], 3)
    names = tuple(lab_context.attributes())
    (both,) = _lab.set_names(array("Q", [0b101]).tobytes(), 3, names)
    assert both == ("a0", "a2") and both[0] is names[0] and both[1] is names[2]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda k, l: _lab.implications(k, 0, "minimal"), "unknown basis 'minimal'"),
        (lambda k, l: _lab.association_rules(l, "closed", 0.5, -1, b"", b"", b"", b""), "unknown basis 'closed'"),
        (lambda k, l: _lab.association_rules(l, "all", 1.5, -1, b"", b"", b"", b""), "min_confidence must lie in"),
        (lambda k, l: _lab.association_rules(l, "all", float("nan"), -1, b"", b"", b"", b""), "min_confidence"),
        (lambda k, l: _lab.stability_error_bound(0, 0.9), "samples must be at least 1"),
        (lambda k, l: _lab.stability_error_bound(10, 1.0), "confidence must lie in (0, 1)"),
    ],
)
def test_bad_values_are_refused_with_a_message(call, message):
    _, lab_context = both_contexts([[1, 0], [0, 1]], 2)
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        call(lab_context, _lab.compute_lattice(lab_context, "fcbo"))


def test_rule_constraints_name_attributes_by_index_within_range():
    _, lab_context = both_contexts([[1, 0], [0, 1]], 2)
    lattice = _lab.compute_lattice(lab_context, "fcbo")
    with pytest.raises(IndexError, match="premise_excludes"):
        _lab.association_rules(lattice, "all", 0.0, -1, b"", array("I", [2]).tobytes(), b"", b"")


def test_exact_stability_gives_up_beyond_its_budget_and_sampling_stays_within_its_bound():
    _, lab_context = both_contexts([[1, 0, 1], [0, 1, 1], [1, 1, 0], [1, 1, 1]], 3)
    lattice = _lab.compute_lattice(lab_context, "fcbo")
    assert _lab.exact_stability(lattice, 1) is None
    exact = array("d", _lab.exact_stability(lattice, 1 << 40))
    sampled = array("d", _lab.sampled_stability(lattice, 2000, 7))
    bound = _lab.stability_error_bound(2000, 1 - 1e-6)
    assert all(abs(s - e) <= bound for s, e in zip(sampled, exact))


def test_stability_refuses_an_iceberg_lattice():
    _, lab_context = both_contexts([[1, 0, 1], [0, 1, 1], [1, 1, 0], [1, 1, 1]], 3)
    iceberg = _lab.mine_lattice(lab_context, "fcbo", 2, 2**64 - 1, 1, None)
    for call in (lambda: _lab.exact_stability(iceberg, 100), lambda: _lab.delta_stability(iceberg)):
        with pytest.raises(ValueError, match="stability needs the whole lattice"):
            call()


def reference_set_names(sets, names):
    """Each set's members' names, read one set bit at a time (each distinct set once)."""
    seen = {}

    def members(bits):
        found = []
        for w, word in enumerate(bits):
            while word:
                low = word & -word
                found.append(names[64 * w + low.bit_length() - 1])
                word ^= low
        return tuple(found)

    for key in map(tuple, sets):
        if key not in seen:
            seen[key] = members(key)
    return [seen[tuple(bits)] for bits in sets]


# (attributes, sets, distinct sets among them): word boundaries, and columns long enough for equal sets to be
# shared or for mostly distinct ones to stop being looked up (past 2^17 sets).
SET_COLUMNS = [(0, 0, 1), (1, 40, 2), (63, 300, 20), (64, 300, 300), (65, 300, 7), (127, 200, 200), (128, 500, 3),
               (129, 200, 50), (24, 132_000, 900), (40, 132_000, 132_000)]


@pytest.mark.parametrize("n, count, distinct", SET_COLUMNS)
def test_set_names_equal_a_bitwise_reading_and_equal_sets_share_a_tuple(n, count, distinct):
    rng = random.Random(n * 1_000_003 + count)
    stride = (n + 63) // 64
    names = tuple(f"a{m}" for m in range(n))

    def random_set():
        bits = [rng.getrandbits(64) for _ in range(stride)]
        if n % 64:
            bits[-1] &= (1 << (n % 64)) - 1
        kind = rng.random()
        return [0] * stride if kind < 0.05 else [(1 << 64) - 1 >> (64 - min(64, n - 64 * w)) for w in range(stride)] \
            if kind < 0.1 else bits

    pool = [random_set() for _ in range(distinct)] if stride else [[]]
    sets = [pool[rng.randrange(len(pool))] for _ in range(count)] if stride else []
    words = array("Q", [word for bits in sets for word in bits]).tobytes()
    made = _lab.set_names(words, n, names)
    assert made == reference_set_names(sets, names)
    by_set = {}
    for bits, names_of in zip(sets, made):
        by_set.setdefault(tuple(bits), set()).add(id(names_of))
    # Within the sets the cache looks at, equal sets come back as one tuple.
    if count < (1 << 17):
        assert all(len(ids) == 1 for ids in by_set.values())
