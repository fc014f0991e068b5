#!/usr/bin/env bash
# Registry store under concurrent writers, run by hand (not by the test command):
# 4 processes writing 200 values each at once, 20 times, then a write to a damaged hive.
# Usage: tests/affidabilita/registro.sh <bin folder> [processes] [values] [rounds]
set -euo pipefail
bin=${1:?bin folder}
"$bin/affidabilita_registro" "${2:-4}" "${3:-200}" "${4:-20}"
