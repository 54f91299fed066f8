#!/usr/bin/env bash
# The update page's scenarios in the system's Chromium, headless, against the simulated pad put
# behind navigator.hid: builds the page (web preset), installs the browser driver pinned in
# web/tests/package-lock.json, and runs web/tests/page.test.js. Ends with "N passed, N failed";
# the screenshots it takes land in build/web/screenshots.
#   bash scripts/test-web.sh [MORVIK_UPDATE]   the CLI whose --trace the page's reports must match
#                                              (default: build/dev's, else one built with the demo preset)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh web

cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)"

cli=${1:-build/dev/linux/morvik-update}
if [ ! -x "$cli" ]; then
  cmake --preset demo >/dev/null
  cmake --build --preset demo -j "$(nproc)" --target morvik-update
  cli=build/demo/linux/morvik-update
fi

(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node web/tests/page.test.js build/web "$cli" build/web/screenshots
