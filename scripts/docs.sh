#!/usr/bin/env bash
# Builds the documentation site into docs/_build/html, offline, from the tessara
# installed in the project's virtual environment (scripts/build.sh installs the
# wheel there): the user guide, the gallery (its examples run now, so they cannot
# go stale) and the API reference from the docstrings. Warnings are errors and
# every cross-reference must resolve (-W -n); --keep-going lists all of them.
# Open docs/_build/html/index.html in a browser; the pages load nothing from
# outside that directory.
#
# DOCS_PYTHON names another interpreter with tessara importable (for a development
# build: DOCS_PYTHON=python PYTHONPATH=build/dev/python bash scripts/docs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/venv.sh
PYTHON="${DOCS_PYTHON:-$VENV_PYTHON}"
"$PYTHON" -c 'import tessara.lab' 2>/dev/null || {
  echo "docs: tessara is not importable by $PYTHON; run bash scripts/build.sh first" >&2
  exit 1
}
# The pages and the generated files are rebuilt from scratch, so nothing stale survives.
rm -rf docs/_build docs/gallery docs/api/generated docs/_generated docs/sg_execution_times.rst
"$PYTHON" -m sphinx -b html -W --keep-going -n -q -j 1 docs docs/_build/html
# Every link of every page resolves inside the site, and nothing is fetched from outside it.
"$PYTHON" scripts/check_site.py docs/_build/html
echo "docs: docs/_build/html/index.html"
