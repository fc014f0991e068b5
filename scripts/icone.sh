#!/usr/bin/env bash
# Draws the window's pictures (assets/immagini/NAME-SIZE.png) from the SVG images, at the
# sizes the window uses: the program's icon for the title bar and the task bar, the two
# small button images at their size and twice it.
# Usage: scripts/icone.sh [build folder, default build/default]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target icone >/dev/null
icone="$build/bin/icone"
"$icone" assets/immagini/travasa.svg 16 32 48 64
"$icone" assets/immagini/aiuto.svg 16 32
"$icone" assets/immagini/esporta.svg 16 32
ls assets/immagini/*.png
