"""Lattice structure in tessara.lab: irreducibles, arrow relations, the standard context, the lattice laws and
their witnesses, and the lattices inside a lattice, each against its definition by brute force on small contexts
(meet and join tables from the extents, every pair and triple), and on the classic small lattices."""

import itertools

import numpy as np
import pytest

import tessara.lab as tl
from conftest import interrupt_child
from lab_shapes import names, random_incidence, shaped_contexts

# -- brute force on the extents of a lattice ---------------------------------------------------------------------


class Brute:
    """Order, meet, join and covers of a lattice from its concepts' extents, by definition."""

    def __init__(self, lattice):
        n_objects = lattice.context.shape[0]
        n = len(lattice)
        extents = np.zeros((n, n_objects), dtype=bool)
        for i, concept in enumerate(lattice):
            extents[i, concept.extent_indices] = True
        self.n = n
        self.leq = (extents[:, None, :] <= extents[None, :, :]).all(axis=2)
        sizes = extents.sum(axis=1)
        upper_bounds = self.leq[:, None, :] & self.leq[None, :, :]  # [a, b, c]: c above a and b
        lower_bounds = self.leq.T[:, None, :] & self.leq.T[None, :, :]
        self.join = np.where(upper_bounds, sizes, n_objects + 1).argmin(axis=2)
        self.meet = np.where(lower_bounds, sizes, -1).argmax(axis=2)
        strict = self.leq & ~np.eye(n, dtype=bool)
        self.covers = strict & ~((strict.astype(np.int64) @ strict.astype(np.int64)) > 0)  # [lower, upper]
        self.bottom = int(sizes.argmin())

    def join_all(self, elements):
        result = self.bottom
        for x in elements:
            result = self.join[result, x]
        return int(result)

    def join_irreducibles(self):
        below = self.leq & ~np.eye(self.n, dtype=bool)
        return [x for x in range(self.n) if x != self.join_all(np.flatnonzero(below[:, x]))]

    def meet_irreducibles(self):
        top = int(np.flatnonzero(self.leq.all(axis=0))[0])
        found = []
        for x in range(self.n):
            result = top
            for y in np.flatnonzero(self.leq[x] & (np.arange(self.n) != x)):
                result = self.meet[result, y]
            if result != x:
                found.append(x)
        return found

    def distributive(self):
        x, y, z = np.ix_(range(self.n), range(self.n), range(self.n))
        return bool((self.meet[x, self.join[y, z]] == self.join[self.meet[x, y], self.meet[x, z]]).all())

    def modular(self):
        x, y, z = np.ix_(range(self.n), range(self.n), range(self.n))
        law = self.join[x, self.meet[y, z]] == self.meet[self.join[x, y], z]
        return bool((law | ~self.leq[x, z]).all())

    def semimodular_failures(self, lower):
        """Pairs (a, b) breaking the law: upper, a ∧ b ≺ a but not b ≺ a ∨ b; lower, the dual."""
        failures = set()
        for a, b in itertools.product(range(self.n), repeat=2):
            meet, join = self.meet[a, b], self.join[a, b]
            if not lower and self.covers[meet, a] and not self.covers[b, join]:
                failures.add((a, b))
            if lower and self.covers[b, join] and not self.covers[meet, a]:
                failures.add((a, b))
        return failures

    def atomic(self):
        atoms = np.flatnonzero(self.covers[self.bottom])
        return all(self.join_all([a for a in atoms if self.leq[a, x]]) == x for x in range(self.n))

    def sublattice_closure(self, generators):
        members = set(generators)
        while True:
            more = {int(f[a, b]) for a in members for b in members for f in (self.meet, self.join)}
            if more <= members:
                return members
            members |= more


def extent_set(concept):
    return frozenset(concept.extent_indices.tolist())


def assert_part(part, lattice, expected):
    """The part holds exactly the expected concepts of the lattice (by extent), with its own cover relation."""
    extents = [extent_set(lattice[i]) for i in sorted(expected)]
    assert [extent_set(c) for c in part] == extents
    assert [c.intent for c in part] == [lattice[i].intent for i in sorted(expected)]
    brute = Brute(part)
    assert sorted(map(tuple, part.edges.tolist())) == sorted(zip(*np.nonzero(brute.covers)))


