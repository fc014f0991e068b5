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
# One FIGURE line per figure. The aims are the engine's own: this query reads the whole
# table in date order, unfiltered; the aims of one export's road are in bench/tessadati.
echo "$out" | awk -v b=jet-engine -v m="$mdbexport" -v primo=0.7 -v secondo=0.1 -v memoria=4 \
  -f "$(dirname "$0")/../giri.awk"
