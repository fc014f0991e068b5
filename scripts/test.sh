#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test:
# the RelWithDebInfo build in full, then the sanitizer build on the tests labelled
# "sanitize" (object life cycles, untrusted parsers) and the fuzz targets for a short,
# fixed time each.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/install-deps.sh

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -L sanitize

if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh 20
fi
