#!/usr/bin/env bash
# Builds the abi3 wheel into dist/ and installs it into the current interpreter.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON="${PYTHON:-python3}"
rm -rf dist
"$PYTHON" -m pip wheel --quiet --disable-pip-version-check --no-build-isolation --no-deps -w dist .
"$PYTHON" -m pip install --quiet --disable-pip-version-check --root-user-action=ignore --force-reinstall --no-deps dist/tessara-*.whl
