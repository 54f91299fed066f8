#!/usr/bin/env bash
# End-to-end scenarios of morvik-update --latest against the maker's feed: feeds published with
# morvik-feed, served by a local HTTPS server on 127.0.0.1 (linux/e2e/feed_server.mjs, with a CA
# and a server certificate made here by openssl) and from file:// URLs, and a simulated pad whose
# --trace shows what it got. Each scenario leaves build/feed-e2e/<scenario>/output.
#
#   scripts/test-feed.sh [--preset dev|asan] [scenario...]   all scenarios, or the named ones
#
# Ends with "N passed, N failed"; exits non-zero when a scenario failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=lib/e2e.sh
source "$root/scripts/lib/e2e.sh"
read_preset "$@"
shift "$preset_words"
build=$root/build/$preset
work=$root/build/feed-e2e
[ "$preset" = dev ] || work=$root/build/feed-e2e-$preset
program=$build/linux/morvik-update
tool=$build/feed/tool/morvik-feed

echo "=== feed e2e ($preset): build morvik-update and morvik-feed"
cmake --preset "$preset" >/dev/null || exit 1
cmake --build --preset "$preset" -j 2 --target morvik-update morvik-feed >/dev/null || { echo "feed e2e: build failed"; exit 1; }
rm -rf "$work"
mkdir -p "$work/sites"
cd "$work" || exit 1
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

