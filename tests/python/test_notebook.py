"""The example notebook runs top to bottom and the lattice cell shows the drawing."""

import sys
from pathlib import Path

import pytest

nbformat = pytest.importorskip("nbformat")
nbclient = pytest.importorskip("nbclient")

import tessara

EXAMPLES = Path(__file__).resolve().parent.parent.parent / "examples"
NOTEBOOK = EXAMPLES / "lattice.ipynb"


@pytest.fixture(scope="module")
def executed():
    """The notebook after running every cell."""
    notebook = nbformat.read(NOTEBOOK, as_version=4)
    client = nbclient.NotebookClient(
        notebook, timeout=120, kernel_name="python3", resources={"metadata": {"path": str(EXAMPLES)}}
    )
    client.execute()
    return notebook


def cell_result(notebook, marker):
    """The display data of the one code cell holding marker."""
    cells = [cell for cell in notebook.cells if cell.cell_type == "code" and marker in cell.source]
    assert len(cells) == 1
    results = [out for out in cells[0].outputs if out.output_type == "execute_result"]
    assert len(results) == 1, cells[0].outputs
    return results[0].data


@pytest.fixture(scope="module")
def lattice_outputs(executed):
    """The display data of the cell that leaves the Lattice as its value."""
    return cell_result(executed, "compute_lattice")


def test_kernel_is_the_one_registered_in_this_environment():
    # setup registers the kernel inside the virtual environment; one in the home
    # directory or elsewhere would run the cells in another interpreter.
    from jupyter_client.kernelspec import KernelSpecManager

    kernel = KernelSpecManager().get_kernel_spec("python3")
    assert Path(kernel.resource_dir).resolve().is_relative_to(Path(sys.prefix).resolve())
    assert Path(kernel.argv[0]).resolve() == Path(sys.executable).resolve()


def expected_lattice():
    context = tessara.parse_context((EXAMPLES / "data" / "animals.cxt").read_bytes(), filename="animals.cxt")
    return tessara.compute_lattice(context)


@pytest.mark.parametrize(
    ("mime", "render"),
    [
        ("image/svg+xml", lambda lattice: lattice.svg()),
        ("text/html", lambda lattice: lattice._repr_html_()),
        ("text/plain", repr),
    ],
)
def test_lattice_cell_carries_each_rendering(lattice_outputs, mime, render):
    assert lattice_outputs[mime] == render(expected_lattice())


def test_html_output_is_the_captioned_svg(lattice_outputs):
    html = lattice_outputs["text/html"]
    count = expected_lattice().n_concepts
    assert html.startswith('<div class="tessara-lattice">')
    assert f"Lattice \u2014 {count} concepts</div><?xml" in html
    assert html.endswith("</svg>\n</div>")


def test_lab_cells_show_the_context_table_and_the_concept_tables(executed):
    table = cell_result(executed, "tl.read(")["text/html"]
    assert table.startswith('<table class="tessara-context"><caption>Context: 35 objects × 11 attributes')
    assert "(5 objects not shown)" in table
    assert "<th>support</th>" in cell_result(executed, "nlargest")["text/html"]
