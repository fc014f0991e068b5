#!/usr/bin/env bash
# Usage: bench/travasa-finestra/run.sh BIN_FOLDER
# The window ready: process start to travasa's window painted (start-up checks, database
# opened, accounts and cash codes listed, dates restored), on the demo household (3,000
# transactions) and on one of 100,000, beside the start of an empty window of the same
# toolkit on the same display (the floor). Median of 7 runs each, peak memory of the
# process. Without a display the runs go to an Xvfb server of their own.
set -euo pipefail
bin=$(cd "${1:?cartella dei programmi}" && pwd)
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$bin"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset VQ_REGISTRO_DIR

# One run: prints "milliseconds peak_kB".
corsa() {
  local inizio fine picco
  inizio=$(date +%s%N)
  fine=$( { /usr/bin/time -f 'picco_kb %M' "$@" > "$work/uscita"; } 2> "$work/tempo"; \
          awk '/^mostrata_ns/ {print $2}' "$work/uscita")
  picco=$(awk '/^picco_kb/ {print $2}' "$work/tempo")
  [ -n "$fine" ] || { cat "$work/tempo" >&2; echo "bench_finestra: la finestra non è comparsa" >&2; exit 1; }
  echo "$(( (fine - inizio) / 1000000 )) $picco"
}
# Seven runs (one more first, to warm the file cache): median time and peak memory.
misura() {
  local nome=$1; shift
  corsa "$@" >/dev/null
  for _ in 1 2 3 4 5 6 7; do corsa "$@"; done | sort -n | awk -v n="$nome" '
    {t[NR]=$1; m[NR]=$2}
    END {printf "FIGURE|travasa-finestra.%s_ms|%d|-\nFIGURE|travasa-finestra.%s_picco_mb|%.1f|-\n", n, t[4], n, m[4]/1024}'
}

misura vuota "$bin/bench_finestra" --vuota | tee "$work/vuota"
for operazioni in 3000 100000; do
  export XDG_CONFIG_HOME=$work/config-$operazioni
  "$bin/mirtesa-installa-demo" "$work/host-$operazioni" --operazioni "$operazioni" --seme 2004 >/dev/null
  misura "finestra_${operazioni}" "$bin/bench_finestra" | tee "$work/f$operazioni"
done
awk -F'|' '/_ms\|/ {v[$2]=$3} END {
  printf "FIGURE|travasa-finestra.demo_su_vuota|%.2f|<= 2\n", v["travasa-finestra.finestra_3000_ms"]/v["travasa-finestra.vuota_ms"]
  printf "FIGURE|travasa-finestra.100000_su_vuota|%.2f|-\n", v["travasa-finestra.finestra_100000_ms"]/v["travasa-finestra.vuota_ms"]
  printf "FIGURE|travasa-finestra.demo_ms|%d|<= 300\n", v["travasa-finestra.finestra_3000_ms"]
}' "$work/vuota" "$work/f3000" "$work/f100000"
