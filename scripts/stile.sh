#!/usr/bin/env bash
# Checks the style, changing nothing: clang-format (.clang-format) on every tracked C++
# file, and clang-tidy (.clang-tidy) on every source file of the build other than the
# tests, with the build's compile_commands.json. Any finding fails.
# Usage: scripts/stile.sh [build folder, default build/default]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
if [[ ! -f $build/compile_commands.json ]]; then
  echo "stile: $build/compile_commands.json assente (configurare prima la build)" >&2
  exit 2
fi

esito=0
git ls-files -z '*.cpp' '*.h' '*.hpp' | xargs -0 -n 50 clang-format --dry-run --Werror || esito=1

# The tracked sources the build compiles (a file of another preset, or a generated one,
# has no compile command here).
radice=$(pwd)
comandi=$(mktemp)
uscita=$(mktemp)
trap 'rm -f "$comandi" "$uscita"' EXIT
sed -nE 's/^ *"file": "(.*)",?$/\1/p' "$build/compile_commands.json" | sort -u > "$comandi"
git ls-files '*.cpp' ':!tests/**' | sed "s|^|$radice/|" | sort | comm -12 - "$comandi" |
  xargs -r -P 2 -n 4 clang-tidy -p "$build" --quiet > "$uscita" 2>&1 || esito=1
grep -v 'warnings\? generated\.$' "$uscita" || true

if [[ $esito -ne 0 ]]; then
  echo "stile: clang-format o clang-tidy hanno trovato differenze" >&2
fi
exit $esito
