#!/usr/bin/env bash
# Builds the update page and serves it on this computer (a secure context, as WebHID needs):
#   bash scripts/serve-web.sh [PORT]     (default 8080), then open http://127.0.0.1:PORT/ in Chrome or Edge
# The page is static: build/web/site can be copied to any web server that serves it over HTTPS.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh page
cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)" --target morvik_site
exec node web/tools/serve.mjs build/web/site "${1:-8080}"
