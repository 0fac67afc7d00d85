"""tessara.lab diagrams: the label rules, every export parsing in its own format's parser, bad input, the switch to
count labels on big lattices, and the layered layout's crossings against the `tessara` module's layout."""

import json
import shutil
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path

import numpy as np
import pytest

import tessara.lab as tl
from tessara import _lab

ROOT = Path(__file__).resolve().parents[2]
FILES = ["examples/data/animals.cxt", "tests/data/liveinwater.csv", "tests/data/tealady.cxt"]
BIG = "tests/data/seasoningplanner_de.cxt"  # 532 concepts
ISOLATES = str.maketrans("", "", "\u2068\u2069")

# Names every format has to escape, right-to-left ones among them.
OBJECTS = ["<b>&amp;</b>", "say \"hi\" & 'bye'", "]]></script><x>", "שלום עולם", "back\\slash"]
ATTRIBUTES = ["100% _#$ {x}", "~^ \\textbf", "مرحبا", "a--b ``q''", "<|>"]


def lattice_of(path):
    return tl.read(ROOT / path).lattice()


def hostile_lattice():
    matrix = np.array([[1, 0, 0, 1, 0], [1, 1, 0, 0, 0], [0, 1, 1, 0, 1], [0, 0, 1, 1, 0], [1, 0, 1, 0, 1]], dtype=bool)
    return tl.Context(OBJECTS, ATTRIBUTES, matrix).lattice()


def validate(doc):
    """Checks a JSON export against the schema shipped in the package (when jsonschema is installed)."""
    jsonschema = pytest.importorskip("jsonschema")
    schema = json.loads((Path(tl.__file__).parent / "diagram.schema.json").read_text(encoding="utf-8"))
    jsonschema.validate(doc, schema, cls=jsonschema.Draft202012Validator)


def label_names(label):
    """The names a label writes: its lines joined, split at ", ", the "+N more" left off."""
    text = " ".join(label["lines"]).translate(ISOLATES)
    if label["hidden"]:
        text = text[: text.rfind(", +" if label["shown"] else "+")]
    return text.split(", ") if text else []


def overlap(a, b):
    return a["left"] < b["right"] and b["left"] < a["right"] and a["top"] < b["bottom"] and b["top"] < a["bottom"]


def check_boxes(doc):
    """No label overlaps another label or a circle, and every label and the caption lie inside the picture."""
    circles = [{"left": n["x"] - n["radius"], "right": n["x"] + n["radius"],
                "top": n["y"] - n["radius"], "bottom": n["y"] + n["radius"]} for n in doc["nodes"]]
    boxes = [label["box"] for label in doc["labels_placed"]]
    for i, box in enumerate(boxes):
        assert 0 <= box["left"] and box["right"] <= doc["width"] and 0 <= box["top"] and box["bottom"] <= doc["height"]
        assert not any(overlap(box, circle) for circle in circles)
        assert not any(overlap(box, other) for other in boxes[i + 1:])
    for circle in circles:
        assert 0 <= circle["left"] and circle["right"] <= doc["width"]
        assert 0 <= circle["top"] and circle["bottom"] <= doc["height"]


@pytest.mark.parametrize("layout", ["layered", "additive"])
@pytest.mark.parametrize("path", FILES)
def test_reduced_labels_name_everything_once_apart_and_inside(path, layout):
    lattice = lattice_of(path)
    d = lattice.draw(layout=layout)
    assert (d.labels, d.layout, d.n_concepts) == ("reduced", layout, len(lattice))
    assert d.caption.startswith(f"{len(lattice)} concepts")
    doc = json.loads(d.to_json())
    validate(doc)
    written = {"attributes": [], "objects": []}
    for label in doc["labels_placed"]:
        node = doc["nodes"][label["concept"]]
        names = label_names(label)
        written[label["kind"]] += names
        concept = lattice[label["concept"]]
        if label["kind"] == "attributes":
            assert label["box"]["bottom"] <= node["y"]
            assert all(lattice.attribute_concept(name) == concept for name in names)
        else:
            assert label["box"]["top"] >= node["y"]
            assert all(lattice.object_concept(name) == concept for name in names)
    assert sorted(written["attributes"]) == sorted(lattice.context.attributes)
    assert sorted(written["objects"]) == sorted(lattice.context.objects)
    check_boxes(doc)


