#!/usr/bin/env bash
# Usage: run.sh <bin folder>. Prints time, peak memory and size of a 32,767-row export,
# and its ratio to the I/O floor (the same bytes written with a plain buffered write),
# then the main figures as FIGURE lines (format in scripts/bench.sh). The writer is mostly
# processor and the floor mostly disk, so a virtual machine's slower spells move the ratio:
# the benchmark runs three times and the run with the middle ratio is the one reported.
set -euo pipefail
bin="${1:?usage: run.sh <bin folder>}"
uscite=()
for _ in 1 2 3; do uscite+=("$("$bin/bench_xml_writer" 32767)"); done
rapporto() { printf '%s\n' "$1" | awk '/^ratio to the floor \(with/ {print $10}'; }
ordinati=$(for i in 0 1 2; do printf '%s %d\n' "$(rapporto "${uscite[$i]}")" "$i"; done | sort -g)
mezzo=$(printf '%s\n' "$ordinati" | awk 'NR == 2 {print $2}')
echo "ratio with check in the three runs: $(printf '%s\n' "$ordinati" | awk '{printf "%s ", $1}')"
uscita=${uscite[$mezzo]}
printf '%s\n' "$uscita"
printf '%s\n' "$uscita" | awk '
  /^CreaFileXML, no type check/   { printf "FIGURE|xml-writer.senza_verifica_ms|%s|-\n", $5 }
  /^CreaFileXML, with type check/ { printf "FIGURE|xml-writer.con_verifica_ms|%s|-\n", $5 }
  /^I\/O floor/                   { printf "FIGURE|xml-writer.pavimento_ms|%s|-\n", $7 }
  /^ratio to the floor \(with/    { printf "FIGURE|xml-writer.con_verifica_su_pavimento|%s|<= 3\n", $10 }
  /^peak memory while writing/    { printf "FIGURE|xml-writer.picco_scrittura_mb|%.1f|-\n", $5 / 1024 }'
