#!/usr/bin/env bash
# Usage: run.sh <bin folder>. Prints time, peak memory and size of a 32,767-row export,
# and its ratio to the I/O floor (the same bytes written with a plain buffered write),
# then the main figures as FIGURE lines (format in scripts/bench.sh).
set -euo pipefail
bin="${1:?usage: run.sh <bin folder>}"
uscita=$("$bin/bench_xml_writer" 32767)
printf '%s\n' "$uscita"
printf '%s\n' "$uscita" | awk '
  /^CreaFileXML, no type check/   { printf "FIGURE|xml-writer.senza_verifica_ms|%s|-\n", $5 }
  /^CreaFileXML, with type check/ { printf "FIGURE|xml-writer.con_verifica_ms|%s|-\n", $5 }
  /^I\/O floor/                   { printf "FIGURE|xml-writer.pavimento_ms|%s|-\n", $7 }
  /^ratio to the floor \(with/    { printf "FIGURE|xml-writer.con_verifica_su_pavimento|%s|<= 3\n", $10 }
  /^peak memory while writing/    { printf "FIGURE|xml-writer.picco_scrittura_mb|%.1f|-\n", $5 / 1024 }'
