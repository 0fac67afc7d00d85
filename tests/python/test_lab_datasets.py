"""The bundled datasets: each loads with its known size, equal to the original file, and bad names are refused."""

import pytest

import tessara.lab as tl
from conftest import DATA

pd = pytest.importorskip("pandas")

CONTEXTS = [
    # name, the original in tests/data (None: written for the package), shape, concepts
    ("animals", "animals_en.cxt", (35, 11), 35),
    ("liveinwater", "liveinwater.csv", (8, 9), 19),
    ("planets", None, (9, 7), 12),
    ("seasoningplanner", "seasoningplanner_de.cxt", (56, 37), 532),
    ("tealady", "tealady.cxt", (18, 14), 65),
]


def test_names_are_the_bundled_contexts_in_order():
    assert tl.datasets.names() == tuple(name for name, *_ in CONTEXTS)


@pytest.mark.parametrize("name, original, shape, n_concepts", CONTEXTS)
def test_each_context_loads_whole(name, original, shape, n_concepts):
    context = tl.datasets.load(name)
    assert context.shape == shape
    assert len(context.lattice()) == n_concepts
    if original is not None:
        assert context == tl.read(DATA / original)


def test_planets_hold_the_textbook_facts():
    planets = tl.datasets.load("planets")
    assert planets.extent(["small", "near"]) == ("Mercury", "Venus", "Earth", "Mars")
    assert planets.extent(["no moon"]) == ("Mercury", "Venus")
    assert planets.extent(["medium"]) == ("Uranus", "Neptune")
    assert planets.intent(["Pluto"]) == ("small", "far", "moon")
    # Every planet has one size, one distance and one answer about moons.
    assert (planets.incidence.sum(axis=1) == 3).all()


@pytest.mark.parametrize("name, error", [
    ("mushroom", ValueError), ("Planets", ValueError), ("", ValueError), (None, TypeError), (3, TypeError),
])
def test_unknown_names_are_refused_with_the_list(name, error):
    with pytest.raises(error) as raised:
        tl.datasets.load(name)
    if error is ValueError:
        listed = "animals, liveinwater, planets, seasoningplanner, tealady"
        assert str(raised.value) == f"no bundled dataset named {name!r}: expected one of {listed}"


def test_mushroom_is_the_classic_benchmark_once_scaled():
    frame = tl.datasets.load_mushroom()
    assert frame.shape == (8124, 23)
    assert frame.columns[0] == "edibility" and frame.columns[-1] == "habitat"
    assert all(isinstance(dtype, pd.CategoricalDtype) for dtype in frame.dtypes)
    assert frame.isna().sum().to_dict() == {column: 2480 if column == "stalk-root" else 0 for column in frame.columns}
    assert tl.scale(frame).shape == (8124, 118)
    frame["stalk-root"] = frame["stalk-root"].cat.add_categories("?").fillna("?")
    context = tl.scale(frame, {column: "nominal" for column in frame.columns})
    assert context.shape == (8124, 119)
    assert sum(1 for _ in context.iter_concepts()) == 238_710


def test_adult_is_the_census_table_with_missing_values():
    frame = tl.datasets.load_adult()
    assert frame.shape == (32561, 15)
    numeric = ["age", "fnlwgt", "education-num", "capital-gain", "capital-loss", "hours-per-week"]
    assert [column for column in frame.columns if frame[column].dtype == "int64"] == numeric
    assert frame.isna().any(axis=1).sum() == 2399
    assert frame.isna().sum()[lambda counts: counts > 0].to_dict() == {
        "workclass": 1836, "occupation": 1843, "native-country": 583
    }
    first = frame.iloc[0]
    assert (first["age"], first["education"], first["income"]) == (39, "Bachelors", "<=50K")
    assert frame["income"].value_counts().to_dict() == {"<=50K": 24720, ">50K": 7841}
