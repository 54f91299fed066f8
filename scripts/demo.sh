#!/usr/bin/env bash
# Demo from a fresh clone: installs what the demo needs (a compiler, CMake, Ninja, hidapi; not
# the test suite's toolchains), builds morvik-update alone, makes a sample firmware image and
# updates a simulated pad with it, showing the progress bar. Everything it makes is in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" --target morvik-update morvik-feed

# Sample image: version 1.23, 64 KiB of payload.
source scripts/lib/e2e.sh
image=build/demo/sample-v1.23.dat
mkdir -p "$(dirname "$image")"
make_image 123 0 65536 "$image"

echo
build/demo/linux/morvik-update --info "$image"
echo
# The simulated pad answers each report 2 ms after it arrived, about as slowly as a real pad
# over USB, so the update takes a few seconds and the bar can be watched.
build/demo/linux/morvik-update --simulate --sim-latency-us "${DEMO_LATENCY_US:-2000}" --yes "$image"

# The same release from the maker's signed feed: morvik-feed publishes the image in a folder with
# a key made here (never kept anywhere else), and --latest fetches, verifies and sends it.
echo
demo=$PWD/build/demo
rm -rf "$demo/site" "$demo/maker.pem" "$demo/maker.pub.pem" "$demo/feed-cache" "$demo/feed-state"
"$demo/feed/tool/morvik-feed" keygen "$demo/maker.pem"
"$demo/feed/tool/morvik-feed" add "$demo/site" "$image" --notes-en "Sample release." --notes-zh "示例版本。"
"$demo/feed/tool/morvik-feed" sign "$demo/site" --key "$demo/maker.pem"
echo
XDG_CACHE_HOME=$demo/feed-cache XDG_STATE_HOME=$demo/feed-state exec "$demo/linux/morvik-update" --simulate \
  --sim-latency-us "${DEMO_LATENCY_US:-2000}" --yes --latest --feed "file://$demo/site/" --feed-key "$demo/maker.pub.pem"
