#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a fixed time (seconds, default 60),
# starting from its seed corpus in fuzz/<target>/corpus. Each run keeps its folder,
# build/fuzz/esiti/<target>-<time>/: the inputs it found (corpus/), the log, and any
# input that crashed, hung or grew (crash-*, timeout-*, oom-*, leak-*), whose names are
# printed. Add such an input to fuzz/<target>/corpus once fixed: the test run replays it.
# Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}; shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for d in fuzz/*/; do
    t=$(basename "$d")
    [ -x "build/fuzz/bin/fuzz_$t" ] && targets+=("$t")
  done
fi
status=0
for t in "${targets[@]}"; do
  work="build/fuzz/esiti/$t-$(date +%Y%m%d-%H%M%S)"
  mkdir -p "$work/corpus"
  seeds=()
  [ -d "fuzz/$t/corpus" ] && seeds=("fuzz/$t/corpus")
  echo "fuzz: $t for ${secs}s (kept in $work)"
  if ! "build/fuzz/bin/fuzz_$t" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "${seeds[@]}" >"$work/log" 2>&1; then
    echo "fuzz: $t FAILED"; tail -n 40 "$work/log"; status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -n 2 || true
  fi
  for f in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-* "$work"/slow-unit-*; do
    [ -e "$f" ] && echo "fuzz: $t kept failing input $f"
  done
done
exit $status
