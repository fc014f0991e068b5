#!/usr/bin/env bash
# The main job on bundled demo data: installs what is missing, builds the programs,
# lays out a demo host installation (a generated household of 3,000 transactions in a
# password-protected Jet 3 database, with its own registry store under build/demo, so
# the user's real settings are untouched), then runs one export through the data
# component: accounts and cash codes listed, filter set, count, totals, rows fetched,
# XML written with the stylesheet beside it, and the page rendered with xsltproc.
#
# Usage: scripts/demo.sh [travasa-cli options]   (default: --tutti --dal 2004-01-01 --al 2004-12-31)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target \
  mirtesa-installa-demo travasa-cli tessadati mirtesahost vqjetload travasa_foglio_stile

bin=build/default/bin
demo=$PWD/build/demo
rm -rf "$demo"
mkdir -p "$demo/esportazioni"
export XDG_CONFIG_HOME="$demo/config"

"$bin/mirtesa-installa-demo" "$demo/host" --operazioni 3000 --seme 2004
echo
if (($# == 0)); then set -- --tutti --dal 2004-01-01 --al 2004-12-31; fi
"$bin/travasa-cli" "$@" --html -o "$demo/esportazioni/estratto.xml"
