#!/usr/bin/env bash
# Installs what is missing, builds every target, checks the style and runs every test:
# the RelWithDebInfo build in full, then the sanitizer build on the tests labelled
# "sanitize" (object life cycles, untrusted parsers) and the fuzz targets for a short,
# fixed time each. Ends with one line counting the tests of both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

bash scripts/install-deps.sh

cmake --preset default
cmake --build --preset default -j "$jobs"
bash scripts/stile.sh build/default
ctest --preset default -j "$jobs" 2>&1 | tee "$logs/default.log"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -L sanitize 2>&1 | tee "$logs/asan.log"

bash scripts/fuzz.sh 20

# ctest's summary lines read "N% tests passed, F tests failed out of T".
passed=0 failed=0
for f in "$logs"/*.log; do
  read -r f_failed f_total < <(sed -nE 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/p' "$f" | tail -n 1)
  failed=$((failed + ${f_failed:-0}))
  passed=$((passed + ${f_total:-0} - ${f_failed:-0}))
done
echo "tests: $passed passed, $failed failed"
