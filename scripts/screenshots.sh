#!/usr/bin/env bash
# Remakes the README's two pictures from the programs as built:
#   docs/finestra.png  the Travasa window on the demo household, under Xvfb with a window
#                      manager (for the frame and the caption), a selection made from the
#                      keyboard as a person would;
#   docs/pagina.png    the page exported for the same selection, in headless Chromium.
# Installs what it needs beyond the project's own dependencies (Chromium, a window
# manager, xdotool) and the Italian locale, for the month names of the period.
set -euo pipefail
cd "$(dirname "$0")/.."
radice=$PWD

bash scripts/install-deps.sh
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
mancanti=()
for p in chromium openbox xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || mancanti+=("$p")
done
if ((${#mancanti[@]})); then
  echo "screenshots: installo ${mancanti[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${mancanti[@]}" </dev/null
fi
if ! locale -a | grep -qi '^it_IT\.utf-\?8$'; then
  $SUDO localedef -i it_IT -f UTF-8 it_IT.UTF-8
fi

# The build folder: build/default, or another one named by VQ_CARTELLA_BUILD.
build=${VQ_CARTELLA_BUILD:-build/default}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target \
  mirtesa-installa-demo travasa travasa-cli cattura-schermo tessadati mirtesahost vqjetload \
  travasa_foglio_stile travasa_pagina_aiuto

bin=$(cd "$build" && pwd)/bin
lavoro=$radice/build/screenshots
rm -rf "$lavoro"
mkdir -p "$lavoro/esportazioni" docs
export XDG_CONFIG_HOME=$lavoro/config
unset VQ_REGISTRO_DIR
export LC_ALL=it_IT.UTF-8
"$bin/mirtesa-installa-demo" "$lavoro/host" --operazioni 3000 --seme 2004 >/dev/null

# The window: both dates ticked and set (the year 2004), then two entries added, the
# account Casa with all its cash codes and Carta di credito's "Ristoranti e caffè".
cat > "$lavoro/finestra.sh" <<FINE
set -euo pipefail
openbox >/dev/null 2>&1 &
sleep 1
"$bin/travasa" &
programma=\$!
finestra=\$(timeout 20 xdotool search --sync --name "Esporta XML")
sleep 1
xdotool windowactivate --sync "\$finestra" 2>/dev/null || true
tasti() { xdotool key --delay 60 "\$@"; }
tasti space Tab
xdotool type --delay 80 01012004
tasti Tab space Tab
xdotool type --delay 80 31122004
tasti Tab Down Down Down Tab Tab space
tasti shift+Tab shift+Tab Up Tab Down Down Tab space
sleep 1
"$bin/cattura-schermo" "$radice/docs/finestra.png"
kill "\$programma"
FINE
xvfb-run -a -s "-screen 0 800x600x24" bash "$lavoro/finestra.sh"

# The page of the same selection: Casa is account 1, "Ristoranti e caffè" cash code 5.
xml=$lavoro/esportazioni/estratto.xml
"$bin/travasa-cli" --conto 1 --cassa 5 --dal 2004-01-01 --al 2004-12-31 --html -o "$xml" >/dev/null
timeout 120 chromium --headless --no-sandbox --disable-gpu --allow-file-access-from-files \
  --hide-scrollbars --window-size=1100,640 --screenshot="$radice/docs/pagina.png" \
  "file://${xml%.xml}.html" 2>/dev/null
ls -l docs/finestra.png docs/pagina.png