# -- the witness breaks its law -------------------------------------------------------------------------------------


def assert_pentagon(brute, witness):
    bottom, low, high, side, top = witness
    assert low != high and brute.leq[low, high]
    assert not brute.leq[side, high] and not brute.leq[low, side]
    assert brute.meet[low, side] == brute.meet[high, side] == bottom
    assert brute.join[low, side] == brute.join[high, side] == top


def assert_diamond(brute, witness):
    bottom, a, b, c, top = witness
    assert len({a, b, c}) == 3
    for x, y in [(a, b), (a, c), (b, c)]:
        assert brute.meet[x, y] == bottom and brute.join[x, y] == top


def assert_verdict(verdict, holds, brute, law):
    assert bool(verdict) is holds
    assert verdict.holds is holds
    if holds:
        assert verdict.kind is None and verdict.witness == () and verdict.reason == ""
        return
    indices = [c.index for c in verdict.witness]
    assert verdict.reason
    if verdict.kind == "N5":
        assert_pentagon(brute, indices)
    elif verdict.kind == "M3":
        assert law == "distributive"
        assert_diamond(brute, indices)
    elif verdict.kind == "pair":
        a, b = indices
        meet, join = brute.meet[a, b], brute.join[a, b]
        near, far = (brute.covers[meet, a] and brute.covers[meet, b]), (brute.covers[a, join] and brute.covers[b, join])
        assert (near and not far) if law == "upper semimodular" else (far and not near)
        assert {(a, b), (b, a)} & brute.semimodular_failures(lower=law == "lower semimodular")
    else:
        assert law == "atomic" and verdict.kind == "concept"
        (x,) = indices
        assert x in brute.join_irreducibles() and not brute.covers[brute.bottom, x]


def check_structure(lattice):
    brute = Brute(lattice)
    assert [c.index for c in lattice.join_irreducibles()] == brute.join_irreducibles()
    assert [c.index for c in lattice.meet_irreducibles()] == brute.meet_irreducibles()
    modular = brute.modular()
    upper = not brute.semimodular_failures(lower=False)
    lower = not brute.semimodular_failures(lower=True)
    assert modular == (upper and lower)
    assert_verdict(lattice.is_distributive(), brute.distributive(), brute, "distributive")
    assert_verdict(lattice.is_modular(), modular, brute, "modular")
    assert_verdict(lattice.is_semimodular(), upper, brute, "upper semimodular")
    assert_verdict(lattice.is_semimodular(lower=True), lower, brute, "lower semimodular")
    assert_verdict(lattice.is_atomic(), brute.atomic(), brute, "atomic")
    return brute


# -- random contexts ------------------------------------------------------------------------------------------------


def small_contexts(seed, count):
    """Random contexts up to 10 × 8, with empty, full and repeated rows and columns."""
    rng = np.random.default_rng(seed)
    for _ in range(count):
        n_objects, n_attributes = int(rng.integers(0, 11)), int(rng.integers(0, 9))
        matrix = random_incidence(rng, n_objects, n_attributes)
        yield tl.Context(names("g", n_objects), names("m", n_attributes), matrix)


def down_set_contexts(seed, count):
    """(P, P, ≱) for random posets P: their concept lattices are the down-set lattices, all distributive."""
    rng = np.random.default_rng(seed)
    for _ in range(count):
        n = int(rng.integers(1, 8))
        below = np.triu(rng.random((n, n)) < 0.3, 1) | np.eye(n, dtype=bool)
        for _ in range(n):  # transitive closure
            below = below | ((below.astype(int) @ below.astype(int)) > 0)
        yield tl.Context(names("p", n), names("q", n), ~below.T)


@pytest.mark.parametrize("family", ["random", "down-sets"])
def test_irreducibles_and_laws_match_their_definitions(family):
    contexts = small_contexts(7, 150) if family == "random" else down_set_contexts(8, 40)
    seen = set()
    for context in contexts:
        lattice = context.lattice()
        check_structure(lattice)
        seen.add(bool(lattice.is_distributive()))
        seen.add(("modular", bool(lattice.is_modular())))
    assert seen >= {True, False} if family == "random" else seen >= {True}


