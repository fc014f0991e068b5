#!/usr/bin/env bash
# Usage: bench/jet-engine/run.sh BIN_FOLDER
# Writes a 1,000,000-transaction Jet 3 household file with mirtesa-demo, runs the engine's
# part of one export on it twice (bench_jet_engine) and, on the same file in the same run,
# mdb-export of the table Operazioni; prints the figures and the ratios (peak memory:
# processo + figlio, che coesistono).
set -euo pipefail
bin=${1:?cartella dei programmi}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/Mirtesa.mdb"
"$bin/mirtesa-demo" --operazioni 1000000 "$file" >/dev/null
out=$("$bin/bench_jet_engine" "$file" 604kmr73)
echo "$out"
inizio=$EPOCHREALTIME
mdb-export "$file" Operazioni >/dev/null
fine=$EPOCHREALTIME
mdbexport=$(awk -v a="$inizio" -v b="$fine" 'BEGIN {printf "%.3f", b - a}')
printf 'mdb_export_s %.3f\n' "$mdbexport"
# One FIGURE line per figure (format in scripts/bench.sh).
echo "$out" | awk -v m="$mdbexport" -v b="jet-engine" '
  /^file_mb/ {f=$2} /^primo_giro_s/ {p=$2} /^secondo_giro_s/ {s=$2}
  /^picco_processo_mb/ {a=$2} /^picco_figlio_mb/ {c=$2}
  END {
    printf "FIGURE|%s.primo_giro_s|%.3f|-\n", b, p
    printf "FIGURE|%s.secondo_giro_s|%.3f|-\n", b, s
    printf "FIGURE|%s.mdb_export_s|%.3f|-\n", b, m
    printf "FIGURE|%s.primo_su_mdb_export|%.3f|<= 0.35\n", b, p/m
    printf "FIGURE|%s.secondo_su_primo|%.3f|<= 0.05\n", b, s/p
    printf "FIGURE|%s.picco_memoria_su_file|%.2f|<= 2\n", b, (a+c)/f
  }'
