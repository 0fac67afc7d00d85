"""tessara.lab.scale: each scale's attributes and crosses, the default choice, missing values, refusals, and the
lattices scales are known to give."""

import math

import numpy as np
import pytest

import tessara.lab as tl

pd = pytest.importorskip("pandas")


@pytest.fixture
def frame():
    return pd.DataFrame(
        {"size": [1.0, 2.5, 4.0, None], "colour": ["red", "blue", "red", None], "ok": [True, False, True, True]},
        index=["a", "b", "c", "d"],
    )


@pytest.mark.parametrize(
    ("scale", "names", "crosses"),
    [
        (tl.Ordinal(cuts=[2, 3]), ["size<=2", "size<=3"], [[1, 1], [0, 1], [0, 0], [0, 0]]),
        (tl.Ordinal(), ["size<=1", "size<=2.5"], [[1, 1], [0, 1], [0, 0], [0, 0]]),
        (tl.Ordinal(direction=">="), ["size>=2.5", "size>=4"], [[0, 0], [1, 0], [1, 1], [0, 0]]),
        (tl.Ordinal(quantiles=2), ["size<=2.5"], [[1], [1], [0], [0]]),
        (
            tl.Interordinal(),
            ["size<=1", "size<=2.5", "size>=2.5", "size>=4"],
            [[1, 1, 0, 0], [0, 1, 1, 0], [0, 0, 1, 1], [0, 0, 0, 0]],
        ),
        (tl.Interval(cuts=[1, 2, 4]), ["size in [1, 2)", "size in [2, 4]"], [[1, 0], [0, 1], [0, 1], [0, 0]]),
        (tl.Interval(cuts=[2, 3]), ["size in [2, 3]"], [[0], [1], [0], [0]]),
        (
            tl.Interval(bins=3),
            ["size in [1, 2)", "size in [2, 3)", "size in [3, 4]"],
            [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]],
        ),
        (tl.Interval(quantiles=2), ["size in [1, 2.5)", "size in [2.5, 4]"], [[1, 0], [0, 1], [0, 1], [0, 0]]),
        (tl.Nominal(), ["size=1", "size=2.5", "size=4"], [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]]),
        (tl.Nominal(values=[4, 1]), ["size=4", "size=1"], [[0, 1], [0, 0], [1, 0], [0, 0]]),
    ],
)
def test_each_scale_names_and_crosses_its_attributes(frame, scale, names, crosses):
    context = tl.scale(frame[["size"]], {"size": scale})
    assert context.objects == ("a", "b", "c", "d")
    assert list(context.attributes) == names
    assert context.incidence.astype(int).tolist() == crosses


def test_defaults_follow_the_column_kind_and_order(frame):
    frame["count"] = [3, 3, 7, 7]
    frame["kind"] = pd.Categorical(["z", "y", "z", "y"], categories=["z", "y"])
    context = tl.scale(frame, {"size": None})
    # text, bool, few numbers and categories are nominal (categories in their own order); None crosses nothing
    assert context.attributes == (
        ("colour=blue", "colour=red", "ok=False", "ok=True") + ("count=3", "count=7", "kind=z", "kind=y")
    )
    assert context.incidence[3].tolist() == [False, False, False, True, False, True, False, True]
    # many numbers are ordinal at the quartiles
    assert tl.scale(pd.DataFrame({"wide": np.arange(40)})).attributes == ("wide<=9.75", "wide<=19.5", "wide<=29.25")


def test_interordinal_concepts_are_the_intervals_of_values():
    values = [5, 1, 3, 3, 8, 2]
    distinct = len(set(values))
    lattice = tl.scale(pd.DataFrame({"v": values}), {"v": "interordinal"}).lattice()
    # every interval of the distinct values, and the empty set at the bottom
    assert len(lattice) == distinct * (distinct + 1) // 2 + 1
    for concept in lattice:
        members = sorted(values[int(g)] for g in concept.extent)
        assert not members or set(members) == {v for v in values if members[0] <= v <= members[-1]}


def test_scaling_refuses_unknown_columns_and_mismatched_scales(frame):
    with pytest.raises(KeyError, match="no column named 'weight'"):
        tl.scale(frame, {"weight": "nominal"})
    with pytest.raises(TypeError, match="column 'colour' holds .* values; only numeric"):
        tl.scale(frame, {"colour": tl.Ordinal(cuts=[1])})
    with pytest.raises(ValueError, match="increasing order"):
        tl.scale(frame, {"size": tl.Interval(cuts=[3, 1])})
    with pytest.raises(ValueError, match="unknown scale 'logarithmic'"):
        tl.scale(frame, {"size": "logarithmic"})
    with pytest.raises(TypeError, match="not a Scale"):
        tl.scale(frame, {"size": 3})
    with pytest.raises(ValueError, match="give cuts or quantiles"):
        tl.Ordinal(cuts=[1], quantiles=2)
    with pytest.raises(ValueError, match="bins must be at least 1, got 0"):
        tl.Interval(bins=0)
    with pytest.raises(TypeError, match="DataFrame"):
        tl.scale(frame.to_numpy())


def test_nullable_and_integer_columns_compare_as_numbers():
    frame = pd.DataFrame({"n": pd.array([1, None, 3], dtype="Int64"), "f": [math.inf, 0.5, -1.0]})
    context = tl.scale(frame, {"n": tl.Ordinal(cuts=[2]), "f": tl.Ordinal(cuts=[0], direction=">=")})
    assert context.attributes == ("n<=2", "f>=0")
    assert context.incidence.astype(int).tolist() == [[1, 1], [0, 1], [0, 0]]
