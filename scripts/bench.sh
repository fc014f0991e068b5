#!/usr/bin/env bash
# Builds the project and runs every benchmark (bench/*/run.sh), printing its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)"
for r in bench/*/run.sh; do
  [ -f "$r" ] || continue
  echo "== $(dirname "$r")"
  bash "$r" build/default/bin
done
