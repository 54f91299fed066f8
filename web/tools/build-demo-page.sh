#!/usr/bin/env bash
# Builds the page for the demo and the tests in build/web-demo, trusting a demo feed key made
# here with the maker's tool (build/web-demo/demo-key/demo.pem, never in the site). build/web,
# the page to publish, trusts only the keys it is configured with (docs/feed.md).
#   bash web/tools/build-demo-page.sh MORVIK_FEED   prints the private key's path
set -euo pipefail
cd "$(dirname "$0")/../.."
tool=$1
key=build/web-demo/demo-key/demo.pem
mkdir -p "$(dirname "$key")"
[ -f "$key" ] || "$tool" keygen "$key" >/dev/null
cmake --preset web -B build/web-demo -DMORVIK_FEED_KEYS="$PWD/build/web-demo/demo-key/demo.pub.pem" >/dev/null
# The preset's environment, which a build by folder does not take: emscripten's tools need it.
NODE_PATH=/usr/share/nodejs cmake --build build/web-demo -j "$(nproc)" >&2
echo "$key"
