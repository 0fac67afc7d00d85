#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan and UBSan (build/fuzz) and
# runs each for FUZZ_SECONDS (default 30) from the committed corpus in
# tests/fuzz/corpus, with its dictionary from tests/fuzz/dict. New inputs go to
# a scratch corpus, so the committed one changes only by hand. A crash, a
# sanitizer report, an input taking over 10 s or a process over 1 GiB is a
# finding: its input is kept under build/fuzz/findings and the script fails.
#   bash scripts/fuzz.sh [TARGET...]   (default: every target)
set -uo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS="${FUZZ_SECONDS:-30}"
CLANG="${CLANG:-clang++-19}"
PYTHON="${PYTHON:-python3}"
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(read_cxt read_csv read_dat read_xml read_json read_sniffed engine load_lattice)

if ! command -v "$CLANG" >/dev/null; then
  echo "fuzz: $CLANG not found (scripts/setup.sh installs it)"
  exit 1
fi
PATH="$("$PYTHON" -c 'import cmake; print(cmake.CMAKE_BIN_DIR)'):$("$PYTHON" -c 'import ninja; print(ninja.BIN_DIR)'):$PATH"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$CLANG" \
  -DTESSARA_BUILD_TESTS=OFF -DTESSARA_BUILD_PYTHON=OFF -DTESSARA_BUILD_FUZZERS=ON \
  -DTESSARA_SANITIZE=address,undefined -DTESSARA_WERROR=ON >/dev/null || exit 1
build_targets=()
for target in "${TARGETS[@]}"; do build_targets+=("fuzz_$target"); done
cmake --build build/fuzz -j "$(nproc)" --target "${build_targets[@]}" || exit 1

export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
findings_dir="build/fuzz/findings"
mkdir -p "$findings_dir"
failed=0
for target in "${TARGETS[@]}"; do
  corpus="tests/fuzz/corpus/${target#read_}"
  dict="tests/fuzz/dict/${target#read_}.dict"
  scratch="build/fuzz/corpus/$target"
  mkdir -p "$scratch"
  options=(-max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1
    -artifact_prefix="$findings_dir/$target-")
  [ -f "$dict" ] && options+=(-dict="$dict")
  # The engine target's inputs describe contexts; longer ones only make slower runs.
  [ "$target" = engine ] && options+=(-max_len=256)
  # A FIMI file of a few kilobytes may legally ask for a context near the
  # 2^34-cell limit (many short lines and one id in the millions), which takes
  # more than the 1 GiB allowed here. Short inputs keep the runs inside it and
  # still reach every path of the reader.
  case "$target" in read_dat | read_sniffed) options+=(-max_len=512) ;; esac
  # A saved lattice of a few kilobytes may hold a context near the size limit as well.
  [ "$target" = load_lattice ] && options+=(-max_len=2048)
  log="build/fuzz/$target.log"
  "build/fuzz/tests/fuzz/fuzz_$target" "${options[@]}" "$scratch" "$corpus" >"$log" 2>&1
  status=$?
  stats="$(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$log" | tail -1 | sed -E 's/^#([0-9]+)\s+\w+\s+/\1 runs, /')"
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ok, $stats"
  else
    echo "fuzz_$target: FINDING (exit $status), $stats"
    grep -E 'ERROR|SUMMARY|fuzzer:|Test unit written' "$log" | head -8
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "fuzz: ${#TARGETS[@]} targets passed, no findings" || echo "fuzz: a target failed with a finding"
exit "$failed"
