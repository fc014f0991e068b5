#!/usr/bin/env bash
# Registry store figures. Usage: bench/registro/run.sh <bin folder> [classes]
set -euo pipefail
bin=${1:?bin folder}
"$bin/bench_registro" "${2:-5000}"
