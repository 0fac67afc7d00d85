"""compute_lattice and the Lattice class: its views, its drawing and its lifetime."""

import gc
import random
import xml.etree.ElementTree as ET

import pytest

import tessara
from conftest import make_context

SVG_NS = "{http://www.w3.org/2000/svg}"
ALGORITHMS = ["next-closure", "in-close-5", "fcbo"]


def random_context(seed, n_objects=9, n_attributes=7, density=0.4):
    rng = random.Random(seed)
    rows = [[rng.random() < density for _ in range(n_attributes)] for _ in range(n_objects)]
    return make_context([f"g{i}" for i in range(n_objects)], [f"a{j}" for j in range(n_attributes)], rows)


def hasse_pairs(concepts):
    """(lower, upper) index pairs of the covering relation, by brute force on extents."""
    extents = [frozenset(c["extent"]) for c in concepts]
    below = lambda a, b: extents[a] < extents[b]  # noqa: E731
    n = len(extents)
    return {
        (a, b)
        for a in range(n)
        for b in range(n)
        if below(a, b) and not any(below(a, l) and below(l, b) for l in range(n))
    }


def test_repr_count_and_read_only(g1g2_context):
    lattice = tessara.compute_lattice(g1g2_context)
    assert repr(lattice) == "Lattice(concepts=4)" and lattice.n_concepts == 4
    assert tessara.Lattice.n_concepts.__doc__ == "Number of concepts in the lattice."
    with pytest.raises(AttributeError):
        lattice.n_concepts = 3
    with pytest.raises(AttributeError):
        del lattice.n_concepts


@pytest.mark.parametrize("method", ["concepts", "svg", "_repr_svg_", "_repr_html_"])
def test_methods_take_no_arguments(g1g2_context, method):
    with pytest.raises(TypeError):
        getattr(tessara.compute_lattice(g1g2_context), method)(1)


def test_member_order_signatures_and_docstrings():
    members = [name for name in vars(tessara.Lattice) if not name.startswith("__")]
    assert members == ["n_concepts", "concepts", "_repr_svg_", "_repr_html_", "svg"]
    for name in ("concepts", "_repr_svg_", "_repr_html_", "svg"):
        assert getattr(tessara.Lattice, name).__text_signature__ == "($self)"
    assert tessara.Lattice.svg.__doc__ == (
        "Renders the lattice as SVG and returns the string.\n\n"
        "Equivalent to `_repr_svg_` but callable explicitly. Useful for\n"
        "scripts that want to save the SVG to disk."
    )
    assert tessara.Lattice._repr_svg_.__doc__ == (
        "Jupyter SVG renderer. Called automatically when this object is\nthe last expression in a notebook cell."
    )
    assert tessara.Lattice._repr_html_.__doc__ == "Jupyter HTML renderer. SVG inside a captioned div."
    assert tessara.Lattice.concepts.__doc__ == "Returns the lattice's concepts as a list of dicts."


@pytest.mark.parametrize("algorithm", ALGORITHMS)
@pytest.mark.parametrize("seed", range(5))
def test_concepts_equal_compute_concepts(algorithm, seed):
    ctx = random_context(seed)
    assert tessara.compute_lattice(ctx, algorithm).concepts() == tessara.compute_concepts(ctx, algorithm)


@pytest.mark.parametrize("algorithm", ALGORITHMS)
@pytest.mark.parametrize("seed", range(5))
def test_svg_draws_the_hasse_diagram(algorithm, seed):
    lattice = tessara.compute_lattice(random_context(seed), algorithm)
    text = lattice.svg()
    assert text.startswith('<?xml version="1.0" encoding="UTF-8"?>\n') and text.endswith("</svg>\n")
    root = ET.fromstring(text.encode())
    assert root.tag == SVG_NS + "svg"
    circles = root.findall(f".//{SVG_NS}circle")
    lines = root.findall(f".//{SVG_NS}line")
    centres = [(float(c.get("cx")), float(c.get("cy"))) for c in circles]
    assert len(circles) == lattice.n_concepts
    pairs = hasse_pairs(lattice.concepts())
    assert len(lines) == len(pairs)
    drawn = set()
    for line in lines:
        x1, y1, x2, y2 = (float(line.get(k)) for k in ("x1", "y1", "x2", "y2"))
        assert y1 < y2  # from the upper (more general) concept down to the lower one
        drawn.add((centres.index((x2, y2)), centres.index((x1, y1))))
    # Each line joins the circles of a covering pair (positions can repeat only
    # for concepts on one spot, which a layered grid never produces).
    assert drawn == pairs


def test_drawing_is_repeatable_and_html_wraps_the_svg(g1g2_context):
    lattice = tessara.compute_lattice(g1g2_context)
    first = lattice.svg()
    assert lattice._repr_svg_() == first and lattice.svg() == first
    html = lattice._repr_html_()
    assert html == (
        '<div class="tessara-lattice"><div style="color:#666;font-size:0.85em;margin-bottom:0.25em;">'
        "Lattice \u2014 4 concepts</div>" + first + "</div>"
    )


def test_one_concept_document_exactly():
    lattice = tessara.compute_lattice(make_context(["g"], ["m"], [[1]]))
    assert lattice.svg() == (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 60.0 60.0" width="60.0" height="60.0">\n'
        '  <g stroke="#444" stroke-width="1.5" fill="none">\n'
        "  </g>\n"
        '  <g fill="white" stroke="#222" stroke-width="1.5">\n'
        '    <circle cx="30.0" cy="30.0" r="6.0" />\n'
        "  </g>\n"
        "</svg>\n"
    )
    assert "Lattice \u2014 1 concepts</div>" in lattice._repr_html_()


def test_lattice_outlives_its_context():
    ctx = random_context(3)
    expected = tessara.compute_concepts(ctx)
    lattice = tessara.compute_lattice(ctx)
    reference = tessara.compute_lattice(ctx).svg()
    del ctx
    gc.collect()
    assert lattice.concepts() == expected
    assert lattice.svg() == reference


def test_names_never_reach_the_drawing():
    plain = tessara.compute_lattice(make_context(["a", "b"], ["x", "y"], [[1, 0], [0, 1]]))
    marked = tessara.compute_lattice(make_context(["<&\"'", "b"], ["x&", "<y>"], [[1, 0], [0, 1]]))
    assert plain.svg() == marked.svg()
    assert marked.concepts()[1]["extent"] in (["b"], ["<&\"'"])


def test_unknown_algorithm_and_bad_ctx():
    with pytest.raises(ValueError, match="unknown algorithm `foo`"):
        tessara.compute_lattice(random_context(0), "foo")
    with pytest.raises(TypeError, match="'ctx'"):
        tessara.compute_lattice(tessara.compute_lattice(random_context(0)))
