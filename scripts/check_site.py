"""Checks a built documentation site: every link and resource of its pages resolves inside it.

    python scripts/check_site.py docs/_build/html

Each href and src of every page (the theme's own template files under _static/ aside) must name a file of
the site, and the anchor on the page when it names one. Links to other sites are allowed in <a> elements
only: a script, a style sheet, an image or a font from outside would be fetched when the page is opened, and
the site must work offline. Prints what is wrong and exits 1, or says how many links it checked.
"""

from __future__ import annotations

import html
import re
import sys
from pathlib import Path

REFERENCE = re.compile(r"<(?P<tag>[a-zA-Z]+)\b[^>]*?\b(?:href|src)=\"(?P<url>[^\"]+)\"")
ANCHOR = re.compile(r"\bid=\"([^\"]+)\"")


def main(site: Path) -> int:
    site = site.resolve()
    anchors: dict[Path, set[str]] = {}

    def ids(page: Path) -> set[str]:
        if page not in anchors:
            anchors[page] = set(ANCHOR.findall(page.read_text(encoding="utf-8", errors="replace")))
        return anchors[page]

    problems = []
    checked = 0
    pages = [page for page in site.rglob("*.html") if "_static" not in page.relative_to(site).parts]
    for page in pages:
        for match in REFERENCE.finditer(page.read_text(encoding="utf-8", errors="replace")):
            url = html.unescape(match["url"])
            where = f"{page.relative_to(site)}: <{match['tag']}> {url}"
            if re.match(r"[a-zA-Z][a-zA-Z0-9+.-]*:|//", url):
                if match["tag"].lower() != "a" and not url.startswith("data:"):
                    problems.append(f"{where}: loads a resource from outside the site")
                continue
            checked += 1
            path, _, fragment = url.partition("#")
            path = path.split("?")[0]
            target = (page.parent / path).resolve() if path else page
            if target != site and site not in target.parents:
                problems.append(f"{where}: points outside the site")
            elif not target.exists():
                problems.append(f"{where}: no such file")
            elif fragment and target.suffix == ".html" and fragment not in ids(target):
                problems.append(f"{where}: no anchor #{fragment} there")
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"site: {checked} links of {len(pages)} pages resolve inside {site}")
    return 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1] if len(sys.argv) > 1 else "docs/_build/html")))
