#!/usr/bin/env bash
# Automation runtime figures. Usage: bench/automazione/run.sh <bin folder> [rows]
set -euo pipefail
bin=${1:?bin folder}
"$bin/bench_automazione" "${2:-100000}"
