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
# One FIGURE line per figure (format in scripts/bench.sh).
echo "$out" | awk -v m="$mdbexport" -v b="tessadati" '
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
