#!/usr/bin/env bash
# A whole update through the real update page, in Debian's Chromium, over the browser's own WebHID
# stack, against an emulated boot-mode pad (USB 0483:5750); the pad must receive the image byte
# for byte.
#
#   bash web/tests/chromium-umockdev.sh SITE_DIR IMAGE PADS_PROGRAM OUT_DIR
#
#   SITE_DIR      the built page (build/web/site)
#   IMAGE         the firmware image to write (the emulated pad starts at v1.10)
#   PADS_PROGRAM  morvik-e2e-pads (build/dev/linux/e2e/morvik-e2e-pads)
#   OUT_DIR       gets pad.trace (reports as the pad saw them), received.dat (the header and
#                 payload the pad received), stats (the stream's time and round trips, as the pad
#                 saw them), page.png (the page at the end), driver.out (the page's texts) and
#                 chromium.log
#   MORVIK_PAD_OPTIONS, if set, are more options of the emulated pad (--usb-frame-us 1000, ...).
#   MORVIK_PAGE_MEASURE=1 opens the page with ?measure: driver.out then holds its stamps of each
#   round trip; MORVIK_PAGE_TRACE=1 records a Chromium trace of the update in OUT_DIR/trace.json.
#
# morvik-e2e-pads builds a umockdev testbed holding the pad's sysfs devices and hidraw node and runs
# the driver (chromium-umockdev-driver.mjs) under umockdev's preload; Chromium inherits it, so its
# udev enumeration and its open/read/write of /dev/hidraw0 reach the emulated pad. The pads
# program runs under the preload as well: only then does umockdev announce the pad to the browser.
# The page takes up a pad it is granted by itself: the managed policy WebHidAllowDevicesForUrls
# grants this one to the page's origin. Debian's Chromium reads managed policies only from
# /etc/chromium/policies/managed, so the run gets a mount namespace of its own in which a copy of
# /etc/chromium holding the policy is bound over /etc/chromium, and a PID namespace of its own, so
# that whatever the browser starts ends with it. Nothing outside a temp folder and OUT_DIR is
# written; the whole run ends within 120 s.
#
# Exits 0 when the page told of a successful update and the pad received the image; otherwise
# prints one line saying what went wrong and exits 1.
set -uo pipefail

