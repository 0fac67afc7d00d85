"""Sphinx configuration of tessara's documentation site.

The site documents the tessara installed in the interpreter that runs Sphinx
(scripts/docs.sh uses the project's .venv, where scripts/build.sh installs the
wheel). It builds and reads offline: no intersphinx inventories, no fonts or
scripts from a CDN, and no formulas (MathJax would come from a CDN); the
definitions are written in plain Unicode.
"""

from __future__ import annotations

import sys
from pathlib import Path

import tessara

DOCS = Path(__file__).resolve().parent
sys.path.insert(0, str(DOCS / "_ext"))

project = "tessara"
author = "the tessara developers"
copyright = "the tessara developers, MIT licence"
release = tessara.__version__
version = release

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "numpydoc",
    "sphinx_gallery.gen_gallery",
    "sphinx_design",
    "sphinx_copybutton",
    "myst_parser",
    "tessara_docs",
]

exclude_patterns = ["_build", "examples/*.py", "examples/GALLERY_HEADER.rst"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
templates_path = ["_templates"]
html_static_path = ["_static"]
html_css_files = ["tessara.css"]

# bench/README.md is included under a heading of the benchmarks page, so its sections start at ##.
suppress_warnings = ["myst.header"]
myst_heading_anchors = 0

# Every cross-reference must resolve: a broken one fails the build (-W -n).
nitpicky = True
# Names the docstrings mention in their types that are not ours to document.
nitpick_ignore_regex = [
    ("py:class", r"(numpy|pandas|networkx|os|collections\.abc|typing|pathlib)\..*"),
    ("py:class", r"(npt\.NDArray|NDArray|ArrayLike|Any|Optional|Union|Iterable|Iterator|Sequence|Callable)"),
]

# -- autodoc and numpydoc ---------------------------------------------------------------------------------------------
autosummary_generate = True
autodoc_typehints = "none"  # numpydoc's Parameters and Returns sections carry the types
autodoc_member_order = "bysource"
autodoc_default_options = {"members": True, "inherited-members": False}
numpydoc_show_class_members = False  # autodoc documents the members in place
numpydoc_class_members_toctree = False
numpydoc_xref_param_type = False
numpydoc_validation_checks: set[str] = set()

# -- the gallery, executed at build time -------------------------------------------------------------------------------
sphinx_gallery_conf = {
    "examples_dirs": "examples",
    "gallery_dirs": "gallery",
    "filename_pattern": r"/plot_",
    "image_scrapers": ("tessara_docs.diagram_scraper",),
    "capture_repr": ("_repr_html_", "__repr__"),
    "ignore_repr_types": r"tessara\.lab\._diagram\.Diagram|matplotlib.*",
    "download_all_examples": False,
    "remove_config_comments": True,
    "abort_on_example_error": True,
    "show_memory": False,
    # The timing tables load their sorting scripts from a CDN: the site loads nothing from outside.
    "write_computation_times": False,
    "show_signature": False,
    "min_reported_time": 10,
    "within_subsection_order": "FileNameSortKey",
    "reset_modules": (),
    "matplotlib_animations": False,
    "default_thumb_file": str(DOCS / "_static" / "thumb.svg"),
    "thumbnail_size": (400, 280),
}

# -- HTML ---------------------------------------------------------------------------------------------------------------
html_theme = "pydata_sphinx_theme"
html_title = f"tessara {release}"
html_logo = "_static/logo.svg"
html_favicon = "_static/logo.svg"
html_theme_options = {
    "navbar_end": ["theme-switcher", "navbar-icon-links"],
    "icon_links": [],
    "show_prev_next": True,
    "navigation_with_keys": False,
    "secondary_sidebar_items": ["page-toc"],
    "show_toc_level": 2,
    "footer_start": ["copyright"],
    "footer_end": [],
    "header_links_before_dropdown": 6,
}
html_sidebars = {
    "**": ["sidebar-nav-bs"],
    **{page: [] for page in ("index", "getting_started", "peers", "formats", "benchmarks", "development")},
}
html_show_sourcelink = False
html_copy_source = False
copybutton_prompt_text = r">>> |\.\.\. |\$ "
copybutton_prompt_is_regexp = True
