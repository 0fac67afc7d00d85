"""Pictures of the lab's diagrams in the site, made while it builds.

- ``diagram_scraper``: sphinx-gallery's image scraper for ``tessara.lab.Diagram`` (and the fixed
  module's ``tessara.Lattice``). After each code block of a gallery example it writes every diagram
  the example's globals hold and that it has not written yet, as the diagram's own SVG (no matplotlib,
  no raster step).
- the ``diagram`` directive: a guide page shows a snippet of Python and the diagram it makes. The
  snippets of one page share a namespace, in page order; the last line of each is the diagram.
"""

from __future__ import annotations

import re
from pathlib import Path
from typing import Any

from docutils import nodes
from docutils.parsers.rst import directives
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective

# Diagrams already written, per example file: the objects are kept so that ids are not reused.
_written: dict[str, list[Any]] = {}


def diagram_scraper(block: Any, block_vars: dict[str, Any], gallery_conf: dict[str, Any]) -> str:
    from sphinx_gallery.scrapers import figure_rst

    import tessara
    from tessara.lab import Diagram

    seen = _written.setdefault(str(block_vars["src_file"]), [])
    fresh = [
        value
        for value in block_vars["example_globals"].values()
        if isinstance(value, (Diagram, tessara.Lattice)) and not any(value is old for old in seen)
    ]
    paths = []
    for diagram, path in zip(fresh, block_vars["image_path_iterator"]):
        svg_path = Path(path).with_suffix(".svg")
        svg_path.write_text(diagram.svg(), encoding="utf-8")
        paths.append(str(svg_path))
        seen.append(diagram)
    return figure_rst(paths, gallery_conf["src_dir"])


class DiagramDirective(SphinxDirective):
    """``.. diagram::`` with Python code as content: shows the code, then the diagram its last line makes."""

    has_content = True
    option_spec = {"alt": directives.unchanged_required, "hide-code": directives.flag, "width": directives.unchanged}

    def run(self) -> list[nodes.Node]:
        namespaces = self.env.temp_data.setdefault("tessara_diagram_namespaces", {})
        namespace = namespaces.setdefault(self.env.docname, {"__name__": "__docs__"})
        lines = list(self.content)
        *body, last = lines
        exec(compile("\n".join(body), f"<{self.env.docname}>", "exec"), namespace)
        diagram = eval(compile(last, f"<{self.env.docname}>", "eval"), namespace)
        counter = self.env.temp_data.setdefault("tessara_diagram_count", {})
        number = counter[self.env.docname] = counter.get(self.env.docname, 0) + 1
        slug = re.sub(r"[^A-Za-z0-9]+", "-", self.env.docname)
        out_dir = Path(self.env.srcdir) / "_generated"
        out_dir.mkdir(exist_ok=True)
        out = out_dir / f"{slug}-{number}.svg"
        svg = diagram.svg()
        if not out.exists() or out.read_text(encoding="utf-8") != svg:
            out.write_text(svg, encoding="utf-8")
        result: list[nodes.Node] = []
        if "hide-code" not in self.options:
            code = nodes.literal_block("\n".join(lines), "\n".join(lines), language="python")
            result.append(code)
        image = nodes.image(uri=f"/_generated/{out.name}", alt=self.options.get("alt", diagram.caption))
        if "width" in self.options:
            image["width"] = self.options["width"]
        image["classes"].append("tessara-diagram")
        result.append(nodes.container("", image, classes=["tessara-diagram-box"]))
        return result


class DiagramSetupDirective(SphinxDirective):
    """``.. diagram-setup::``: runs its Python content in the page's namespace and shows nothing."""

    has_content = True

    def run(self) -> list[nodes.Node]:
        namespaces = self.env.temp_data.setdefault("tessara_diagram_namespaces", {})
        namespace = namespaces.setdefault(self.env.docname, {"__name__": "__docs__"})
        exec(compile("\n".join(self.content), f"<{self.env.docname}>", "exec"), namespace)
        return []


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("diagram", DiagramDirective)
    app.add_directive("diagram-setup", DiagramSetupDirective)
    return {"version": "1", "parallel_read_safe": True, "parallel_write_safe": True}
