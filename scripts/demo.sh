#!/usr/bin/env bash
# First command of the README: installs everything and runs the quick-start demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
source scripts/venv.sh
"$VENV_PYTHON" examples/quickstart.py
