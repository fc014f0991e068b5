#!/usr/bin/env bash
# The main job on bundled demo data: installs what is missing, builds the programs, lays
# out a demo host installation under build/demo (Mirtesa.exe 3.3.0.0 with its version
# resource, the empty template mirtesa.dat, a generated household of 3,000 transactions in
# a password-protected Jet 3 database, the components registered in a registry store of
# its own, so the user's real settings are untouched), then:
#   - with a display ($DISPLAY or $WAYLAND_DISPLAY): opens the Travasa window on it;
#   - without one: exports the whole household with travasa-cli --tutti --html and says
#     where the XML file, its stylesheet and the page are.
#
# Usage: scripts/demo.sh [travasa-cli options]   (options given: the command-line export
#        runs with them instead of --tutti, even with a display)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# The build folder: build/default, or another one named by VQ_CARTELLA_BUILD.
build=${VQ_CARTELLA_BUILD:-build/default}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target \
  mirtesa-installa-demo travasa travasa-cli tessadati mirtesahost vqjetload \
  travasa_foglio_stile travasa_pagina_aiuto

bin=$(cd "$build" && pwd)/bin
demo=$PWD/build/demo
rm -rf "$demo"
mkdir -p "$demo/esportazioni"
export XDG_CONFIG_HOME="$demo/config"
unset VQ_REGISTRO_DIR

"$bin/mirtesa-installa-demo" "$demo/host" --operazioni 3000 --seme 2004
echo

if (($# == 0)) && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Apro la finestra di Travasa; si può esportare, per esempio, in"
  echo "$demo/esportazioni/estratto.xml"
  exec "$bin/travasa"
fi

if (($# == 0)); then set -- --tutti; fi
# travasa-cli says where it wrote the XML file, the stylesheet and the page.
"$bin/travasa-cli" "$@" --html -o "$demo/esportazioni/estratto.xml"
