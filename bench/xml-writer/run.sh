#!/usr/bin/env bash
# Usage: run.sh <bin folder>. Prints time, peak memory and size of a 32,767-row export,
# and its ratio to the I/O floor (the same bytes written with a plain buffered write).
set -euo pipefail
bin="${1:?usage: run.sh <bin folder>}"
exec "$bin/bench_xml_writer" 32767
