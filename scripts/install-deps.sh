#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: when everything is already present it installs nothing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # style check (scripts/stile.sh)
  clang-format clang-tidy
  # tests
  libgtest-dev libgmock-dev
  # Jet files: reader library, its tools (cross-checks), glib for its headers
  mdbtools mdbtools-dev libglib2.0-dev
  # query engine and text order
  libsqlite3-dev sqlite3 libicu-dev
  # window, XML document, compressed setup files, JSON test specs
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libpugixml-dev libmspack-dev nlohmann-json3-dev
  # PE version resources built by the tests, and a cross-check reader
  llvm lld libimage-exiftool-perl
  # stylesheet check
  xsltproc libxml2-utils
  # the page travasa-cli renders in process
  libxslt1-dev
  # the Italian texts of the window toolkit's own dialogs
  qt6-translations-l10n
  # headless window tests and screenshots
  xvfb xauth
  # opening documents and addresses with the desktop's handlers (file: their types)
  xdg-utils file
  # the Debian package: its dependencies from the shared libraries (cpack -G DEB)
  dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Node.js and npm carry the second independent Jet reader. A machine may already have a
# Node.js of its own that bundles npm (and conflicts with Debian's npm package): keep it.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# The npm reader used by the cross-checks lives in the project's tools/node folder,
# pinned by its lock file. Installed once; nothing is fetched when it is present.
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -f "$here/tools/node/package.json" ] && [ ! -d "$here/tools/node/node_modules/mdb-reader" ]; then
  echo "install-deps: installing the npm reader in tools/node"
  (cd "$here/tools/node" && npm ci --no-audit --no-fund --silent </dev/null)
fi
exit 0