if (($# != 4)); then
  echo "usage: bash web/tests/chromium-umockdev.sh SITE_DIR IMAGE PADS_PROGRAM OUT_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
site=$1 image=$2 pads=$3 out=$4
run_seconds=108  # the browser's run, ended by force at most 5 s later; setting up takes a second or two
block_size=32    # the last block the pad receives may run past the image's payload

server='' run='' work=''
cleanup() {
  [ -n "$run" ] && kill "$run" 2>/dev/null && wait "$run" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
  echo "chromium-umockdev: FAILED: $*"
  exit 1
}

[ -f "$site/index.html" ] || fail "no page in $site (build it: cmake --preset web && cmake --build --preset web)"
[ -x "$pads" ] || fail "no emulated pads program at $pads"
[[ -x /usr/bin/chromium && -d /etc/chromium ]] || fail "Debian's chromium is not installed"
[ -r "$image" ] || fail "cannot read the image $image"
# The header's image length: little-endian 32-bit word at offset 8.
read -r b0 b1 b2 b3 < <(od -An -tu1 -j8 -N4 "$image")
[ -n "${b3:-}" ] || fail "$image is too short to be an image"
image_length=$((b0 | b1 << 8 | b2 << 16 | b3 << 24))
expected=$((28 + image_length))
(($(stat -c %s "$image") >= expected)) || fail "$image holds less firmware than its header's $image_length bytes"

site=$(cd "$site" && pwd) image=$(realpath "$image") pads=$(realpath "$pads")
out=$(mkdir -p "$out" && cd "$out" && pwd) || fail "cannot make $out"
rm -f "$out"/{pad.trace,received.dat,stats,page.png,driver.out,chromium.log,trace.json}
read -ra pad_options <<<"${MORVIK_PAD_OPTIONS:-}"
work=$(mktemp -d) || fail "cannot make a temp folder"
mkdir -p "$work"/{tmp,home,profile,etc}
# Everything the programs write for themselves (compiler, testbed, browser profile) stays here.
export TMPDIR=$work/tmp HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache

# ------------------------------------------------------------------ the page, served on 127.0.0.1
touch "$work/server.log"
node "$here/../tools/serve.mjs" "$site" 0 >"$work/server.log" 2>&1 &
server=$!
port=''
for _ in $(seq 50); do  # at most 5 s for the server to listen
  port=$(sed -n 's|^Serving .* at http://localhost:\([0-9]*\)/.*|\1|p' "$work/server.log")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || fail "the page's server did not start: $(tail -n 1 "$work/server.log")"
origin=http://127.0.0.1:$port

# ------------------------------------------------------------------ the grant, the fork-safe preload
{ cp -a /etc/chromium/. "$work/etc/" && mkdir -p "$work/etc/policies/managed"; } || fail "cannot copy /etc/chromium"
cat >"$work/etc/policies/managed/morvik-webhid-test.json" <<EOF
{"WebHidAllowDevicesForUrls": [{"devices": [{"vendor_id": $((0x0483)), "product_id": $((0x5750))}],
                                "urls": ["$origin"]}]}
EOF
fork_safe=$work/libumockdev_fork_safe.so
cc -shared -fPIC -O2 -o "$fork_safe" "$here/umockdev_fork_safe.c" -ldl -lpthread 2>"$work/cc.log" ||
  fail "the fork-safe preload did not compile: $(head -n 1 "$work/cc.log")"

# ------------------------------------------------------------------ the run
# Root makes the namespaces itself; anyone else in a user namespace where they are root. The
# namespace's first process stays a shell rather than the pads program, which would take an orphan
# of the browser reaped by it for its program's end. When that shell ends, or unshare is ended,
# every process left in the namespace is killed; a run past its time is ended (TERM, then KILL).
namespace=(unshare --mount --propagation private --pid --mount-proc --kill-child)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --map-root-user "${namespace[@]:1}")
budget_ms=$(((run_seconds - SECONDS - 8) * 1000))  # the driver ends by itself before it is ended
# shellcheck disable=SC2016  # $1, $@ and $LD_PRELOAD belong to the inner shells
CHROMIUM_PROFILE=$work/profile timeout -k 5 $((run_seconds - SECONDS)) "${namespace[@]}" \
  sh -c 'mount --bind "$1" /etc/chromium && shift && "$@"' sh "$work/etc" \
  env LD_PRELOAD="libumockdev-preload.so.0 $fork_safe" \
  "$pads" --pad --trace "$out/pad.trace" --received "$out/received.dat" --stats "$out/stats" "${pad_options[@]}" -- \
  sh -c 'LD_PRELOAD="$LD_PRELOAD $1" && shift && exec "$@"' sh "$fork_safe" \
  node "$here/chromium-umockdev-driver.mjs" "$origin/${MORVIK_PAGE_MEASURE:+?measure}" "$image" "$out" "$budget_ms" \
  >"$out/driver.out" 2>"$out/chromium.log" </dev/null &
run=$!
wait "$run"
status=$?
run=''

# ------------------------------------------------------------------ what happened
failure=$(sed -n 's/^failed: //p' "$out/driver.out" | head -n 1)
((status == 124 || status == 137)) && fail "the run took over $run_seconds s and was ended${failure:+ ($failure)}"
[ -n "$failure" ] && fail "$failure"
last=$(grep -hv '^\[' "$out/chromium.log" | grep . | tail -n 1)  # the browser's own log lines start with [
((status == 0)) || fail "the run ended with status $status${last:+: $last}"
[ -f "$out/received.dat" ] || fail "the pad saved nothing it received (no $out/received.dat)"
received=$(stat -c %s "$out/received.dat")
((received >= expected && received < expected + block_size)) ||
  fail "the pad received $received bytes, not the image's 28-byte header and $image_length bytes of firmware"
differ=$(cmp "$out/received.dat" <(head -c "$received" "$image") | sed -n 's/.* differ: byte \([0-9]*\).*/\1/p')
[ -z "$differ" ] || fail "the pad did not receive the image byte for byte: received.dat differs from it at offset $((differ - 1))"
echo "chromium-umockdev: ok: the page upgraded the pad, which received the image's $image_length bytes of firmware byte for byte ($SECONDS s)"
