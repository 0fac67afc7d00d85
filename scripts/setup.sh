#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need: the Debian
# packages of the C++ dependencies, and the project's own virtual environment
# .venv at the repository root with the build and test tools and the notebook
# kernel. The global interpreter and the home directory stay untouched. Safe to
# run again: it skips what is already there and reuses .venv.
set -euo pipefail
cd "$(dirname "$0")/.."

DEBIAN_PACKAGES=(build-essential pkg-config binutils python3-dev python3-venv
  libcsv-dev libutf8proc-dev systemtap-sdt-dev libgtest-dev)
# The fuzz targets: libFuzzer and the sanitizer runtimes come with clang. Debian 12's
# clang-19 is the first that takes g++ 12's std::expected (clang-14 and 16 lack
# C++20 concepts at 202002L); it installs beside the libraries the build links
# and upgrades none of them.
DEBIAN_PACKAGES+=(clang-19 libclang-rt-19-dev)

missing=()
for package in "${DEBIAN_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "setup: installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

source scripts/venv.sh
# PYTHON names the interpreter that creates .venv (python3 when unset).
if ! "$VENV_PYTHON" -c '' 2>/dev/null; then
  echo "setup: creating the virtual environment $VENV"
  rm -rf "$VENV"
  "${PYTHON:-python3}" -m venv "$VENV"
fi
# CMake and Ninja come from PyPI: the stable-ABI module build needs CMake 3.26 or later.
# The tools are installed again only when requirements-dev.txt has changed.
stamp="$VENV/.requirements-dev.sha256"
wanted="$(sha256sum requirements-dev.txt | cut -d' ' -f1)"
if [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  "$VENV_PYTHON" -m pip install --quiet --disable-pip-version-check --upgrade pip
  "$VENV_PYTHON" -m pip install --quiet --disable-pip-version-check -r requirements-dev.txt
  echo "$wanted" >"$stamp"
fi
# The notebook test runs its cells in this kernel, registered inside .venv.
"$VENV_PYTHON" -m ipykernel install --sys-prefix --name python3 >/dev/null
