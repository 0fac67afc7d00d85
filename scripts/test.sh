#!/usr/bin/env bash
# Second command of the README: installs everything, then runs the whole test
# suite: the C++ tests through CTest, the checks on the built wheel (stable ABI,
# one exported symbol) and the Python tests through pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON="${PYTHON:-python3}"
bash scripts/setup.sh
# Use the CMake, CTest and Ninja that setup.sh installed from PyPI.
PATH="$("$PYTHON" -c 'import cmake; print(cmake.CMAKE_BIN_DIR)'):$("$PYTHON" -c 'import ninja; print(ninja.BIN_DIR)'):$PATH"
export PATH

echo "== C++ tests"
cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARA_BUILD_TESTS=ON -DTESSARA_BUILD_PYTHON=OFF >/dev/null
cmake --build build/tests -j "$(nproc)"
ctest --test-dir build/tests --output-on-failure -j "$(nproc)"

echo "== wheel"
bash scripts/build.sh
"$PYTHON" -m abi3audit --strict --report dist/tessara-*.whl

echo "== Python tests"
"$PYTHON" -m pytest -q tests/python
