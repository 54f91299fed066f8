#!/usr/bin/env bash
# Shows that the end-to-end suites hold on a busy machine: while stress-ng keeps every core
# busy, runs the Linux end-to-end suite (scripts/test-linux-pad.sh, dev build) LINUX_RUNS times
# in a row and the page's suite (scripts/test-web.sh) PAGE_RUNS times, printing each run's time
# and outcome, and stops at the first failing run (its output stays in build/steady/).
#   bash scripts/test-steady.sh [LINUX_RUNS] [PAGE_RUNS]      default 10 and 3
# Not part of scripts/test.sh: it takes about an hour on two cores.
set -uo pipefail
cd "$(dirname "$0")/.."
linux_runs=${1:-10}
page_runs=${2:-3}
bash scripts/setup.sh steady >/dev/null || exit 1
cmake --preset dev >/dev/null && cmake --build --preset dev -j "$(nproc)" >/dev/null || { echo "steady: build failed"; exit 1; }
out=build/steady
mkdir -p "$out"

stress-ng --cpu "$(nproc)" --timeout 3h >/dev/null 2>&1 &
stress=$!
trap 'kill "$stress" 2>/dev/null' EXIT
echo "stress-ng --cpu $(nproc) runs as process $stress"

repeat() {  # <name> <runs> <command...>
  local name=$1 runs=$2 k start took
  shift 2
  for k in $(seq "$runs"); do
    start=$EPOCHREALTIME
    "$@" >"$out/$name-$k.log" 2>&1
    local status=$?
    took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
    echo "$name run $k of $runs: $(grep -E '^[0-9]+ passed, [0-9]+ (failed|skipped)' "$out/$name-$k.log" | tail -n 1) in $took s"
    if [ "$status" != 0 ]; then
      echo "$name run $k failed (status $status); its output: $out/$name-$k.log"
      grep -E -A1 'FAILED|waited .* in vain|^FAIL ' "$out/$name-$k.log" | head -n 20
      exit 1
    fi
  done
}
repeat linux "$linux_runs" bash scripts/test-linux-pad.sh --preset dev
repeat page "$page_runs" bash scripts/test-web.sh build/dev/linux/morvik-update
echo "steady: every run passed under load"
