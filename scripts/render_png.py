#!/usr/bin/env python3
"""Renders the HTML fragment of the demo lattice to a PNG with headless Chromium.

    python scripts/render_png.py [--input examples/data/animals.cxt] [--output docs/lattice.png]

Needs the Debian package `chromium` and an installed `tessara`.
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import tessara

ROOT = Path(__file__).resolve().parent.parent
PAGE_PADDING = 16  # CSS pixels around the fragment
CAPTION_HEIGHT = 32  # room for the caption line above the drawing


def page_for(fragment):
    return (
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>tessara lattice</title></head>\n"
        f"<body style=\"margin:{PAGE_PADDING}px;background:white;font-family:sans-serif\">\n"
        f"{fragment}\n</body></html>\n"
    )


def drawing_size(svg):
    """The width and height attributes of the SVG root element, in pixels."""
    match = re.search(r'<svg [^>]*width="([0-9.]+)" height="([0-9.]+)"', svg)
    if match is None:
        raise ValueError("the SVG document has no width and height")
    return float(match.group(1)), float(match.group(2))


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("render_png: Chromium not found; install the Debian package chromium")


def render(input_path, output_path):
    data = input_path.read_bytes()
    lattice = tessara.compute_lattice(tessara.parse_context(data, filename=input_path.name))
    width, height = drawing_size(lattice.svg())
    window = (int(width) + 2 * PAGE_PADDING, int(height) + 2 * PAGE_PADDING + CAPTION_HEIGHT)
    output_path.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        page = Path(scratch) / "lattice.html"
        page.write_text(page_for(lattice._repr_html_()), encoding="utf-8")
        command = [
            find_chromium(),
            "--headless",
            "--no-sandbox",  # needed when running as root
            "--disable-gpu",
            "--hide-scrollbars",
            f"--user-data-dir={Path(scratch) / 'profile'}",
            f"--window-size={window[0]},{window[1]}",
            f"--screenshot={output_path.resolve()}",
            page.as_uri(),
        ]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if not output_path.is_file():
        sys.exit(f"render_png: Chromium wrote no {output_path}")
    print(f"{output_path}: {lattice.n_concepts} concepts, window {window[0]}x{window[1]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--input", type=Path, default=ROOT / "examples" / "data" / "animals.cxt")
    parser.add_argument("--output", type=Path, default=ROOT / "docs" / "lattice.png")
    args = parser.parse_args()
    render(args.input, args.output)


if __name__ == "__main__":
    main()
