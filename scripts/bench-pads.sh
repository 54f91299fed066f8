#!/usr/bin/env bash
# How a bench of simulated pads scales: a 64 KiB image at 1 ms simulated latency, updated on
# 1, 4, 16 and 32 pads at once by one morvik-update --all. Prints wall time, its ratio to one
# pad, CPU time per pad and the program's peak memory. Not a test: the figures are for README.
#   bash scripts/bench-pads.sh [PADS...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo >/dev/null
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake --preset demo >/dev/null
cmake --build --preset demo -j"$(nproc)" --target morvik-update >/dev/null
program=build/demo/linux/morvik-update
source scripts/lib/e2e.sh

image=build/bench-pads/image-64k.dat
mkdir -p "$(dirname "$image")"
make_image 123 0x11223344 65536 "$image"

printf '%5s %9s %9s %13s %12s\n' pads wall_s "x 1 pad" cpu_ms_per_pad peak_rss_MB
one=""
for pads in "${@:-1 4 16 32}"; do
  for n in $pads; do
    out=$(/usr/bin/time -f '%e %U %S %M' "$program" --simulate --sim-pads "$n" --sim-latency-us 1000 --all --yes \
            "$image" 2>&1 >/dev/null | tail -1)
    read -r wall user sys rss <<<"$out"
    one=${one:-$wall}
    awk -v n="$n" -v w="$wall" -v o="$one" -v u="$user" -v s="$sys" -v r="$rss" \
      'BEGIN { printf "%5d %9.2f %9.2f %13.1f %12.1f\n", n, w, w / o, (u + s) * 1000 / n, r / 1024 }'
  done
done
