#!/usr/bin/env bash
# What a person with a real pad waits, measured through the real stacks in one run: a 64 KiB
# update to a pad emulated under umockdev, by morvik-update through hidapi's hidraw backend and by
# the update page in Chromium through the browser's own WebHID stack (as web/tests/chromium-umockdev.sh
# runs it), with the pad answering at once and keeping USB's full-speed clock (1 ms frames, as an
# interrupt endpoint with a 1 ms interval). The pad times the round trips itself, the same way for
# both paths: the gap between one data frame's arrival and the next.
#   bash scripts/measure-stacks.sh [RUNS]          (5 runs of each by default; needs root, as the tests)
# Prints a table: the median of the runs' stream times, round trips per second, and the median
# run's p50/p90/p99 time per round trip; then the page's time over the command line's, in
# markdown, ready for README. Below it, where the page's round trip goes in its median run: its
# own time (the page's stamps around each input report and sendReport, see
# web/site/report-stamps.js) and the time outside it (Chromium's WebHID stack and the pad).
# MORVIK_TRACE=1 also records a Chromium trace of each page run (toplevel and mojom categories)
# in build/measure-stacks/, and sums it per thread (web/tools/trace-breakdown.mjs).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/e2e.sh
runs=${1:-5}

bash scripts/setup.sh >/dev/null
echo "=== build: the page, and morvik-update with the emulated pads (release)"
cmake --preset web >/dev/null && cmake --build --preset web -j "$(nproc)" >/dev/null
cmake --preset release -DMORVIK_BUILD_LINUX_E2E=ON >/dev/null
cmake --build --preset release -j "$(nproc)" --target morvik-update morvik-e2e-pads >/dev/null
(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
cli=build/release/linux/morvik-update
pads=build/release/linux/e2e/morvik-e2e-pads

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_image 123 0x5a5a0001 65536 "$work/image.dat"

stat_of() { sed -n "s/^$2 //p" "$1"; }  # <stats file> <name>

# One run of a path; leaves its stats in $1.
run_once() {  # <stats file> <path: cli|page> <pad options>
  local stats=$1 path=$2 options=$3 dir
  dir=$(dirname "$stats")
  mkdir -p "$dir"
  if [ "$path" = cli ]; then
    # shellcheck disable=SC2086  # the pad's options are words
    "$pads" --pad $options --stats "$stats" -- "$cli" --yes "$work/image.dat" >"$dir/output" 2>&1
  else
    # it leaves the pad's stats in $dir/stats
    MORVIK_PAD_OPTIONS=$options MORVIK_PAGE_MEASURE=1 MORVIK_PAGE_TRACE=${MORVIK_TRACE:-0} bash web/tests/chromium-umockdev.sh build/web/site "$work/image.dat" "$pads" "$dir" \
      >"$dir/output" 2>&1
  fi || { echo "measure: a run of the $path failed:"; tail -n 3 "$dir/output"; exit 1; }
}

breakdowns=()
printf '| pad | path | update (median of %s) | round trips/s | p50 | p90 | p99 |\n|---|---|---|---|---|---|---|\n' "$runs"
declare -A median_ms
for mode in "answers at once|" "keeps USB's clock (1 ms frames)|--usb-frame-us 1000"; do
  label=${mode%%|*} options=${mode#*|}
  for path in cli page; do
    results=()
    for ((run = 1; run <= runs; ++run)); do
      stats="$work/$path-${options// /_}-$run/stats"
      run_once "$stats" "$path" "$options"
      results+=("$(stat_of "$stats" stream_ms) $stats")
    done
    read -r ms stats < <(printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    median_ms[$path$options]=$ms
    trips=$(stat_of "$stats" round_trips)
    name=$([ "$path" = cli ] && echo "morvik-update (hidraw)" || echo "the page (Chromium's WebHID)")
    if [ "$path" = page ]; then
      breakdowns+=("$label: $(sed -n 's/^stamps //p' "$(dirname "$stats")/driver.out" | node web/tools/stamps-line.mjs)")
      if [ "${MORVIK_TRACE:-0}" = 1 ]; then
        trace=build/measure-stacks/trace-${options:-at-once}.json
        mkdir -p build/measure-stacks && cp "$(dirname "$stats")/trace.json" "${trace// /_}"
        breakdowns+=("$(node web/tools/trace-breakdown.mjs "${trace// /_}" "$trips")")
      fi
    fi
    awk -v l="$label" -v n="$name" -v ms="$ms" -v t="$trips" -v p50="$(stat_of "$stats" round_trip_p50_us)" \
      -v p90="$(stat_of "$stats" round_trip_p90_us)" -v p99="$(stat_of "$stats" round_trip_p99_us)" \
      'BEGIN { printf "| %s | %s | %.2f s | %.0f | %.2f ms | %.2f ms | %.2f ms |\n", l, n, ms / 1000, t / (ms / 1000), p50 / 1000, p90 / 1000, p99 / 1000 }'
  done
  awk -v l="$label" -v page="${median_ms[page$options]}" -v cli="${median_ms[cli$options]}" \
    'BEGIN { printf "| %s | page / morvik-update | %.2f x | | | | |\n", l, page / cli }'
done
echo
echo "Where the page's round trip goes (its median run; per round trip):"
printf '%s\n' "${breakdowns[@]}"
