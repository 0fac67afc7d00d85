#!/usr/bin/env bash
# Runs bench/peers.py in a virtual environment of its own, bench/.venv-peers,
# holding the peer packages and the tessara wheel from dist/ (build it first
# with scripts/build.sh). The project's .venv is left as it is.
#   bash bench/run_peers.sh [peers.py options, e.g. --runs 5 --limit 60]
set -euo pipefail
cd "$(dirname "$0")/.."
wheels=(dist/tessara-*.whl)
if [ ! -f "${wheels[0]}" ]; then
  echo "run_peers: no wheel in dist/; run bash scripts/build.sh first" >&2
  exit 1
fi
PEERS_VENV="$PWD/bench/.venv-peers"
# pip's and matplotlib's caches stay inside that environment too.
export XDG_CACHE_HOME="$PEERS_VENV/cache" MPLCONFIGDIR="$PEERS_VENV/cache/matplotlib"
if ! "$PEERS_VENV/bin/python" -c '' 2>/dev/null; then
  rm -rf "$PEERS_VENV"
  "${PYTHON:-python3}" -m venv "$PEERS_VENV"
fi
"$PEERS_VENV/bin/python" -m pip install --quiet --disable-pip-version-check -r bench/requirements-peers.txt
"$PEERS_VENV/bin/python" -m pip install --quiet --disable-pip-version-check --force-reinstall --no-deps "${wheels[0]}"
exec "$PEERS_VENV/bin/python" bench/peers.py "$@"
