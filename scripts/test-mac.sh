#!/usr/bin/env bash
# Morvik GamePad on GNUstep: builds the Cocoa program against GNUstep, runs it under Xvfb with
# the simulated pad and the autopilot, and checks what it shows through whole updates.
# Saves screenshots (mac-updating.png, mac-success.png, mac-help.png, mac-input-monitoring.png) in build/gnustep/screenshots;
# MORVIK_UPDATE_SCREENSHOTS=1 writes them over README's copies in docs/screenshots instead.
# Prints "N passed, M failed" and exits non-zero when a check failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=build/gnustep
app="$root/$build/Morvik GamePad.app/Morvik GamePad"
shots="$root/$build/screenshots"
[ "${MORVIK_UPDATE_SCREENSHOTS:-0}" = 1 ] && shots="$root/docs/screenshots"
work=$(mktemp -d)
# shellcheck source=lib/e2e.sh
source "$root/scripts/lib/e2e.sh"
xvfb_pid=""

cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if ((failures > 0)); then
    mkdir -p "$build/test-logs" && cp "$work"/*.log "$build/test-logs/" 2>/dev/null
    echo "logs kept in $build/test-logs"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

logged() { file_has "$@"; }
not_logged() { ! file_has "$@"; }
bar_animator_is_no_timer() { grep -q 'AUTOPILOT bar animator: ' "$1" && ! grep -q 'AUTOPILOT bar animator: .*Timer' "$1"; }

# Waits up to $3 seconds for a line containing $2 in log $1.
wait_for() {
  local deadline=$((SECONDS + $3))
  while ((SECONDS < deadline)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# Waits up to $2 seconds until the progress shown reaches $3 percent.
wait_for_progress() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    local last
    last=$(grep -o 'AUTOPILOT progress [0-9]*' "$1" 2>/dev/null | tail -1 | awk '{print $3}')
    [ -n "$last" ] && ((last >= $3)) && return 0
    sleep 0.1
  done
  return 1
}

screenshot() {  # the windows, without the empty background, the menu and the icon at the left edge
  import -display ":$display" -window root "$work/root.png" &&
    convert "$work/root.png" -crop 854x688+170+80 +repage -trim +repage "$1"
}

# Share of pixels in the image that have the bar's or the stripes' green.
green_share() {
  convert "$1" -scale 50% -fx '(g > r + 0.08 && g > b + 0.25) ? 1 : 0' -format '%[fx:mean]' info:
}

# run_app LOG ARGS...: runs the program in the background, autopilot on.
run_app() {
  local log=$1
  shift
  DISPLAY=":$display" timeout 180 "$app" -GSX11HandlesWindowDecorations NO -MorvikAutopilot YES \
    -MorvikAutopilotImage "$work/firmware.dat" "$@" > "$log" 2>&1 &
  app_pid=$!
}

# The Apple bundle as CMake sets it up, on a faked Apple platform: clang stands in for Apple's
# compiler, and ibtool and install_name_tool for Xcode's tools, as nothing is built. The bundle's
# Info.plist gives the identifier (the GNUstep one's), the oldest macOS and the icon; the icon
# holds every image iconutil makes from a full icon set, each a PNG of its entry's size; the
# bundle and the libraries in it are compiled and linked for both architectures; ibtool
# compiles for the oldest macOS and speaks up.
apple_bundle_sound() {
  local fake="$work/apple" tool
  mkdir -p "$fake/bin"
  for tool in ibtool install_name_tool; do
    printf '#!/bin/sh\n' > "$fake/bin/$tool" && chmod +x "$fake/bin/$tool"
  done
  PATH="$fake/bin:$PATH" cmake -S "$root" -B "$fake/build" -G Ninja -DCMAKE_SYSTEM_NAME=Darwin \
    -DCMAKE_CXX_COMPILER="$(command -v clang++)" -DCMAKE_OBJCXX_COMPILER="$(command -v clang++)" \
    -DCMAKE_CXX_COMPILER_WORKS=ON -DCMAKE_OBJCXX_COMPILER_WORKS=ON -DMORVIK_BUILD_TESTS=OFF \
    -DMORVIK_BUILD_BENCHMARKS=OFF -DMORVIK_BUILD_LINUX_CLI=OFF > "$work/apple-configure.log" 2>&1 &&
    python3 - "$fake/build" "$root/mac/app" "$(dirname "$app")/Resources/Info-gnustep.plist" <<'EOF'
import os, plistlib, re, struct, sys
build, app_dir, gnustep_plist = sys.argv[1:]
target = re.search(r"^CMAKE_OSX_DEPLOYMENT_TARGET:\w+=(.+)$", open(f"{build}/CMakeCache.txt").read(), re.M)[1]
info = plistlib.load(open(f"{build}/mac/Morvik GamePad.app/Contents/Info.plist", "rb"))
identifier = info["CFBundleIdentifier"]
assert re.fullmatch(r"[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+", identifier), identifier
assert f'CFBundleIdentifier = "{identifier}";' in open(gnustep_plist).read()
assert info["LSMinimumSystemVersion"] == target != "" and info["NSHighResolutionCapable"] is True

rules = re.findall(r"^build (.+?): (\S+).*\n((?:  .*\n)*)", open(f"{build}/build.ninja").read(), re.M)
universal = "-arch arm64 -arch x86_64 "
for part in ("morvik_gamepad_app", "morvik_mac_core", "morvik_engine"):
    objects = [flags for out, _, flags in rules if f"/{part}.dir/" in out and out.endswith(".o")]
    assert objects and all(universal in flags for flags in objects), part
link = [flags for _, rule, flags in rules if rule.startswith("CXX_EXECUTABLE_LINKER__morvik_gamepad_app")]
assert len(link) == 1 and universal in link[0]
assert f"--errors --warnings --notices --output-format human-readable-text --minimum-deployment-target {target} " in link[0]

icns = open(os.path.join(app_dir, info["CFBundleIconFile"]), "rb").read()
assert icns[:4] == b"icns" and struct.unpack(">I", icns[4:8])[0] == len(icns)
sizes = {}
at = 8
while at < len(icns):
    kind, length = icns[at:at + 4].decode(), struct.unpack(">I", icns[at + 4:at + 8])[0]
    data = icns[at + 8:at + length]
    assert length > 8 and at + length <= len(icns), kind
    if kind != "TOC ":
        assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR", kind
        sizes[kind] = struct.unpack(">II", data[16:24])
    at += length
want = {"icp4": 16, "ic11": 32, "icp5": 32, "ic12": 64, "ic07": 128,
        "ic13": 256, "ic08": 256, "ic14": 512, "ic09": 512, "ic10": 1024}
assert sizes == {kind: (px, px) for kind, px in want.items()}, sizes
EOF
}

finished_within() {  # the program ended by itself (the autopilot quits it)
  local deadline=$((SECONDS + $1))
  while ((SECONDS < deadline)); do
    kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid"; return $?; }
    sleep 0.2
  done
  kill "$app_pid" 2>/dev/null
  return 1
}

echo "=== build the GNUstep program"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVIK_WERROR=ON -DMORVIK_GNUSTEP_APP=ON \
  -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_BENCHMARKS=OFF -DMORVIK_BUILD_LINUX_CLI=OFF > "$work/configure.log" ||
  { cat "$work/configure.log"; echo "0 passed, 1 failed"; exit 1; }
if ! cmake --build "$build" -j 2 --target morvik_gamepad_gnustep; then
  echo "0 passed, 1 failed"
  exit 1
fi
check "the program and its interface file are built" test -x "$app" -a -f "$(dirname "$app")/Resources/MainMenu.xib"
check "the Apple bundle: identifier, oldest macOS, every icon size, both architectures, ibtool" apple_bundle_sound

Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp 3> "$work/display" > /dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
display=$(cat "$work/display")
make_image 123 0xa5a55a5a 4096 "$work/firmware.dat"  # version 1.23
mkdir -p "$shots"

echo "=== a whole update, ending with the pad's return in run mode"
log="$work/update.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimLatencyMs 25 -MorvikAutopilotDismissFile "$work/dismiss"
check "the pad's version is shown and the update button pressed" wait_for "$log" 'AUTOPILOT version shown "v1.10"; pressing "Update"' 60
check "the window shows the version field" logged "$log" "AUTOPILOT control NSTextField hidden=0"
check "the Edit menu gives text fields their keys" logged "$log" \
  "AUTOPILOT edit menu: Undo cmd+z undo:, Redo cmd+Z redo:, Cut cmd+x cut:, Copy cmd+c copy:, Paste cmd+v paste:, Delete - delete:, Select All cmd+a selectAll:"
check "the window shows the update button" logged "$log" "AUTOPILOT control NSButton hidden=0"
check "the window shows the striped bar" logged "$log" "AUTOPILOT control StripedProgressBar hidden=0"
check "the bar gives no timer for its animator" bar_animator_is_no_timer "$log"
check "the bar's animation timer starts once and stops" logged "$log" "AUTOPILOT bar animation: started=1 kept=1 stopped=1"
check "the file chooser takes the image" wait_for "$log" "AUTOPILOT panel answered $work/firmware.dat" 60
check "the sheet shows the image's version" wait_for "$log" "The File Firmware Version:  v1.23" 60
check "the progress reaches a third" wait_for_progress "$log" 60 33
screenshot "$shots/mac-updating.png"
share=$(green_share "$shots/mac-updating.png")
check "the striped bar is drawn in green mid-update (share $share)" awk -v s="$share" 'BEGIN { exit !(s > 0.01) }'
check "the success alert comes" wait_for "$log" "AUTOPILOT alert:  |  | Firmware upgraded successful!" 60
sleep 0.5
screenshot "$shots/mac-success.png"
touch "$work/dismiss"
check "the program ends after the scripted run" finished_within 60
check "the progress reached 100" logged "$log" "AUTOPILOT progress 100"
check "the boot-mode pad left" logged "$log" "Remove Device:vid,pid=0x0483,0x5750"
check "the pad came back in run mode" logged "$log" "0x0483,0x5751"
check "no help alert for the updated pad" not_logged "$log" "Update firmware from Mac"
check "the window forgot the pad" logged "$log" 'AUTOPILOT done: version field "", button disabled'

echo "=== a run-mode pad brings the help alert"
log="$work/help.log"
run_app "$log" -MorvikSimCues run@1 -MorvikAutopilotDismissFile "$work/dismiss"
check "the help alert comes" wait_for "$log" "AUTOPILOT alert:  |  | Update firmware from Mac" 60
check "it explains boot mode" logged "$log" "Hold down START+L+R about 3 seconds until two led lights flashing."
sleep 0.5
screenshot "$shots/mac-help.png"
touch "$work/dismiss"
check "the program ends after the help" finished_within 60

echo "=== macOS refuses the pad to the app (Input Monitoring not allowed)"
log="$work/not-permitted.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimOpenNotPermitted YES -MorvikAutopilotDismissFile "$work/dismiss"
check "the Input Monitoring alert comes" wait_for "$log" "macOS does not let this app use the pad." 60
check "it says how to allow the app" logged "$log" "Input Monitoring is not allowed for it. Allow it under System Settings"
check "the refusal is logged with its code" logged "$log" "IOHIDDeviceOpen failed: 0xe00002e2"
sleep 0.5
screenshot "$shots/mac-input-monitoring.png"
touch "$work/dismiss"
check "the program ends after the alert" finished_within 60
check "nothing was asked of the refused pad" not_logged "$log" "AUTOPILOT panel"

echo "=== the pad reports an error mid-update"
log="$work/failure.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimLatencyMs 5 -MorvikSimFailAfter 20
check "the failure alert comes" wait_for "$log" "AUTOPILOT alert:  |  | Firmware update failure!" 60
check "the program ends after the failure" finished_within 60
check "the log names the failure and its reason" \
  logged "$log" "Firmware update failed: the pad reported an error (error event 0x15)"
check "the button is enabled again" logged "$log" 'AUTOPILOT done: version field "v1.10", button enabled'

echo "=== a pad with factory firmware"
log="$work/factory.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimVersion 4294967295
check "the factory alert comes" wait_for "$log" "The firmware is factory Version, please update to lastest version!" 60
check "the field says so" wait_for "$log" 'AUTOPILOT version shown "Factory Version"' 60
check "the factory firmware is updated" wait_for "$log" "AUTOPILOT alert:  |  | Firmware upgraded successful!" 60
check "the program ends after the factory update" finished_within 60

echo "=== a pad that is not in boot mode"
log="$work/notboot.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimBootFlag 0
check "the boot-mode alert comes" wait_for "$log" "Firmware update failure, please poweroff gamepad and make it work in BOOT mode" 60
check "the program ends after the refusal" finished_within 60
check "the button stays disabled" logged "$log" 'AUTOPILOT done: version field "v1.10", button disabled'
check "no file was asked for" not_logged "$log" "AUTOPILOT panel"

echo "=== the pad is unplugged mid-update"
log="$work/unplug.log"
run_app "$log" -MorvikSimCues boot@1,unplug@6 -MorvikSimLatencyMs 50
check "the failure alert comes when the pad leaves" wait_for "$log" "AUTOPILOT alert:  |  | Firmware update failure!" 60
check "the program ends after the unplugging" finished_within 60
check "the window forgot the pad and keeps the button off" logged "$log" 'AUTOPILOT done: version field "", button disabled'

echo "=== the pad is pulled out while the sheet asks"
log="$work/sheet-unplug.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikAutopilotUnplugOnSheet YES
check "the sheet is answered after the pad left" wait_for "$log" "AUTOPILOT confirming sheet" 60
check "the program ends after the answer" finished_within 60
check "the answer for the gone pad brings no alert" not_logged "$log" "AUTOPILOT alert:"
check "the window forgot the pad" logged "$log" 'AUTOPILOT done: version field "", button disabled'

echo "=== the pad's link fails while the sheet asks, before its removal is reported"
log="$work/sheet-cut.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikAutopilotCutLinkOnSheet YES
check "the failure alert comes when the image cannot be sent" wait_for "$log" "AUTOPILOT alert:  |  | Firmware update failure!" 60
check "the sheet is gone before the alert shows" logged "$log" "AUTOPILOT the answered sheet is no longer under the alert"
check "the program ends after the failed send" finished_within 60
check "the button is enabled again for the pad still there" logged "$log" 'AUTOPILOT done: version field "v1.10", button enabled'

echo "=== a pad that stops answering"
log="$work/silent.log"
run_app "$log" -MorvikSimCues boot@1 -MorvikSimSilentAfter 10
check "the failure alert comes after the pad's silence" wait_for "$log" "AUTOPILOT alert:  |  | Firmware update failure!" 60
check "the program ends after the silence" finished_within 60

check_summary
