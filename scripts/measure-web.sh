#!/usr/bin/env bash
# The update page's size as served (raw, gzip, brotli) and the time of a 64 KiB update in
# headless Chromium beside morvik-update's, against the same simulated pad, in one run:
#   bash scripts/measure-web.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh web
cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target morvik-update
(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node web/tests/measure.mjs build/web build/release/linux/morvik-update "${1:-5}"