# The server's CA and certificate, and the maker's keys.
# Changes the byte at <offset> of <file>, whatever it was (the images are random).
flip_byte() {  # <file> <offset>
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
quiet() { "$@" >/dev/null 2>&1 || { echo "feed e2e: $* failed"; exit 1; }; }
ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
quiet openssl req -x509 "${ec[@]}" -keyout ca.key -out ca.pem -days 2 -subj /CN=morvik-test-ca
quiet openssl req "${ec[@]}" -keyout server.key -out server.csr -subj /CN=127.0.0.1
quiet openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
  -extfile <(printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n')
quiet "$tool" keygen maker.pem
quiet "$tool" keygen stranger.pem

# Sites: good (serial 2, releases 1.10 and 1.23), old (the same at serial 1), and one of each fault.
notes=(--notes-en "Fixes the D-pad." --notes-zh "修复方向键。")
make_image 110 0x11223344 4096 pad-1.10.dat
make_image 123 0x11223344 65536 pad-1.23.dat
quiet "$tool" add sites/good pad-1.10.dat "${notes[@]}"
quiet "$tool" add sites/good pad-1.23.dat "${notes[@]}" --urgency high
quiet "$tool" sign sites/good --key maker.pem
cp -r sites/good sites/old
quiet "$tool" sign sites/good --key maker.pem
cp -r sites/good sites/changed-image
flip_byte sites/changed-image/pad-1.23.dat 4000
cp -r sites/good sites/changed-feed
sed -i 's/Fixes/Breaks/' sites/changed-feed/feed.json
cp -r sites/good sites/stranger
quiet "$tool" sign sites/stranger --key stranger.pem
# Expired: the maker's key signs, with the openssl command, a feed whose expiry has passed.
cp -r sites/good sites/expired
sed -i 's/"expires": "[^"]*"/"expires": "2026-01-02T00:00:00Z"/; s/"issued": "[^"]*"/"issued": "2026-01-01T00:00:00Z"/' \
  sites/expired/feed.json
rs=$(openssl dgst -sha256 -sign maker.pem sites/expired/feed.json | openssl asn1parse -inform DER |
  sed -n 's/.*INTEGER *://p' | while read -r n; do printf '%064s' "$n" | tr ' ' 0; done)
printf '{"key_id": "%s", "algorithm": "ecdsa-p256-sha256", "signature": "%s"}\n' \
  "$(sed -n 's/.*"key_id": "\(.*\)".*/\1/p' sites/good/feed.json.sig)" "$(xxd -r -p <<<"$rs" | base64 -w0)" \
  >sites/expired/feed.json.sig

node "$root/linux/e2e/feed_server.mjs" sites server.key server.pem >server.port &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s server.port ] && break; sleep 0.1; done
[ -s server.port ] || { echo "feed e2e: the HTTPS server did not start"; exit 1; }
https=https://127.0.0.1:$(cat server.port)

# name | the feed | morvik-update's options beyond --latest | state (fresh, or the shared one) |
# exit status | a text it prints | what the pad got (exact: release 1.23 byte for byte; nothing; empty:
# not checked)
scenarios=(
  "newest|$https/ok/good/|--sim-version 110|shared|0|Release 1.23 of the feed (serial 2|exact"
  "file-url|file://$work/sites/good/feed.json||fresh|0|Firmware updated to v1.23|exact"
  "one-redirect|$https/redirect/good/||fresh|0|Firmware updated to v1.23|exact"
  "all-eight|$https/ok/good/|--all --sim-pads 8 --log|fresh|0|8 updated, 0 failed, 0 skipped|log"
  "download-bar|$https/ok/good/|--tty|fresh|0|Downloading pad-1.23.dat [####################] 64.0 KiB / 64.0 KiB|exact"
  "info-release|$https/ok/good/|--info=pad-1.23.dat|fresh|0|In the feed:   yes: release 1.23 of the feed, signed by key|"
  "info-not-in-feed|$https/ok/good/|--info=sites/changed-image/pad-1.23.dat|fresh|0|In the feed:   no: the file is not a release|"
  "info-json|$https/ok/good/|--info=pad-1.10.dat --json|fresh|0|\"feed_serial\":2,\"feed_key_id\":|"
  "info-untrusted-key|$https/ok/stranger/|--info=pad-1.23.dat|fresh|14|signed by a key that is not trusted|"
  "up-to-date|$https/ok/good/|--sim-version 123|fresh|0|it is up to date|nothing"
  "force|$https/ok/good/|--sim-version 123 --force|fresh|0|Firmware updated to v1.23|exact"
  "up-to-date-json|$https/ok/good/|--sim-version 123 --json|fresh|0|\"outcome\":\"skipped\",\"reason\":\"it already runs v1.23|"
  "no-such-release|$https/ok/good/|--release 1.24|fresh|14|has no release 1.24|nothing"
  "lower-serial|$https/ok/old/||shared|14|older than one already seen (lower serial)|nothing"
  "changed-image|$https/ok/changed-image/||fresh|14|pad-1.23.dat is refused: the image's SHA-256 is not|nothing"
  "changed-feed|$https/ok/changed-feed/||fresh|14|signature does not verify|nothing"
  "untrusted-key|$https/ok/stranger/||fresh|14|signed by a key that is not trusted|nothing"
  "expired|$https/ok/expired/||fresh|14|the feed has expired (on 2026-01-02T00:00:00Z)|nothing"
  "not-found|$https/ok/nowhere/||fresh|19|$https/ok/nowhere/feed.json: the server answered HTTP 404|nothing"
  "server-error|$https/status/500/||fresh|19|the server answered HTTP 500|nothing"
  "stalled|$https/stall/good/||fresh|22|the transfer stalled|nothing"
  "closed-early|$https/close/good/||fresh|21|the connection closed before the whole file came|nothing"
  "redirect-loop|$https/loop/good/||fresh|23|more than 5 redirects|nothing"
  "too-large|$https/huge/good/||fresh|20|larger than 1048576 bytes|nothing"
  "no-ca|$https/ok/good/|--no-cacert|fresh|18|the TLS connection failed|nothing"
  "refused|https://127.0.0.1:1/||fresh|17|the connection was refused|nothing"
  "unknown-host|https://feed.invalid/||fresh|16|the host name cannot be resolved|nothing"
  "plain-http|http://example.com/||fresh|2|plain http to another machine|nothing"
  "offline|$https/ok/good/|--offline|shared|0|Firmware updated to v1.23|exact"
  "offline-changed-cache|$https/ok/good/|--offline --change-cache|shared|14|the cached image|nothing"
  "offline-nothing|$https/ok/good/|--offline|fresh|24|is cached (run once without --offline)|nothing"
)

run_scenario() {  # <name> <feed> <options> <state> <status> <text> <pad check>
  local name=$1 feed=$2 options=$3 state=$4 status=$5 text=$6 pad_check=$7
  local dir=$work/$name home=$work/$4-state
  [ "$state" = fresh ] && home=$dir/state
  mkdir -p "$dir" "$home"
  echo "--- $name"
  local what=(--simulate --yes --latest) args=(--feed "$feed" --feed-key "$work/maker.pub.pem" --cacert "$work/ca.pem")
  # --trace follows one pad: a bench row shows its outcome lines instead, and --info sends nothing.
  [[ " $options " == *" --all "* || " $options " == *" --info="* || " $options " == *" --json "* ]] ||
    what=(--trace "${what[@]}")
  local option tty=
  for option in $options; do
    case $option in
      --no-cacert) args=("${args[@]:0:$((${#args[@]} - 2))}") ;;
      --info=*) what=(--info "$work/${option#--info=}") ;;
      --log) args+=(--log "$dir/log") ;;
      --tty) tty=1 ;;  # the output is a terminal, as a person's
      --change-cache)
        flip_byte "$(find "$home/cache" -name pad-1.23.dat)" 4000 ;;
      *) args+=("$option") ;;
    esac
  done
  args=("${what[@]}" "${args[@]}")
  if [ -n "$tty" ]; then
    XDG_CACHE_HOME=$home/cache XDG_STATE_HOME=$home/state timeout 120 \
      script -qefc "$(printf '%q ' "$program" "${args[@]}")" /dev/null </dev/null >"$dir/output" 2>&1
  else
    XDG_CACHE_HOME=$home/cache XDG_STATE_HOME=$home/state timeout 120 "$program" "${args[@]}" </dev/null \
      >"$dir/output" 2>&1
  fi
  local got=$?
  grep -Ev '^(Progress: |in |out )' "$dir/output" | sed 's/^/  | /'
  check "exit status $status" test "$got" = "$status"
  check "it says: $text" file_has "$dir/output" "$text"
  # The download's bar ends its line before the update's bar is drawn.
  [ -n "$tty" ] && check "no bar is drawn over the download's" sh -c "! grep -a 'KiB/s.*%' '$dir/output'"
  case $pad_check in
    exact)
      sent_frames "$dir/output" | tr -d ' \n' | xxd -r -p >"$dir/sent.dat"
      check "the pad got release 1.23 byte for byte" cmp -s "$work/pad-1.23.dat" "$dir/sent.dat"
      ;;
    nothing) check "nothing went to the pad" test "$(sent_frames "$dir/output" | wc -l)" = 0 ;;
    log)
      check "the session and each outcome line name the feed's release" \
        test "$(grep -c '"feed_release":"1.23","feed_serial":2,"feed_key_id":"[0-9a-f]*","feed_verified":true' \
          "$dir/log")" = 9
      ;;
  esac
}

check_tool_verify() {
  echo "--- morvik-feed verify"
  local out
  out=$("$tool" verify "$https/ok/good/" --key "$work/maker.pub.pem" --cacert "$work/ca.pem" 2>&1)
  check "morvik-feed verifies the served feed and its images" text_has "$out" "The feed and every image verified."
  out=$("$tool" verify "$https/ok/changed-image/" --key "$work/maker.pub.pem" --cacert "$work/ca.pem" 2>&1)
  check "... and names the changed image" text_has "$out" "REFUSED: pad-1.23.dat: the image's SHA-256 is not"
}
selected tool-verify "$@" && run_scenario_named tool-verify check_tool_verify
run_scenarios run_scenario "$@"
scenario_summary