def test_arrows_and_standard_context_match_their_definitions():
    checked = 0
    randoms = ((c.objects, c.attributes, c.incidence) for c in small_contexts(22, 60))
    for objects, attributes, matrix in itertools.chain(shaped_contexts(seed=21, rounds=2), randoms):
        context = tl.Context(objects, attributes, matrix)
        rows = [frozenset(np.flatnonzero(row).tolist()) for row in matrix]
        columns = [frozenset(np.flatnonzero(column).tolist()) for column in matrix.T]
        n_objects, n_attributes = matrix.shape
        down = np.zeros(matrix.shape, dtype=bool)
        up = np.zeros(matrix.shape, dtype=bool)
        for g, m in itertools.product(range(n_objects), range(n_attributes)):
            if matrix[g, m]:
                continue
            down[g, m] = all(m in rows[h] for h in range(n_objects) if rows[g] < rows[h])
            up[g, m] = all(g in columns[n] for n in range(n_attributes) if columns[m] < columns[n])
        arrows = context.arrows()
        assert np.array_equal(arrows.down, down) and np.array_equal(arrows.up, up)
        assert np.array_equal(arrows.double, down & up)
        # The standard context: join-irreducible object concepts against meet-irreducible attribute concepts.
        standard = context.standard_context()
        if n_objects and n_attributes:
            lattice = context.lattice()
            joins = {c.index for c in lattice.join_irreducibles()}
            meets = {c.index for c in lattice.meet_irreducibles()}
            first_object = {}
            for g in range(n_objects):
                first_object.setdefault(lattice.object_concept(g).index, objects[g])
            first_attribute = {}
            for m in range(n_attributes):
                first_attribute.setdefault(lattice.attribute_concept(m).index, attributes[m])
            assert standard.objects == tuple(name for i, name in first_object.items() if i in joins)
            assert standard.attributes == tuple(name for i, name in first_attribute.items() if i in meets)
            expected = [[lattice.object_concept(g) <= lattice.attribute_concept(m) for m in standard.attributes]
                        for g in standard.objects]
            assert standard.incidence.tolist() == expected
            # An object has a down arrow exactly when its object concept is join-irreducible.
            assert {lattice.object_concept(g).index for g in range(n_objects) if down[g].any()} == joins
            assert {lattice.attribute_concept(m).index for m in range(n_attributes) if up[:, m].any()} == meets
        checked += 1
    assert checked > 80


def test_intervals_filters_ideals_and_sublattices_match_brute_force():
    rng = np.random.default_rng(5)
    for context in small_contexts(9, 60):
        lattice = context.lattice()
        brute = Brute(lattice)
        n = len(lattice)
        for _ in range(3):
            a, b = (int(i) for i in rng.integers(0, n, 2))
            assert_part(lattice.filter(a), lattice, np.flatnonzero(brute.leq[a]))
            assert_part(lattice.ideal(b), lattice, np.flatnonzero(brute.leq[:, b]))
            if brute.leq[a, b]:
                part = lattice.interval(lattice[a], lattice[b])
                assert_part(part, lattice, np.flatnonzero(brute.leq[a] & brute.leq[:, b]))
                check_structure(part)
            generators = [int(i) for i in rng.integers(0, n, int(rng.integers(1, 4)))]
            part = lattice.sublattice(generators)
            assert_part(part, lattice, brute.sublattice_closure(generators))
            sub = check_structure(part)
            assert part.bottom == part[sub.bottom]


# -- classic lattices ---------------------------------------------------------------------------------------------

IDENTITY = np.eye(3, dtype=bool)
FOUR_POINTS = [[p in line for line in itertools.combinations(range(4), 2)] for p in range(4)]

