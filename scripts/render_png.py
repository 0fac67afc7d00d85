#!/usr/bin/env python3
"""Renders a lattice diagram of tessara.lab to a PNG with headless Chromium.

    python scripts/render_png.py [--input examples/data/animals.cxt] [--output docs/diagram_animals.png]
        [--labels reduced|full|counts|none] [--layout layered|additive] [--highlight INDEX] [--scale 1.0]
        [--scaled] [--columns a,b,c] [--counts-above 300] [--top K [--by stability|support]]

--scaled reads the input as a many-valued CSV table and scales it with tessara.lab.scale (default scales),
keeping only --columns when given. --top draws a focus view of the K concepts that rank highest --by
stability or support (with their join and meet).

Takes the diagram's HTML view (the notebook view: the SVG with its caption and the hint line) and
screenshots it at its own size. Needs the Debian package `chromium` and an installed `tessara`.
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import tessara.lab as tl

ROOT = Path(__file__).resolve().parent.parent
PAGE_PADDING = 8  # CSS pixels around the view
HINT_HEIGHT = 40  # the hint line under the drawing (two lines when the drawing is narrow)


def page_for(fragment, scale):
    return (
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>tessara diagram</title></head>\n"
        f"<body style=\"margin:{PAGE_PADDING}px;background:white;zoom:{scale}\">\n{fragment}\n</body></html>\n"
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


def render(args):
    if args.scaled:
        import pandas as pd

        table = pd.read_csv(args.input, na_values="?")
        if args.columns:
            table = table[args.columns.split(",")]
        context = tl.scale(table)
    else:
        context = tl.read(args.input)
    lattice = context.lattice()
    counts_above = None if args.counts_above < 0 else args.counts_above
    diagram = lattice.draw(args.labels, args.layout, highlight=args.highlight, counts_above=counts_above,
                           top=args.top, by=args.by)
    width, height = drawing_size(diagram.svg())
    window = (int((width + 2 * PAGE_PADDING + 2) * args.scale), int((height + 2 * PAGE_PADDING + HINT_HEIGHT) * args.scale))
    args.output.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        page = Path(scratch) / "diagram.html"
        page.write_text(page_for(diagram.html(), args.scale), encoding="utf-8")
        command = [
            find_chromium(),
            "--headless",
            "--no-sandbox",  # needed when running as root
            "--disable-gpu",
            "--hide-scrollbars",
            f"--user-data-dir={Path(scratch) / 'profile'}",
            f"--window-size={window[0]},{window[1]}",
            f"--screenshot={args.output.resolve()}",
            page.as_uri(),
        ]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if not args.output.is_file():
        sys.exit(f"render_png: Chromium wrote no {args.output}")
    print(f"{args.output}: {len(lattice)} concepts, {diagram.labels} labels, window {window[0]}x{window[1]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--input", type=Path, default=ROOT / "examples" / "data" / "animals.cxt")
    parser.add_argument("--output", type=Path, default=ROOT / "docs" / "diagram_animals.png")
    parser.add_argument("--labels", default="reduced")
    parser.add_argument("--layout", default="layered")
    parser.add_argument("--highlight", type=int, default=None)
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--scaled", action="store_true")
    parser.add_argument("--columns", default=None)
    parser.add_argument("--counts-above", type=int, default=300, help="-1: never switch to counts")
    parser.add_argument("--top", type=int, default=None, help="a focus view of the K highest-ranked concepts")
    parser.add_argument("--by", default="stability", help="the ranking of --top: stability or support")
    render(parser.parse_args())


if __name__ == "__main__":
    main()
