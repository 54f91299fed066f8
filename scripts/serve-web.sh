#!/usr/bin/env bash
# Builds the update page and serves it on this computer (a secure context, as WebHID needs):
#   bash scripts/serve-web.sh [PORT]     (default 8080), then open http://127.0.0.1:PORT/ in Chrome or Edge
# Beside it, a demo feed of two sample releases (build/web-demo/demo-feed), signed with a demo key
# made in build/web-demo/demo-key, which this page (build/web-demo/site) trusts. The page to
# publish is build/web's: it trusts only the keys it is built with (docs/feed.md), and its folder
# can be copied to any web server that serves it over HTTPS, with the maker's feed beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
bash scripts/setup.sh page
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" --target morvik-feed
tool=build/demo/feed/tool/morvik-feed
key=$(bash web/tools/build-demo-page.sh "$tool")

# The demo feed, made anew from sample images: an older release and the newest.
source scripts/lib/e2e.sh
feed=build/web-demo/demo-feed
rm -rf "$feed" && mkdir -p "$feed.images"
make_image 110 0 32768 "$feed.images/morvik-pad-1.10.dat"
make_image 123 0 65536 "$feed.images/morvik-pad-1.23.dat"
"$tool" add "$feed" "$feed.images/morvik-pad-1.10.dat" --date 2026-10-02 \
  --notes-en "The first release." --notes-zh "首个版本。" >/dev/null
"$tool" add "$feed" "$feed.images/morvik-pad-1.23.dat" --date 2026-11-28 --urgency high \
  --notes-en "Fixes the D-pad's diagonals." --notes-zh "修复方向键的斜向输入。" >/dev/null
"$tool" sign "$feed" --key "$key"
exec node web/tools/serve.mjs build/web-demo/site "${1:-8080}" "/=$feed"