# name: (incidence, concepts, (distributive, modular, upper semimodular, lower semimodular, atomic), |J|, |M|)
CLASSIC = {
    "one concept": ([[1]], 1, (True, True, True, True, True), 0, 0),
    "chain of four": ([[1, 0, 0, 0], [1, 1, 0, 0], [1, 1, 1, 0]], 4, (True, True, True, True, False), 3, 3),
    "Boolean B2": ([[1, 0], [0, 1]], 4, (True, True, True, True, True), 2, 2),
    "Boolean B3": (~IDENTITY, 8, (True, True, True, True, True), 3, 3),
    "diamond M3": (IDENTITY, 5, (False, True, True, True, True), 3, 3),
    "diamond M4": (np.eye(4, dtype=bool), 6, (False, True, True, True, True), 4, 4),
    "pentagon N5": ([[1, 1, 0], [0, 1, 0], [0, 0, 1]], 5, (False, False, False, False, False), 3, 3),
    "four points in a plane": (FOUR_POINTS, 12, (False, False, True, False, True), 4, 6),
    "its dual": (np.array(FOUR_POINTS).T, 12, (False, False, False, True, True), 6, 4),
}


@pytest.mark.parametrize("name", CLASSIC)
def test_classic_lattices(name):
    incidence, size, laws, n_join, n_meet = CLASSIC[name]
    matrix = np.array(incidence, dtype=bool)
    lattice = tl.Context(names("g", matrix.shape[0]), names("m", matrix.shape[1]), matrix).lattice()
    assert len(lattice) == size
    answers = (lattice.is_distributive(), lattice.is_modular(), lattice.is_semimodular(),
               lattice.is_semimodular(lower=True), lattice.is_atomic())
    assert tuple(bool(answer) for answer in answers) == laws
    assert (len(lattice.join_irreducibles()), len(lattice.meet_irreducibles())) == (n_join, n_meet)
    check_structure(lattice)


FANO = [[bin(p & q).count("1") % 2 == 0 for q in range(1, 8)] for p in range(1, 8)]  # p on line q: p·q = 0 in F2
CLASSIC["subspaces of F2^3 (Fano plane)"] = (FANO, 16, (False, True, True, True, True), 7, 7)


def direct_sum(first, second):
    """The context whose concept lattice is the product of the two contexts' lattices (Ganter and Wille's direct
    sum: each object of one side has every attribute of the other side)."""
    a, b = np.array(first, dtype=bool), np.array(second, dtype=bool)
    return np.block([[a, np.ones((a.shape[0], b.shape[1]), dtype=bool)],
                     [np.ones((b.shape[0], a.shape[1]), dtype=bool), b]])


PIECES = ["chain of four", "Boolean B2", "diamond M3", "pentagon N5", "subspaces of F2^3 (Fano plane)"]


@pytest.mark.parametrize("first, second", [(a, b) for a, b in itertools.combinations_with_replacement(PIECES, 2)
                                           if CLASSIC[a][1] * CLASSIC[b][1] <= 80])
def test_products_of_classic_lattices(first, second):
    matrix = direct_sum(CLASSIC[first][0], CLASSIC[second][0])
    lattice = tl.Context(names("g", matrix.shape[0]), names("m", matrix.shape[1]), matrix).lattice()
    assert len(lattice) == CLASSIC[first][1] * CLASSIC[second][1]
    laws = [x and y for x, y in zip(CLASSIC[first][2][:4], CLASSIC[second][2][:4])]
    answers = (lattice.is_distributive(), lattice.is_modular(), lattice.is_semimodular(),
               lattice.is_semimodular(lower=True))
    assert [bool(answer) for answer in answers] == laws
    check_structure(lattice)


def test_witness_kinds_and_reasons():
    n5 = tl.Context(names("g", 3), names("m", 3), [[1, 1, 0], [0, 1, 0], [0, 0, 1]]).lattice()
    verdict = n5.is_distributive()
    assert verdict.kind == "N5" and verdict.law == "distributive"
    assert repr(verdict).startswith("Verdict(not distributive: pentagon N5 (#")
    assert repr(n5.is_semimodular(lower=True)).startswith("Verdict(not lower semimodular: #")
    m3 = tl.Context(names("g", 3), names("m", 3), IDENTITY).lattice()
    assert m3.is_distributive().kind == "M3"
    assert repr(m3.is_modular()) == "Verdict(modular: holds)"
    assert all(c.lattice is m3 for c in m3.is_distributive().witness)


