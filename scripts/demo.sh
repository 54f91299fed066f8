#!/usr/bin/env bash
# Demo from a fresh clone: installs what the demo needs (a compiler, CMake, Ninja, hidapi; not
# the test suite's toolchains), builds morvik-update alone, makes a sample firmware image and
# updates a simulated pad with it, showing the progress bar. Everything it makes is in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" --target morvik-update

# Sample image: version 1.23, 64 KiB of payload; the header's words are little-endian.
image=build/demo/sample-v1.23.dat
mkdir -p "$(dirname "$image")"
payload_bytes=65536
{
  printf '\x7b\x00\x00\x00'                 # version 123, shown as 1.23
  printf '\x00\x00\x00\x00'                 # opaque word
  printf '\x00\x00\x01\x00'                 # image length 65536
  head -c 16 /dev/zero                      # reserved header bytes
  head -c "$payload_bytes" /dev/urandom     # the firmware itself
} >"$image"

echo
build/demo/linux/morvik-update --info "$image"
echo
# The simulated pad answers each report 2 ms after it arrived, about as slowly as a real pad
# over USB, so the update takes a few seconds and the bar can be watched.
exec build/demo/linux/morvik-update --simulate --sim-latency-us "${DEMO_LATENCY_US:-2000}" --yes "$image"