@pytest.mark.parametrize("labels", ["full", "counts", "none"])
def test_other_labellings_stay_apart_and_inside(labels):
    doc = json.loads(lattice_of(FILES[1]).draw(labels=labels, size_by_support=True, highlight=3).to_json())
    validate(doc)
    assert bool(doc["labels_placed"]) == (labels != "none")
    check_boxes(doc)


def test_exports_parse_with_every_name_intact(tmp_path):
    lattice = hostile_lattice()
    d = lattice.draw(highlight=lattice[1], shade_by_support=True)
    svg = ET.fromstring(d.svg().encode("utf-8"))
    texts = " ".join("".join(t.itertext()) for t in svg.iter("{http://www.w3.org/2000/svg}text")).translate(ISOLATES)
    view = ET.fromstring(d.html())
    data = json.loads(next(s for s in view.iter("script") if s.get("type") == "application/json").text)
    doc = json.loads(d.to_json())
    validate(doc)
    for name in OBJECTS + ATTRIBUTES:
        assert name in texts
    assert data["objects"] == doc["objects"] == OBJECTS and data["attributes"] == doc["attributes"] == ATTRIBUTES
    assert d._repr_svg_() == d.svg() and d._repr_html_() == d.html()
    written = {".svg": d.svg, ".html": d.html, ".dot": d.dot, ".tex": d.tikz, ".json": d.to_json}
    for extension, text in written.items():
        path = tmp_path / f"lattice{extension.upper()}"
        d.save(path)
        assert path.read_text(encoding="utf-8") == text()
    if shutil.which("dot") is None:
        pytest.skip("Graphviz is not installed: the DOT export is not parsed")
    graph = json.loads(subprocess.run(["dot", "-Tjson", str(tmp_path / "lattice.DOT")], check=True,
                                      capture_output=True, text=True).stdout)
    xlabels = " ".join(o.get("xlabel", "") for o in graph["objects"])
    xlabels = xlabels.replace("\\n", " ").replace('\\"', '"').replace("\\\\", "\\").translate(ISOLATES)
    for name in OBJECTS + ATTRIBUTES:
        assert name in xlabels


def test_bad_input_names_the_valid_choices(tmp_path):
    lattice = lattice_of(FILES[1])
    with pytest.raises(ValueError, match="unknown labels 'short'; choose one of: reduced, full, counts, none"):
        lattice.draw(labels="short")
    with pytest.raises(ValueError, match="unknown layout 'force'; choose one of: layered, additive"):
        lattice.draw(layout="force")
    for name in ("lattice.png", "lattice"):
        with pytest.raises(ValueError, match=r"choose one of: \.svg, \.html, \.dot, \.tex, \.json"):
            lattice.draw().save(tmp_path / name)
        assert not (tmp_path / name).exists()
    with pytest.raises(IndexError):
        lattice.draw(highlight=len(lattice))
    with pytest.raises(ValueError, match="another lattice"):
        lattice.draw(highlight=lattice_of(FILES[1])[0])
    for bad in ({"labels": 3}, {"layout": None}, {"highlight": "top"}, {"size_by_support": 1},
                {"counts_above": 2.5}):
        with pytest.raises(TypeError):
            lattice.draw(**bad)
    with pytest.raises(ValueError, match="negative"):
        lattice.draw(counts_above=-1)


def test_big_lattices_switch_to_counts_and_say_so():
    lattice = lattice_of(BIG)
    d = lattice.draw()
    assert d.labels == "counts" and f"{len(lattice)} concepts" in d.caption and "over 300 concepts" in d.caption
    assert lattice.draw(labels="full", counts_above=1000).labels == "full"
    assert lattice.draw(counts_above=None).labels == "reduced"
    assert "over 300" not in lattice.draw(labels="counts").caption
    small = lattice_of(FILES[0]).draw(counts_above=2)
    assert small.labels == "counts" and "over 2 concepts" in small.caption


def test_layered_layout_crosses_far_less_than_the_module_layout():
    totals = np.zeros(2, dtype=np.int64)
    for path in FILES + [BIG]:
        totals += _lab.layout_crossings(lattice_of(path)._data.kernel)
    module, layered = totals.tolist()
    assert layered <= 0.7 * module
