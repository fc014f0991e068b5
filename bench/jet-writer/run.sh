#!/usr/bin/env bash
# Writes a 1,000,000-transaction Mirtesa household database in both formats and prints the
# time, the peak memory (resident set) and the file size; the row count is checked with
# mdb-count. Usage: run.sh BIN_FOLDER [TRANSACTIONS]
set -euo pipefail
bin=${1:?usage: run.sh BIN_FOLDER [TRANSACTIONS]}
n=${2:-1000000}
demo="$bin/mirtesa-demo"
[ -x "$demo" ] || { echo "mirtesa-demo not found in $bin" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for formato in jet3 jet4; do
  out="$work/mirtesa-$formato.mdb"
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%e %M" -o "$work/time" "$demo" --operazioni "$n" --formato "$formato" "$out"
    read -r secondi kb < "$work/time"
  else
    inizio=$(date +%s.%N)
    "$demo" --operazioni "$n" --formato "$formato" "$out"
    secondi=$(echo "$(date +%s.%N) - $inizio" | bc)
    kb="n/a"
  fi
  righe=""
  if command -v mdb-count >/dev/null; then righe=$(mdb-count "$out" Operazioni 2>/dev/null); fi
  byte=$(stat -c %s "$out")
  printf 'jet-writer %s: %s transactions in %s s, peak memory %s KB, file %s MB, mdb-count %s\n' \
    "$formato" "$n" "$secondi" "$kb" "$((byte / 1048576))" "${righe:-n/a}"
  printf 'FIGURE|jet-writer.%s_s|%s|-\n' "$formato" "$secondi"
  [ "$kb" = n/a ] || printf 'FIGURE|jet-writer.%s_picco_mb|%.1f|-\n' "$formato" "$(echo "$kb / 1024" | bc -l)"
done
