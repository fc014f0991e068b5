#!/usr/bin/env bash
# The long fuzzing run, by hand: every libFuzzer target (or those named) for MINUTES each
# (default 30) under ASan+UBSan, one at a time, from its seed corpus. Inputs that crash,
# leak, hang or grow past the memory limit are kept in fuzz/<target>/trovati/ (add them to
# the corpus once fixed); new coverage goes to a work corpus under build/fuzz-lungo/.
# Ends with one line per target and a non-zero status when any target found something.
# Usage: scripts/fuzz-lungo.sh [MINUTES] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
minuti=${1:-30}; shift || true
cmake --preset fuzz >/dev/null
targets=("$@")
if ((${#targets[@]} == 0)); then
  for d in fuzz/*/; do
    [ -f "$d/CMakeLists.txt" ] && targets+=("$(basename "$d")")
  done
fi
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz_}"
status=0
riepilogo=()
for t in "${targets[@]}"; do
  bin="build/fuzz/bin/fuzz_$t"
  [ -x "$bin" ] || { riepilogo+=("$t: non compilato"); status=1; continue; }
  lavoro="build/fuzz-lungo/$t"
  trovati="fuzz/$t/trovati"
  mkdir -p "$lavoro/corpus" "$trovati"
  seeds=()
  [ -d "fuzz/$t/corpus" ] && seeds=("fuzz/$t/corpus")
  echo "fuzz-lungo: $t per $minuti minuti"
  inizio=$(date +%s)
  if "$bin" -max_total_time=$((minuti * 60)) -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 \
       -artifact_prefix="$trovati/" "$lavoro/corpus" "${seeds[@]}" >"$lavoro/log" 2>&1; then
    esito="pulito"
  else
    esito="TROVATO (vedi $lavoro/log)"; status=1
  fi
  esecuzioni=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$lavoro/log" | grep -Eo '[0-9]+$' || echo 0)
  rmdir "$trovati" 2>/dev/null || true
  riepilogo+=("$t: $esito, $esecuzioni esecuzioni in $(( $(date +%s) - inizio )) s")
done
printf '%s\n' "${riepilogo[@]}"
exit $status
