#!/usr/bin/env bash
# Usage: bench/travasa-cli/run.sh BIN_FOLDER
# Lays out a demo host whose household holds 1,000,000 transactions (Jet 3), then times
# travasa-cli --tutti from process start to exit on a period of at most 32,767 rows (the
# data component's ceiling), without and with --verifica, and, on the same file in the
# same run, mdb-export of the table Operazioni. Peak memory is the largest resident set
# of the program and of the engine's reader child (GNU time through wait4).
set -euo pipefail
bin=${1:?cartella dei programmi}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
"$bin/mirtesa-installa-demo" "$work/host" --operazioni 1000000 --formato jet3 --seme 1 >/dev/null
file="$work/host/dati/Mirtesa.mdb"
da=37987   # 1 January 2004
a=$("$bin/bench_tessadati" --calibra "$work/host/dati" "$da")
al=$(date -u -d "1899-12-30 + $a days" +%F)
mkdir -p "$work/out"

misura() {  # prints "seconds peak_kb" of one command; its standard error goes to $work/err
  /usr/bin/time -o "$work/tempo" -f '%e %M' "$@" >/dev/null 2>"$work/err"
  tail -1 "$work/tempo"
}
giro() {
  local r
  r=$(misura "$bin/travasa-cli" --tutti --dal 2004-01-01 --al "$al" --sovrascrivi -o "$work/out/e.xml" "$@")
  grep -q 'Totale record esportati' "$work/err" || { cat "$work/err" >&2; exit 1; }
  echo "$r"
}
senza=$(giro)
righe=$(grep -o '<tabella_operazioni>' "$work/out/e.xml" | wc -l)
con=$(giro --verifica)
mdb=$(misura mdb-export "$file" Operazioni)

# One FIGURE line per figure (format in scripts/bench.sh).
printf 'FIGURE|travasa-cli.file_mb|%.1f|-\n' "$(echo "$(stat -c %s "$file") / 1048576" | bc -l)"
printf 'FIGURE|travasa-cli.righe|%d|-\n' "$righe"
echo "periodo 2004-01-01..$al"
stampa() {
  printf 'FIGURE|travasa-cli.%s_s|%.3f|-\n' "$1" "${2% *}"
  printf 'FIGURE|travasa-cli.%s_picco_mb|%.1f|-\n' "$1" "$(echo "${2#* } / 1024" | bc -l)"
}
stampa esportazione "$senza"
stampa esportazione_verifica "$con"
stampa mdb_export "$mdb"
awk -v s="${senza% *}" -v v="${con% *}" -v m="${mdb% *}" 'BEGIN {
  printf "FIGURE|travasa-cli.esportazione_su_mdb_export|%.3f|<= 0.5\n", s/m
  printf "FIGURE|travasa-cli.verifica_su_mdb_export|%.3f|<= 0.5\n", v/m
}'
