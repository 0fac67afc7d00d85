"""tessara.lab.Context: construction and its refusals, pandas in and out, derivation against numpy, name look-ups,
new contexts (select, transpose, clarify, reduce) and the notebook view."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tessara
import tessara.lab as tl
from conftest import cxt_bytes
from lab_shapes import shaped_contexts

pd = pytest.importorskip("pandas")


@pytest.fixture
def animals():
    return tl.Context(
        ["duck", "dog", "cat", "eagle"],
        ["flies", "barks", "legs", "feathers"],
        [[1, 0, 1, 1], [0, 1, 1, 0], [0, 0, 1, 0], [1, 0, 1, 1]],
    )


@pytest.mark.parametrize(
    ("objects", "attributes", "incidence", "error", "words"),
    [
        (["a", "b"], ["x"], [[1], [0], [1]], ValueError, "shape (3, 1), expected (2, 1)"),
        (["a"], ["x", "y"], [1, 0], ValueError, "shape (2,), expected (1, 2)"),
        (["a", "b"], ["x", "y"], [[1, 0], [1]], ValueError, "not a rectangular"),
        (["a", "b"], ["x"], [[1], [2]], ValueError, "incidence[1, 0] is 2"),
        (["a", "b"], ["x"], [[1.0], [float("nan")]], ValueError, "incidence[1, 0] is nan"),
        (["a"], ["x", "y"], [[True, None]], ValueError, "incidence[0, 1] is None"),
        (["a"], ["x"], [["yes"]], TypeError, "dtype <U3"),
        (["a"], ["x"], [[1 + 0j]], TypeError, "complex"),
        (["a", 2], ["x"], [[1], [0]], TypeError, "objects[1] is int"),
        ("ab", ["x"], [[1], [0]], TypeError, "not a single str"),
        (["a"], None, [[1]], TypeError, "attributes must be a sequence of str"),
    ],
)
def test_bad_construction_is_refused_with_a_clear_message(objects, attributes, incidence, error, words):
    with pytest.raises(error, match=None) as raised:
        tl.Context(objects, attributes, incidence)
    assert words in str(raised.value)


def test_construction_takes_bool_ints_floats_and_objects_alike():
    expected = np.array([[True, False], [False, True]])
    for incidence in (expected, expected.astype(np.uint8), expected.astype(float), expected.astype(object).tolist()):
        context = tl.Context(["a", "b"], ["x", "y"], incidence)
        assert np.array_equal(context.incidence, expected)
    assert not context.incidence.flags.writeable
    assert tl.Context([], [], []).shape == (0, 0)
    assert tl.Context(["a", "b"], [], []).incidence.shape == (2, 0)


def test_pandas_round_trip_and_refusal():
    frame = pd.DataFrame({"x": [True, False], "y": [1, 1]}, index=["a", "b"])
    context = tl.Context.from_pandas(frame)
    assert (context.objects, context.attributes) == (("a", "b"), ("x", "y"))
    back = context.to_pandas()
    assert back.equals(pd.DataFrame({"x": [True, False], "y": [True, True]}, index=["a", "b"]))
    back.iloc[0, 0] = False  # the frame is the caller's own copy
    assert context.incidence[0, 0]
    numbered = tl.Context.from_pandas(pd.DataFrame([[1, 0]], columns=[10, 20]))
    assert (numbered.objects, numbered.attributes) == (("0",), ("10", "20"))
    with pytest.raises(ValueError, match=r"incidence\[1, 0\] is nan"):
        tl.Context.from_pandas(pd.DataFrame({"x": [1.0, None]}))
    with pytest.raises(TypeError, match="DataFrame"):
        tl.Context.from_pandas(frame.to_numpy())


def test_derivation_agrees_with_numpy_on_every_shape():
    rng = np.random.default_rng(5)
    for objects, attributes, matrix in shaped_contexts(seed=11, rounds=6):
        context = tl.Context(objects, attributes, matrix)
        assert np.array_equal(context.incidence, matrix)
        for _ in range(5):
            chosen = np.flatnonzero(rng.random(len(attributes)) < 0.3)
            extent = np.flatnonzero(matrix[:, chosen].all(axis=1))
            intent = np.flatnonzero(matrix[extent].all(axis=0))
            assert context.extent([attributes[m] for m in chosen]) == tuple(objects[g] for g in extent)
            assert context.closure(chosen) == tuple(attributes[m] for m in intent)
            assert np.array_equal(context.intent_indices(extent), intent)


@settings(max_examples=60, deadline=None)
@given(
    st.integers(0, 70).flatmap(
        lambda n: st.tuples(
            st.lists(st.lists(st.booleans(), min_size=n, max_size=n), max_size=12),
            st.sets(st.integers(0, max(n - 1, 0)), max_size=n),
            st.sets(st.integers(0, max(n - 1, 0)), max_size=n),
            st.just(n),
        )
    )
)
def test_closure_is_extensive_monotone_and_idempotent(case):
    rows, smaller, extra, n_attributes = case
    matrix = np.array(rows, dtype=bool).reshape(len(rows), n_attributes)
    context = tl.Context([f"g{i}" for i in range(len(rows))], [f"m{j}" for j in range(n_attributes)], matrix)
    smaller = sorted(smaller)
    larger = sorted(set(smaller) | extra)
    closed = set(context.closure(smaller))
    assert {f"m{j}" for j in smaller} <= closed
    assert closed <= set(context.closure(larger))
    assert set(context.closure(sorted(closed))) == closed


def test_look_ups_take_names_positions_and_masks_and_name_the_unknown(animals):
    assert animals.extent("flies") == ("duck", "eagle")
    assert animals.extent([0, -1]) == ("duck", "eagle")
    assert animals.intent(np.array([True, False, False, True])) == ("flies", "legs", "feathers")
    assert animals.extent([]) == animals.objects
    with pytest.raises(KeyError, match="no attribute named 'swims'"):
        animals.extent(["legs", "swims"])
    with pytest.raises(KeyError, match="no object named 'cow'"):
        animals.intent(["cow"])
    with pytest.raises(IndexError, match="attribute position 4 out of range"):
        animals.closure([4])
    with pytest.raises(TypeError, match="neither a name"):
        animals.extent([1.5])


def test_duplicate_names_are_allowed_and_ambiguous_look_ups_say_so():
    context = tl.Context(["a", "a", "b"], ["x", "y", "x"], [[1, 0, 0], [0, 1, 1], [1, 1, 1]])
    assert context.objects == ("a", "a", "b")
    with pytest.raises(ValueError, match="the attribute name 'x' is ambiguous: attributes 0, 2"):
        context.extent(["x"])
    with pytest.raises(ValueError, match="object name 'a' is ambiguous"):
        context.select(objects=["a"])
    assert context.extent([2]) == ("a", "b")
    assert context.lattice().attribute_concept(1).extent == ("a", "b")


def test_select_and_transpose_index_like_numpy(animals):
    chosen = animals.select(["eagle", "dog"], [2, "flies"])
    assert (chosen.objects, chosen.attributes) == (("eagle", "dog"), ("legs", "flies"))
    assert np.array_equal(chosen.incidence, animals.incidence[[3, 1]][:, [2, 0]])
    assert animals.select() == animals
    assert animals.select(attributes=[]).shape == (4, 0)
    dual = animals.transpose()
    assert (dual.objects, dual.attributes) == (animals.attributes, animals.objects)
    assert np.array_equal(dual.incidence, animals.incidence.T)
    assert dual.transpose() == animals
    assert hash(dual.transpose()) == hash(animals)


def concept_count(context):
    data = cxt_bytes(context.objects, context.attributes, context.incidence.tolist())
    return len(tessara.compute_concepts(tessara.parse_context(data)))


def test_clarify_and_reduce_keep_the_lattice_and_drop_the_right_elements(animals):
    # duck and eagle share a row, flies and feathers a column; cat's row {legs} is the intersection of the
    # others, and legs, everyone's, the intersection of no column.
    clarified = animals.clarify()
    assert (clarified.objects, clarified.attributes) == (("duck", "dog", "cat"), ("flies", "barks", "legs"))
    reduced = animals.reduce()
    assert (reduced.objects, reduced.attributes) == (("duck", "dog"), ("flies", "barks"))
    for objects, attributes, matrix in shaped_contexts(seed=3, rounds=2):
        context = tl.Context(objects, attributes, matrix)
        if 0 < len(objects) < 40 and 0 < len(attributes) < 40:
            assert concept_count(context.reduce()) == concept_count(context) == concept_count(context.clarify())


def test_repr_and_notebook_table_show_what_fits():
    small = tl.Context(["<a>"], ["x&y"], [[1]])
    assert repr(small) == "Context(objects=1, attributes=1)"
    assert "<th>&lt;a&gt;</th><td>×</td>" in small._repr_html_()
    assert "x&amp;y" in small._repr_html_()
    wide = tl.Context([f"g{i}" for i in range(40)], [f"m{j}" for j in range(35)], np.eye(40, 35, dtype=bool))
    page = wide._repr_html_()
    assert "(10 objects and 5 attributes not shown)" in page
    assert "g29" in page and "g30" not in page and "m29" in page and "m30" not in page
