"""The lab's diagrams read cleanly: every diagram of the project's contexts, in both layouts and every label mode,
measured with the renderer's own text model (the JSON export's boxes are the widths the SVG text takes). Labels on
one line keep an em apart, no label touches a circle or another label, and an edge meets a label's box only when
the label carries a halo. Focus views draw the order induced on the chosen concepts, checked by brute force."""

import json
from pathlib import Path

import numpy as np
import pytest

import tessara.lab as tl

ROOT = Path(__file__).resolve().parents[2]
CONTEXTS = sorted(str(p.relative_to(ROOT)) for p in [*(ROOT / "tests/data").glob("*.c*"), *(ROOT / "examples/data").glob("*.cxt")])
LABELS = ["reduced", "full", "counts", "none"]


def segments_meeting(segments, box):
    """Which segments (rows x0, y0, x1, y1) meet the box: Liang-Barsky clipping, vectorised."""
    x0, y0 = segments[:, 0], segments[:, 1]
    dx, dy = segments[:, 2] - x0, segments[:, 3] - y0
    t0, t1 = np.zeros(len(segments)), np.ones(len(segments))
    inside = np.ones(len(segments), dtype=bool)
    for p, q in ((-dx, x0 - box["left"]), (dx, box["right"] - x0), (-dy, y0 - box["top"]), (dy, box["bottom"] - y0)):
        flat = p == 0
        inside &= ~(flat & (q < 0))
        with np.errstate(divide="ignore", invalid="ignore"):
            t = np.where(flat, 0.0, q / np.where(flat, 1.0, p))
        t0 = np.where(~flat & (p < 0), np.maximum(t0, t), t0)
        t1 = np.where(~flat & (p > 0), np.minimum(t1, t), t1)
    return inside & (t0 <= t1)


def measure(doc):
    """Label pairs on one line closer than an em, overlapping labels, labels touching a circle, and edge/label
    meetings without and with a halo."""
    em = doc["font"]["size"]
    labels = doc["labels_placed"]
    box = np.array([[b["left"], b["top"], b["right"], b["bottom"]] for b in (label["box"] for label in labels)]).reshape(-1, 4)
    left, top, right, bottom = (box[:, i : i + 1] for i in range(4))
    upper = np.triu(np.ones((len(box), len(box)), dtype=bool), 1)
    one_line = (top < bottom.T) & (top.T < bottom)
    close = int((upper & one_line & (left < right.T + em) & (left.T < right + em)).sum())
    stacked = int((upper & one_line & (left < right.T) & (left.T < right)).sum())
    nodes = np.array([[n["x"], n["y"], n["radius"]] for n in doc["nodes"]]).reshape(-1, 3)
    touching = int(((left <= nodes[:, 0] + nodes[:, 2]) & (nodes[:, 0] - nodes[:, 2] <= right)
                    & (top <= nodes[:, 1] + nodes[:, 2]) & (nodes[:, 1] - nodes[:, 2] <= bottom)).sum())
    segments = np.array([[*a, *b] for edge in doc["edges"] for a, b in zip(edge["points"], edge["points"][1:])],
                        dtype=float).reshape(-1, 4)
    bare = haloed = 0
    for label in labels:
        hits = int(segments_meeting(segments, label["box"]).sum()) if len(segments) else 0
        if label["halo"]:
            haloed += hits
        else:
            bare += hits
    return {"close": close, "overlapping": stacked, "touching": touching, "bare crossings": bare, "haloed": haloed}


@pytest.mark.parametrize("labels", LABELS)
@pytest.mark.parametrize("layout", ["layered", "additive"])
@pytest.mark.parametrize("path", CONTEXTS)
def test_labels_keep_apart_and_edges_pass_under_halos(path, layout, labels):
    lattice = tl.read(ROOT / path).lattice()
    doc = json.loads(lattice.draw(labels, layout, counts_above=None).to_json())
    found = measure(doc)
    assert {k: found[k] for k in ("close", "overlapping", "touching", "bare crossings")} == {
        "close": 0, "overlapping": 0, "touching": 0, "bare crossings": 0}
    # The halo is what the writers draw: SVG paints a background stroke under the text, TikZ a filled box.
    if found["haloed"]:
        d = lattice.draw(labels, layout, counts_above=None)
        assert 'paint-order="stroke"' in d.svg() and 'paint-order="stroke"' in d.html()
        assert "halo, anchor=north" in d.tikz()


def induced_covers_by_brute_force(lattice, chosen):
    """(lower, upper, skips) of the order among the chosen concepts, from their extents alone."""
    extents = [frozenset(lattice[i].extent_indices.tolist()) for i in range(len(lattice))]
    below = {(a, b) for a in chosen for b in chosen if extents[a] < extents[b]}
    covers = {(a, b) for a, b in below if not any((a, c) in below and (c, b) in below for c in chosen)}
    every = range(len(lattice))
    return {(a, b, any(extents[a] < extents[c] < extents[b] for c in every)) for a, b in covers}


def drawn_covers(doc):
    ids = [node["lattice_index"] for node in doc["nodes"]]
    return {(ids[e["lower"]], ids[e["upper"]], e["skips"]) for e in doc["edges"]}


