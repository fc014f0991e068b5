#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs from there:
# a file missing from the install rules, a library found only through the build tree or
# a link in bin/ that does not lead to its program fails here.
#
# Usage: prova_installazione.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefisso=$tmp/prefisso
export XDG_CONFIG_HOME=$tmp/config
unset VQ_REGISTRO_DIR

errore() { echo "prova_installazione: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefisso" >/dev/null
cartella=$prefisso/lib/travasa

# The folder holds everything the programs load and read.
for f in travasa travasa-cli vqjetload mirtesa-installa-demo regsvr libtessadati.so libmirtesahost.so \
         libvqautomation.so libvqregistry.so libvqjet.so travasa.htm template/html/css.xsl; do
  [ -e "$cartella/$f" ] || errore "manca lib/travasa/$f"
done
for f in share/applications/travasa.desktop share/icons/hicolor/scalable/apps/travasa.svg \
         share/man/man1/travasa-cli.1; do
  [ -e "$prefisso/$f" ] || errore "manca $f"
done
for p in travasa travasa-cli mirtesa-installa-demo; do
  [ -L "$prefisso/bin/$p" ] || errore "bin/$p non è un collegamento"
  [ "$(readlink -f "$prefisso/bin/$p")" = "$(readlink -f "$cartella/$p")" ] || errore "bin/$p non porta a lib/travasa/$p"
done

# Self-contained: every library resolved, our own ones from the folder itself.
for f in "$cartella"/*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  file -b "$f" | grep -q ELF || continue
  if ldd "$f" | grep -q "not found"; then errore "$(basename "$f"): $(ldd "$f" | grep 'not found')"; fi
  if ldd "$f" | grep -E 'lib(vq|tessadati|mirtesahost)' | grep -v "=> $cartella/" | grep -q .; then
    errore "$(basename "$f") carica le nostre librerie fuori da lib/travasa"
  fi
done

# The installed programs, through their links, on a generated household (Jet 4).
"$prefisso/bin/mirtesa-installa-demo" "$tmp/host" --operazioni 500 --seme 12 --formato jet4 >/dev/null
mkdir -p "$tmp/uscita"
set +e
"$prefisso/bin/travasa-cli" --tutti -o "$tmp/uscita/estratto.xml" 2>"$tmp/err"
stato=$?
set -e
[ $stato -eq 0 ] || { cat "$tmp/err" >&2; errore "travasa-cli è uscito con $stato"; }
[ -s "$tmp/uscita/estratto.xml" ] || errore "estratto.xml non scritto"
[ -s "$tmp/uscita/estratto.xsl" ] || errore "il foglio di stile non è stato copiato"
righe=$(xmllint --xpath "count(/dataset_operazioni/tabella_operazioni)" "$tmp/uscita/estratto.xml")
[ "$righe" -eq 500 ] || errore "$righe movimenti esportati invece di 500"
grep -q "Totale record esportati: 500" "$tmp/err" || errore "messaggio finale mancante: $(cat "$tmp/err")"
echo "installazione in $prefisso: ok ($righe movimenti)"
