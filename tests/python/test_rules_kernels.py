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
