#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need: the Debian
# packages of the C++ dependencies and the Python packages of the build and
# test tools. Safe to run again; it skips what is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

DEBIAN_PACKAGES=(build-essential pkg-config binutils
  libexpat1-dev libcsv-dev nlohmann-json3-dev libutf8proc-dev systemtap-sdt-dev libgtest-dev)
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

PYTHON="${PYTHON:-python3}"
# CMake and Ninja come from PyPI: the stable-ABI module build needs CMake 3.26 or later.
"$PYTHON" -m pip install --quiet --disable-pip-version-check --root-user-action=ignore -r requirements-dev.txt
# The notebook test runs its cells in this interpreter's kernel.
"$PYTHON" -m ipykernel install --user --name python3 >/dev/null
