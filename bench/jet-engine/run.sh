#!/usr/bin/env bash
# Usage: bench/jet-engine/run.sh BIN_FOLDER
# Writes a 1,000,000-transaction Jet 3 household file with mirtesa-demo, runs the engine's
# part of one export on it twice (bench_jet_engine) and, on the same file in the same run,
# mdb-export of the table Operazioni; prints the figures and the ratios.
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
echo "$out" | awk -v m="$mdbexport" '
  /^file_mb/ {f=$2} /^primo_giro_s/ {p=$2} /^secondo_giro_s/ {s=$2}
  /^picco_processo_mb/ {a=$2} /^picco_figlio_mb/ {c=$2}
  END {
    printf "rapporto_primo_giro_su_mdb_export %.2f (obiettivo <= 0.7)\n", p/m
    printf "rapporto_secondo_su_primo %.3f (obiettivo < 0.1)\n", s/p
    printf "picco_memoria_su_file %.2f (obiettivo < 4; massimo tra processo e figlio)\n", (a>c?a:c)/f
  }'
