#!/usr/bin/env bash
# Builds the project, runs every benchmark (bench/*/run.sh BIN_FOLDER) and prints all their
# figures in one table, with the aims beside them.
#
# How a benchmark reports a figure: its run.sh prints, on standard output, one line per
# figure in the form
#     FIGURE|name|value|aim
# - name: short, unique over all benchmarks, prefixed with the benchmark's folder
#   ("tessadati.primo_giro_s"); the unit goes at the end of the name (_s, _ms, _mb, ...).
# - value: a number with "." as the decimal point.
# - aim: empty or "-" when there is none; otherwise an operator and a number
#   ("<= 0.35", "< 4", ">= 1000"), checked here; anything else is shown as written.
# Every other line a run.sh prints is shown as it is, under the benchmark's name. A
# benchmark that fails is listed as such and the others still run.
# Usage: scripts/bench.sh [benchmark...]   (folder names under bench/; default all)
# VQ_BENCH_GIA_COSTRUITO=1 skips the dependencies and the build (build/default as it is).
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "${VQ_BENCH_GIA_COSTRUITO:-}" != 1 ]; then
  bash scripts/install-deps.sh >/dev/null || exit 1
  cmake --preset default >/dev/null || exit 1
  cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" || exit 1
fi
scelti=("$@")
if ((${#scelti[@]} == 0)); then
  for r in bench/*/run.sh; do scelti+=("$(basename "$(dirname "$r")")"); done
fi
figure=$(mktemp)
trap 'rm -f "$figure"' EXIT
falliti=()
for b in "${scelti[@]}"; do
  r="bench/$b/run.sh"
  [ -f "$r" ] || { falliti+=("$b (manca run.sh)"); continue; }
  echo "== bench/$b"
  out=$(bash "$r" build/default/bin) || falliti+=("$b")
  printf '%s\n' "$out" | grep '^FIGURE|' >>"$figure"
  printf '%s\n' "$out" | grep -v '^FIGURE|' | sed 's/^/   /'
done
echo
awk -F'|' '
  function verifica(v, aim,   op, n) {
    if (aim == "" || aim == "-") return ""
    if (match(aim, /^(<=|>=|<|>|=) *[-0-9.eE+]+$/) == 0) return "?"
    op = aim; sub(/ *[-0-9.eE+]+$/, "", op); n = aim; sub(/^(<=|>=|<|>|=) */, "", n); n += 0; v += 0
    if (op == "<=") return v <= n ? "ok" : "NO"
    if (op == ">=") return v >= n ? "ok" : "NO"
    if (op == "<") return v < n ? "ok" : "NO"
    if (op == ">") return v > n ? "ok" : "NO"
    return v == n ? "ok" : "NO"
  }
  { nome[NR] = $2; val[NR] = $3; aim[NR] = $4; esito[NR] = verifica($3, $4)
    if (length($2) > w) w = length($2) }
  END {
    if (NR == 0) { print "nessuna cifra"; exit }
    printf "%-" w "s  %14s  %-12s  %s\n", "cifra", "valore", "obiettivo", "esito"
    for (i = 1; i <= NR; i++)
      printf "%-" w "s  %14s  %-12s  %s\n", nome[i], val[i], (aim[i] == "" ? "-" : aim[i]), esito[i]
  }' "$figure"
status=0
if ((${#falliti[@]})); then echo "benchmark falliti: ${falliti[*]}"; status=1; fi
exit $status
