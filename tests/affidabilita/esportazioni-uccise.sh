#!/usr/bin/env bash
# Killed exports: an export over an existing file, killed (SIGKILL) at a random moment,
# many times. After each kill the file must be the old one or the complete new one,
# never a mix; the temporaries a killed export leaves are removed by the next export to
# the same file, so none is left after a last whole run.
# Run by hand (not by the test command). Usage:
#   tests/affidabilita/esportazioni-uccise.sh <bin folder> [kills] [transactions]
set -euo pipefail
bin=$(cd "${1:?bin folder}" && pwd)
uccisioni=${2:-200}
operazioni=${3:-20000}
lavoro=$(mktemp -d /tmp/vq-uccisioni-XXXXXX)
trap 'rm -rf "$lavoro"' EXIT
export XDG_CONFIG_HOME="$lavoro/config"
export TMPDIR="$lavoro/tmp"
mkdir -p "$TMPDIR" "$lavoro/uscita"

"$bin/mirtesa-installa-demo" "$lavoro/host" --operazioni "$operazioni" --seme 2004 >/dev/null
esporta() { "$bin/travasa-cli" --tutti --senza-foglio-stile --sovrascrivi "$@" >/dev/null 2>&1; }
esporta --dal 2004-01-01 --al 2004-03-31 -o "$lavoro/vecchio.xml"
inizio=$(date +%s%N)
esporta --dal 2004-01-01 --al 2004-12-31 -o "$lavoro/nuovo.xml"
durata_ms=$(( ($(date +%s%N) - inizio) / 1000000 ))
vecchio=$(sha256sum <"$lavoro/vecchio.xml")
nuovo=$(sha256sum <"$lavoro/nuovo.xml")
[ "$vecchio" != "$nuovo" ] || { echo "the two exports do not differ"; exit 1; }
esporta --dal 2004-01-01 --al 2004-12-31 -o "$lavoro/nuovo2.xml"
[ "$(sha256sum <"$lavoro/nuovo2.xml")" = "$nuovo" ] || { echo "the export is not reproducible"; exit 1; }

destinazione="$lavoro/uscita/estratto.xml"
n_vecchio=0; n_nuovo=0; n_misto=0; max_temporanei=0; n_nel_salvataggio=0; temporanei_visti=0
for ((i = 1; i <= uccisioni; i++)); do
  cp "$lavoro/vecchio.xml" "$lavoro/uscita/.copia" && mv "$lavoro/uscita/.copia" "$destinazione"
  "$bin/travasa-cli" --tutti --senza-foglio-stile --sovrascrivi --dal 2004-01-01 --al 2004-12-31 \
    -o "$destinazione" >/dev/null 2>&1 &
  pid=$!
  # A moment anywhere in the export's run (odd rounds), or in its last part, where the
  # file is written (even rounds); a little beyond its end now and then.
  attesa=$(awk -v s="$RANDOM" -v d="$durata_ms" -v i="$i" \
    'BEGIN { srand(s); a = (i % 2) ? 0 : 0.6; printf "%.3f", (a + rand() * (1.3 - a)) * d / 1000 }')
  sleep "$attesa"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  case "$(sha256sum <"$destinazione")" in
    "$vecchio") n_vecchio=$((n_vecchio + 1)) ;;
    "$nuovo") n_nuovo=$((n_nuovo + 1)) ;;
    *) n_misto=$((n_misto + 1)); cp "$destinazione" "$lavoro/misto-$i.xml" ;;
  esac
  t=$(find "$lavoro/uscita" -name '.estratto.xml.vq*' | wc -l)
  ((t > max_temporanei)) && max_temporanei=$t
  ((t > temporanei_visti)) && n_nel_salvataggio=$((n_nel_salvataggio + 1))
  temporanei_visti=$t
done
temporanei_prima=$(find "$lavoro/uscita" -name '.estratto.xml.vq*' | wc -l)
esporta --dal 2004-01-01 --al 2004-12-31 -o "$destinazione"
temporanei_dopo=$(find "$lavoro/uscita" -name '.estratto.xml.vq*' | wc -l)
cartelle_motore=$(find "$TMPDIR" -mindepth 1 -maxdepth 1 | wc -l)
intero=$([ "$(sha256sum <"$destinazione")" = "$nuovo" ] && echo si || echo NO)

echo "esportazione uccisa: $uccisioni uccisioni (export di ${durata_ms} ms, $operazioni operazioni)"
echo "  file vecchio intero: $n_vecchio, file nuovo intero: $n_nuovo, misti: $n_misto"
echo "  uccisioni durante il salvataggio (un temporaneo nuovo lasciato): $n_nel_salvataggio"
echo "  temporanei: al massimo $max_temporanei durante la prova, $temporanei_prima prima dell'ultima esportazione, $temporanei_dopo dopo (file finale intero: $intero)"
echo "  cartelle lasciate nella cartella temporanea dal motore: $cartelle_motore"
[ "$n_misto" -eq 0 ] && [ "$temporanei_dopo" -eq 0 ] && [ "$intero" = si ]
