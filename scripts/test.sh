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
    -DTESSARA_WERROR=ON >/dev/null &&
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

# The whole C++ suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (its own build directory); the first report fails the test that made it.
# One build directory serves this suite and the next, so the libraries are
# compiled with the sanitizers once.
configure_sanitized() {
  cmake -S . -B build/sanitized -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARA_BUILD_TESTS=ON \
    -DTESSARA_BUILD_PYTHON=ON -DPython_EXECUTABLE="$(command -v "$PYTHON")" \
    -DTESSARA_SANITIZE=address,undefined -DTESSARA_WERROR=ON >/dev/null
}

sanitized_cpp_tests() {
  configure_sanitized && cmake --build build/sanitized -j "$JOBS" &&
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1 \
      UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      ctest --test-dir build/sanitized --output-on-failure -j "$JOBS"
}

# The Python suite against the module built with the same sanitizers. The
# interpreter is not instrumented, so the ASan runtime is preloaded; with
# PYTHONMALLOC=malloc every Python object goes through it too. The notebook
# test is left out: its cells run in a Jupyter kernel, a separate interpreter
# that never loads this build; so are the type-stub checks, which look at the
# installed wheel and run the type checkers, not this build.
# sanitized_pytest DETECT_LEAKS PYTEST-ARGUMENTS...
sanitized_pytest() {
  local detect_leaks="$1"
  shift
  TESSARA_SANITIZED=1 PYTHONPATH="$PWD/build/sanitized/python" PYTHONMALLOC=malloc \
    LD_PRELOAD="$(g++ -print-file-name=libasan.so)" \
    ASAN_OPTIONS="halt_on_error=1:detect_leaks=$detect_leaks" LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp" \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$PYTHON" -m pytest -q -p no:cacheprovider --ignore=tests/python/test_notebook.py \
    --ignore=tests/python/test_stubs.py "$@"
}

# The module's tests run with leak detection at exit, only the interpreter's own
# allocations suppressed (tests/sanitizers/lsan.supp), so a leak in the extension
# fails the run. The lab's tests import numpy, whose start-up leaves objects
# that LeakSanitizer reports and, with the interpreter's fast stack unwinding,
# cannot tell apart from ours: they run with every other check but without the
# leak report (their own test checks that the lab's bulk tables release what
# they make).
sanitized_python_tests() {
  configure_sanitized && cmake --build build/sanitized -j "$JOBS" --target tessara tessara_lab &&
    sanitized_pytest 1 --ignore-glob='tests/python/test_lab_*' tests/python &&
    sanitized_pytest 0 tests/python/test_lab_*.py
}

# Every libFuzzer target for FUZZ_SECONDS (20 s: eight targets keep the run under 20 minutes) from the committed corpus.
fuzz_runs() {
  PYTHON="$PYTHON" FUZZ_SECONDS="${FUZZ_SECONDS:-20}" bash scripts/fuzz.sh
}

run_suite "C++ tests (CTest)" cpp_tests
run_suite "wheel checks" wheel_checks
run_suite "Python tests (pytest)" python_tests
run_suite "C++ tests under ASan+UBSan (CTest)" sanitized_cpp_tests
run_suite "Python tests against the ASan+UBSan module (pytest)" sanitized_python_tests
run_suite "fuzz targets (libFuzzer, ${FUZZ_SECONDS:-20} s each)" fuzz_runs
# The documentation site against the wheel installed above: its gallery runs, -W fails on any warning.
run_suite "documentation (Sphinx, gallery executed)" bash scripts/docs.sh

echo
echo "== summary"
printf '%s\n' "${summaries[@]}"
exit "$failed"
