#!/usr/bin/env bash
# The update page's scenarios in the system's Chromium, headless, against the simulated pad put
# behind navigator.hid: builds the page (web preset), installs the browser driver pinned in
# web/tests/package-lock.json, and runs web/tests/page.test.js. Ends with "N passed, N failed";
# the screenshots it takes land in build/web-demo/screenshots. The page tested is build/web-demo's,
# which trusts a demo feed key made there (web/tools/build-demo-page.sh); the rows sign their
# feeds with it, using morvik-feed of the same build as MORVIK_UPDATE.
#   bash scripts/test-web.sh [MORVIK_UPDATE]   the CLI whose --trace the page's reports must match
#                                              (default: build/dev's, else one built with the demo preset)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh web

cli=${1:-build/dev/linux/morvik-update}
if [ ! -x "$cli" ]; then
  cmake --preset demo >/dev/null
  cmake --build --preset demo -j "$(nproc)" --target morvik-update morvik-feed
  cli=build/demo/linux/morvik-update
fi
bash web/tools/build-demo-page.sh "$(dirname "$cli")/../feed/tool/morvik-feed" >/dev/null

(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node web/tests/page.test.js build/web-demo "$cli" build/web-demo/screenshots