# -- refusals -----------------------------------------------------------------------------------------------------


def iceberg():
    rng = np.random.default_rng(3)
    context = tl.Context(names("g", 20), names("m", 6), rng.random((20, 6)) < 0.5)
    lattice = context.lattice(min_support=3)
    assert lattice.bottom is None
    return lattice


@pytest.mark.parametrize("ask, question", [
    (lambda L: L.join_irreducibles(), "finding its irreducible concepts"),
    (lambda L: L.meet_irreducibles(), "finding its irreducible concepts"),
    (lambda L: L.is_distributive(), "testing whether it is distributive"),
    (lambda L: L.is_modular(), "testing whether it is modular"),
    (lambda L: L.is_semimodular(), "testing whether it is upper semimodular"),
    (lambda L: L.is_semimodular(lower=True), "testing whether it is lower semimodular"),
    (lambda L: L.is_atomic(), "testing whether it is atomic"),
    (lambda L: L.ideal(0), "taking an ideal"),
    (lambda L: L.sublattice([0, 1]), "generating a sublattice"),
])
def test_iceberg_lattices_are_refused_with_a_reason(ask, question):
    with pytest.raises(ValueError, match=f"^{question} needs a lattice, and this iceberg lattice is not one: it holds "
                                         r"only the frequent concepts \(min_support\), without the bottom concept"):
        ask(iceberg())


def test_an_iceberg_lattice_has_intervals_and_filters():
    lattice = iceberg()
    concept = lattice[len(lattice) - 1]
    part = lattice.filter(concept)
    assert [extent_set(c) for c in part] == [extent_set(c) for c in lattice if extent_set(concept) <= extent_set(c)]
    check_structure(part)
    assert part.bottom.extent == concept.extent and part.top.extent == lattice.top.extent
    assert [c.intent for c in lattice.interval(concept, lattice.top)] == [c.intent for c in part]


@pytest.mark.parametrize("ask, error, message", [
    (lambda L: L.interval(L.top, L.bottom), ValueError, r"^the interval is empty: Concept\(#\d+, .*\) does not lie"),
    (lambda L: L.sublattice([]), ValueError, r"^the sublattice needs at least one concept"),
    (lambda L: L.sublattice(0), TypeError, r"^concepts must be an iterable"),
    (lambda L: L.filter(99), IndexError, r"^concept index 99 out of range for 5 concepts"),
    (lambda L: L.ideal(tl.Context(["g"], ["m"], [[1]]).lattice().top), ValueError, r"belongs to another lattice"),
])
def test_bad_arguments(ask, error, message):
    lattice = tl.Context(names("g", 3), names("m", 3), IDENTITY).lattice()
    with pytest.raises(error, match=message):
        ask(lattice)


def test_arrows_table():
    context = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
    table = context.arrows().to_pandas()
    assert table.to_dict("index") == {
        "g1": {"a": "×", "b": "×", "c": "↕"},
        "g2": {"a": "↕", "b": "×", "c": "×"},
        "g3": {"a": "↗", "b": "×", "c": "↗"},
    }
    arrows = context.arrows()
    assert not arrows.up.flags.writeable and not arrows.double.flags.writeable


ARROWS_CHILD = """
import numpy as np
import tessara.lab as tl
rng = np.random.default_rng(1)
incidence = rng.integers(0, 2, (30000, 1500), dtype=np.int8).astype(bool)
context = tl.Context([f"g{i}" for i in range(30000)], [f"m{j}" for j in range(1500)], incidence)
print("ready", flush=True)
try:
    context.arrows()
    print("finished")
except KeyboardInterrupt:
    print("interrupted")
"""


def test_ctrl_c_stops_the_arrows():
    out, err, elapsed = interrupt_child(ARROWS_CHILD)
    assert out.split() == ["interrupted"], (out, err)
    assert elapsed < 5, elapsed
