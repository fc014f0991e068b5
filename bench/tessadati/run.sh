#!/usr/bin/env bash
# Usage: bench/tessadati/run.sh BIN_FOLDER
# Writes a 1,000,000-transaction Jet 3 household file with mirtesa-demo, runs Tessadati's
# part of one export on it twice (bench_tessadati: open with the version gate, count, a
# row array of up to 32,767 rows, both totals) and, on the same file in the same run,
# mdb-export of the table Operazioni; prints the figures and the ratios (peak memory:
# processo + figlio, che coesistono).
set -euo pipefail
bin=${1:?cartella dei programmi}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/Mirtesa.mdb"
"$bin/mirtesa-demo" --operazioni 1000000 --formato jet3 "$file" >/dev/null
da=37987   # 1 January 2004
# The period is found in a process of its own, so the timed runs start cold.
a=$("$bin/bench_tessadati" --calibra "$work" "$da")
out=$("$bin/bench_tessadati" "$work" "$da" "$a")
echo "$out"
misura=$( { /usr/bin/time -f '%e %M' mdb-export "$file" Operazioni >/dev/null; } 2>&1 | tail -1)
mdbexport=${misura% *}
mdbpicco=${misura#* }
printf 'mdb_export_s %.3f\nmdb_export_picco_mb %.1f\n' "$mdbexport" "$(echo "$mdbpicco / 1024" | bc -l)"
# One FIGURE line per figure.
echo "$out" | awk -v b=tessadati -v m="$mdbexport" -v primo=0.35 -v secondo=0.05 -v memoria=2 \
  -f "$(dirname "$0")/../giri.awk"
