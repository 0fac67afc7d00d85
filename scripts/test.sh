#!/usr/bin/env bash
# Second command of the README: installs everything, then runs every test
# suite in the project's virtual environment: the C++ tests through CTest, the
# checks on the built wheel (stable ABI, manylinux tag, nothing needed outside
# its policy) and the Python tests through pytest, the type stubs included.
# Every suite runs even when an earlier one fails; a summary of all of them
# closes the run, and the exit status is non-zero when any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || { echo "setup failed"; exit 1; }
source scripts/venv.sh
PYTHON="$VENV_PYTHON"
# The environment's tools first: CMake, CTest and Ninja from PyPI, mypy, basedpyright.
PATH="$VENV/bin:$PATH"
export PATH
JOBS="$(nproc)"

summaries=()
failed=0

# run_suite NAME COMMAND...: runs one suite, keeps its output's last lines as
# its summary and records a failure without stopping the run.
run_suite() {
  local name="$1"
  shift
  echo
  echo "== $name"
  local log
  log="$(mktemp)"
  "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local summary
  summary="$(grep -E 'tests passed|tests failed|passed|failed|error' "$log" | tail -1)"
  rm -f "$log"
  if [ "$status" -eq 0 ]; then
    summaries+=("PASS  $name: ${summary:-ok}")
  else
    summaries+=("FAIL  $name (exit $status): ${summary:-see above}")
    failed=1
  fi
}

cpp_tests() {
  cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARA_BUILD_TESTS=ON -DTESSARA_BUILD_PYTHON=OFF \
    >/dev/null &&
    cmake --build build/tests -j "$JOBS" &&
    ctest --test-dir build/tests --output-on-failure -j "$JOBS"
}

wheel_checks() {
  bash scripts/build.sh && "$PYTHON" -m abi3audit --strict --report dist/tessara-*.whl &&
    "$PYTHON" scripts/check_wheel.py dist/tessara-*.whl
}

python_tests() {
  "$PYTHON" -m pytest -q tests/python
}

run_suite "C++ tests (CTest)" cpp_tests
run_suite "wheel checks" wheel_checks
run_suite "Python tests (pytest)" python_tests

echo
echo "== summary"
printf '%s\n' "${summaries[@]}"
exit "$failed"