@pytest.mark.parametrize("seed", range(6))
def test_focus_views_draw_the_induced_order(seed):
    rng = np.random.default_rng(seed)
    shape = [(6, 5), (12, 7), (1, 4), (9, 1), (20, 8), (15, 6)][seed]
    K = tl.Context([f"g{i}" for i in range(shape[0])], [f"m{j}" for j in range(shape[1])], rng.random(shape) < 0.45)
    L = K.lattice()
    mask = rng.random(len(L)) < 0.5
    mask[rng.integers(len(L))] = True
    doc = json.loads(L.draw(concepts=mask, labels="reduced").to_json())
    chosen = np.flatnonzero(mask).tolist()
    assert drawn_covers(doc) == induced_covers_by_brute_force(L, chosen)
    # Intents and extents read off the reduced labels of the drawn order.
    ids = [node["lattice_index"] for node in doc["nodes"]]
    ups = {v: [e["upper"] for e in doc["edges"] if e["lower"] == v] for v in range(len(ids))}
    downs = {v: [e["lower"] for e in doc["edges"] if e["upper"] == v] for v in range(len(ids))}

    def gathered(v, step, key):
        seen, stack, out = {v}, [v], set()
        while stack:
            w = stack.pop()
            out |= set(doc["nodes"][w][key])
            for x in step[w]:
                if x not in seen:
                    seen.add(x)
                    stack.append(x)
        return out

    for v, index in enumerate(ids):
        assert gathered(v, ups, "own_attributes") == set(L[index].intent_indices.tolist())
        assert gathered(v, downs, "own_objects") == set(L[index].extent_indices.tolist())
    # The same selection as indices, Concepts or a mask draws the same picture.
    same = [L.draw(concepts=chosen).svg(), L.draw(concepts=[L[i] for i in chosen]).svg(), L.draw(concepts=mask).svg()]
    assert same[0] == same[1] == same[2]


def test_top_ranked_focus_adds_join_and_meet_and_keeps_labels_readable():
    L = tl.read(ROOT / "tests/data/seasoningplanner_de.cxt").lattice()
    stability = np.asarray(L.stability())
    for by, scores in (("stability", stability), ("support", L.supports.astype(float))):
        d = L.draw(top=40, by=by)
        doc = json.loads(d.to_json())
        ids = sorted(node["lattice_index"] for node in doc["nodes"])
        ranked = np.argsort(-scores, kind="stable")[:40].tolist()
        join = meet = ranked[0]
        for i in ranked[1:]:
            join, meet = L.join(join, i).index, L.meet(meet, i).index
        assert ids == sorted({*ranked, join, meet})
        assert d.labels == "reduced" and d.caption.startswith(f"{len(ids)} of {len(L)} concepts")
        assert measure(doc)["close"] == measure(doc)["bare crossings"] == 0
    # A skipped stretch is dashed in every format that can show it.
    d = L.draw(top=40)
    assert 'stroke-dasharray="5 4"' in d.svg() and "style=dashed" in d.dot() and "skips]" in d.tikz()


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"concepts": [], "top": None}, ValueError, "selects no concept"),
        ({"concepts": [0], "top": 3}, ValueError, "either concepts or top"),
        ({"top": 0}, ValueError, "top must be at least 1"),
        ({"top": 3, "by": "size"}, ValueError, "by must be one of: stability, support"),
        ({"top": 2.5}, TypeError, "top must be an int"),
        ({"concepts": [10**6]}, IndexError, "1000000 is not a concept index"),
        ({"concepts": np.ones(3, dtype=bool)}, ValueError, "one entry per concept"),
        ({"concepts": ["x"]}, TypeError, "'x' is not a concept"),
        ({"concepts": [1, 2], "highlight": 0}, ValueError, "not among the concepts drawn"),
    ],
)
def test_focus_views_reject_bad_selections(kwargs, error, message):
    L = tl.read(ROOT / "tests/data/planets.cxt").lattice()
    with pytest.raises(error, match=message):
        L.draw(**kwargs)


@pytest.mark.parametrize("path", CONTEXTS)
def test_additive_layout_keeps_every_concept_apart_and_edges_downward(path):
    """The vector search separates concepts the plain sums put on top of each other, in the labelled drawings of
    lattices of up to about a hundred concepts (the search is local and budgeted: bigger lattices, and now and then
    an unlabelled drawing, keep a clash)."""
    lattice = tl.read(ROOT / path).lattice()
    if len(lattice) > 100:
        pytest.skip("the search's budget does not cover all of a lattice this big")
    doc = json.loads(lattice.draw(layout="additive").to_json())
    nodes = np.array([[n["x"], n["y"], n["radius"]] for n in doc["nodes"]])
    dx = nodes[:, None, 0] - nodes[None, :, 0]
    dy = nodes[:, None, 1] - nodes[None, :, 1]
    apart = np.hypot(dx, dy) > nodes[:, None, 2] + nodes[None, :, 2] + 2
    np.fill_diagonal(apart, True)
    assert apart.all()
    assert all(e["points"][0][1] < e["points"][-1][1] for e in doc["edges"])


@pytest.mark.parametrize("layout", ["layered", "additive"])
@pytest.mark.parametrize("path", CONTEXTS)
def test_most_labels_find_a_spot_beside_the_edges(path, layout):
    """Labels step aside from the edges, and the layered layout makes room for them, before a halo is used: in the
    reduced diagrams of the test contexts at most three labels in ten are crossed (when every label stayed at its
    usual spot under a halo, four to five in ten were). A lattice of hundreds of concepts is too dense with edges."""
    lattice = tl.read(ROOT / path).lattice()
    if len(lattice) > 100:
        pytest.skip("hundreds of concepts leave too little room between the edges")
    doc = json.loads(lattice.draw("reduced", layout, counts_above=None).to_json())
    segments = np.array([[*a, *b] for edge in doc["edges"] for a, b in zip(edge["points"], edge["points"][1:])],
                        dtype=float).reshape(-1, 4)
    labels = doc["labels_placed"]
    crossed = [label for label in labels if len(segments) and segments_meeting(segments, label["box"]).any()]
    assert all(label["halo"] for label in crossed)
    assert len(crossed) <= 0.3 * len(labels), (len(crossed), len(labels))
