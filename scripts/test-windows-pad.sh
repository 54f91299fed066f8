#!/usr/bin/env bash
# End-to-end scenarios of the unmodified update.exe against the virtual pad, through Wine's own
# HID stack: the virtual pad's driver serves a HID device 0483:5750 whose reports the pad
# program answers with the simulated pad. Each scenario plays the user under Xvfb (xdotool
# clicks the button, fills the open-file dialog, answers the boxes); dialog_probe reads what
# the dialog shows. Each leaves build/mingw/e2e/<scenario>/{image.dat,pad.trace,received.dat}.
#
#   scripts/test-windows-pad.sh [scenario...]     all scenarios, or the named ones
#   MORVIK_E2E_SHOTS=1                            also save screenshots of the update in
#                                                 build/mingw/e2e/screenshots
#   MORVIK_UPDATE_SCREENSHOTS=1                   and copy them over README's (docs/screenshots)
#   MORVIK_E2E_UPDATE_EXE=path                    another build of update.exe to drive
#   scripts/test-windows-pad.sh --bench           times a 64 KiB update with update.exe, then a
#                                                 bare write-then-read loop of as many reports
#                                                 against the same pad, and prints the ratio
# Ends with "N passed, N failed"; exits non-zero when a scenario failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/mingw
out=$build/e2e
bin=$build/windows
vpad=$bin/virtual_pad
wine=/usr/lib/wine/wine64
export WINEPREFIX=$out/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH=$build/locale
[ "${MORVIK_UPDATE_SCREENSHOTS:-0}" = 1 ] && export MORVIK_E2E_SHOTS=1

# ---------------------------------------------------------------- build and prefix

if [ "${MORVIK_E2E_NO_BUILD:-0}" != 1 ]; then
  echo "=== e2e: build update.exe, the probe and the virtual pad"
  cmake --preset mingw >/dev/null || exit 1
  cmake --build --preset mingw -j "$(nproc)" --target update dialog_probe morvik_vpad_driver virtual_pad vpadctl \
    report_loop >/dev/null || { echo "e2e: build failed"; exit 1; }
fi
for l in zh_CN en_US; do
  [ -d "$LOCPATH/$l.UTF-8" ] || { mkdir -p "$LOCPATH"; localedef -i $l -f UTF-8 "$LOCPATH/$l.UTF-8" 2>/dev/null || true; }
done
mkdir -p "$out"

winpath() { printf 'Z:%s' "${1//\//\\}"; }

if [ ! -f "$WINEPREFIX/vpad-installed" ] || [ "$vpad/morvik_vpad.sys" -nt "$WINEPREFIX/vpad-installed" ]; then
  echo "=== e2e: preparing the Wine prefix and installing the virtual pad"
  [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
  "$wine" "$vpad/vpadctl.exe" install "$(winpath "$vpad/morvik_vpad.inf")" || { echo "e2e: cannot install the virtual pad"; exit 1; }
  /usr/lib/wine/wineserver -k 2>/dev/null
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/vpad-installed"
fi

source "$root/windows/smoke/wine-desktop.sh"
wine_desktop "$out/e2e.reg"

# ---------------------------------------------------------------- display and helpers

start_display
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  kill $xvfb 2>/dev/null
}
trap cleanup EXIT

probe() { "$wine" "$bin/dialog_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/^$1: //p" <<<"$2" | head -n 1; }
click() {  # <"x y">
  [ -n "$1" ] || return 1
  # shellcheck disable=SC2086
  xdotool mousemove $1 click 1
}
# Clicks the update button until <probe command...> sees what the click opens (a click that
# comes while the dialog is still settling may be lost).
press_button() {
  local state seen
  for _ in 1 2 3; do
    state=$(probe --state)
    sleep 0.3
    click "$(field "button at" "$state")"
    if seen=$(probe "$@"); then break; fi
  done
  printf '%s' "$seen"
}

failures=0
check() {  # <description> <condition...>
  local what=$1
  shift
  if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}
has() { grep -qF -- "$2" <<<"$1"; }

# An image of 64 KiB, version 1.23: header (version, opaque word, payload length, 16 reserved
# bytes) and random payload.
make_image() {
  { printf '\x7b\x00\x00\x00\x78\x56\x34\x12\x00\x00\x01\x00'; head -c 16 /dev/zero; head -c 65536 /dev/urandom; } >"$1"
}

shot() {  # <name> <probe output>: the dialog's frame, cut out of the screen
  [ "${MORVIK_E2E_SHOTS:-0}" = 1 ] && [ "$flow" = success ] || return 0
  mkdir -p "$out/screenshots"
  local frame
  frame=$(field frame "$2")
  import -display "$DISPLAY" -window root ${frame:+-crop "$frame"} +repage "$out/screenshots/$1.png"
}

# Texts by language: confirm prefix, success box, label, failure, not in boot mode, factory.
texts() {
  if [ "$1" = zh ]; then
    t_new='升级新固件 1.23 当前版本为'; t_new_only='升级新固件 1.23\n'; t_ok='\n 升级成功. \n'; t_label='升级成功.'
    t_fail='固件更新失败\n'; t_boot='固件更新失败,请将手柄工作在BOOT模式\n'; t_factory='请升级到最新版本'; t_tool='Morvik Tools v1.02 '
  else
    t_new='New firmware 1.23 and current is'; t_new_only='New firmware 1.23\n'; t_ok='\n Firmware upgraded! \n'
    t_label='Firmware upgraded!'; t_fail='Firmware update failure\n'; t_boot='Firmware update failure, please handle work in BOOT mode\n'
    t_factory='Please upgrade to the latest version'; t_tool='Morvik Tools v1.02 '
  fi
}

# ---------------------------------------------------------------- one scenario

# Data frames (one report each: count 0x27) and finish commands the pad received, from its trace.
data_frames() { grep -c '^out 27 00 16 23 00 00 ' "$1/pad.trace"; }
finishes() { grep -c '^out 05 00 16 01 00 02$' "$1/pad.trace"; }

# The user's steps from the button to the confirmation: click, pick the image, see the box.
choose_image() {  # <scenario dir>; sets $box
  local file
  file=$(press_button --wait-file-dialog 5)
  [ "$(field "file dialog" "$file")" = yes ] || { echo "  FAILED: no open-file dialog"; failures=$((failures + 1)); return 1; }
  click "$(field "file name at" "$file")"
  xdotool type --delay 5 "$(winpath "$1/image.dat")"
  xdotool key Return
  box=$(probe --wait-box 15)
}

# Clicks the box's OK until the box has gone.
answer_box() {
  for _ in 1 2 3; do
    click "$(field "box ok at" "$1")" || return 1
    probe --wait-box-gone "$(field "box id" "$1")" 3 && return 0
  done
  return 1
}

run_scenario() {  # <name> <language> <flow> <pad options...>
  local name=$1 lang=$2 flow=$3
  shift 3
  local dir=$out/$name
  local before=$failures
  echo "scenario $name ($lang): $flow, pad $*"
  rm -rf "$dir"
  mkdir -p "$dir"
  make_image "$dir/image.dat"
  texts "$lang"
  local locale=en_US.UTF-8
  [ "$lang" = zh ] && locale=zh_CN.UTF-8

  if [ "$flow" = late ]; then "$wine" "$vpad/vpadctl.exe" unplug; else "$wine" "$vpad/vpadctl.exe" plug; fi
  LC_ALL=$locale "$wine" "$vpad/virtual_pad.exe" --trace "$(winpath "$dir/pad.trace")" \
    --received "$(winpath "$dir/received.dat")" --stats "$(winpath "$dir/stats")" --ready "$(winpath "$dir/ready")" "$@" \
    >"$dir/pad.log" 2>&1 &
  local pad=$!
  for _ in $(seq 300); do [ -f "$dir/ready" ] && break; sleep 0.1; done  # a first driver start is slow
  check "the pad program answers for the pad" test -f "$dir/ready"
  LC_ALL=$locale "$wine" "${MORVIK_E2E_UPDATE_EXE:-$bin/update.exe}" >/dev/null 2>&1 &
  local app=$!

  local state box watch
  case $flow in
    success | bench | factory | error | silent | unplug | stall)
      if [ "$flow" = factory ]; then
        box=$(probe --wait-box 30)
        check "the pad with factory firmware is asked to update" has "$box" "$t_factory"
        answer_box "$box"
      fi
      state=$(probe)
      if [ "$flow" = factory ]; then
        check "no version in the title" test -n "$(field title "$state")" -a "${state/GamePad V/}" = "$state"
      else
        check "the title shows the pad's version" has "$(field title "$state")" "(GamePad V1.10)"
      fi
      check "the button is enabled" test "$(field "button enabled" "$state")" = yes
      shot "windows-$lang" "$state"
      choose_image "$dir" || { finish_scenario "$name" "$before" "$pad" "$app"; return; }
      if [ "$flow" = factory ]; then
        check "the confirmation names the image's version only" test "$(field box "$box")" = "[$t_new_only]"
      else
        check "the confirmation names both versions" has "$box" "$t_new 1.10"
      fi
      answer_box "$box"
      if [ "${MORVIK_E2E_SHOTS:-0}" = 1 ] && [ "$flow" = success ]; then
        sleep 2.5
        shot "windows-updating-$lang" "$(probe --state)"
      fi
      local limit=60
      [ "$flow" = stall ] && limit=15  # the pad holds the write for a minute: the program must not wait that long
      watch=$(probe --watch-progress $limit)
      if [ "$flow" = success ] || [ "$flow" = bench ] || [ "$flow" = factory ]; then
        check "the bar moves" test "$(field "progress positions" "$watch")" -ge 10
        check "success is announced" test "$(field box "$watch")" = "[$t_ok]"
        answer_box "$watch"
        state=$(probe --state)
        check "the success label shows" test "$(field "success label" "$state")" = "[$t_label]"
        shot "windows-success-$lang" "$state"
        check "the pad received the image byte for byte" cmp -s "$dir/image.dat" "$dir/received.dat"
        check "all 2048 blocks went once, then one finish" test "$(data_frames "$dir")/$(finishes "$dir")" = 2048/1
        [ "$flow" = bench ] && bench_loop "$dir"
      else
        check "the bar moved before the fault" test "$(field "progress highest" "$watch")" -ge 1
        check "failure is announced" test "$(field box "$watch")" = "[$t_fail]"
        # Nothing goes to the pad after the fault but the one block a silent pad took unanswered.
        local expected=300
        [ "$flow" = silent ] && expected=301
        check "the update stopped at the fault ($expected blocks, no finish)" \
          test "$(data_frames "$dir")/$(finishes "$dir")" = $expected/0
        answer_box "$watch"
        if [ "$flow" = unplug ]; then
          state=$(probe --wait-button off 10)
          check "the button is disabled once the pad is gone" test "$(field "button enabled" "$state")" = no
          check "the title no longer shows a version" test "$(field title "$state")" = "[$t_tool]"
        fi
      fi
      ;;
    notboot)
      state=$(probe)
      check "the button is enabled" test "$(field "button enabled" "$state")" = yes
      box=$(press_button --wait-box 5)
      check "the pad in its normal mode is refused" test "$(field box "$box")" = "[$t_boot]"
      answer_box "$box"
      check "no image was sent" test ! -s "$dir/received.dat" -a "$(grep -c '^out .. 00 16 .. .. 01 ' "$dir/pad.trace")" = 0
      ;;
    late)
      state=$(probe)
      check "no pad: the button is disabled" test "$(field "button enabled" "$state")" = no
      "$wine" "$vpad/vpadctl.exe" plug
      state=$(probe --wait-title "(GamePad V1.25)" 15)
      check "the pad that arrives enables the button" test "$(field "button enabled" "$state")" = yes
      check "the title shows its version" has "$(field title "$state")" "(GamePad V1.25)"
      ;;
  esac
  finish_scenario "$name" "$before" "$pad" "$app"
}

# The same number of round trips as the update's stream (header and data frames), written and
# read by a bare loop against the same pad, in the same Wine session.
bench_loop() {  # <scenario dir>
  local trips update_ms loop
  trips=$(sed -n 's/^round_trips //p' "$1/stats")
  update_ms=$(sed -n 's/^stream_ms //p' "$1/stats")
  loop=$("$wine" "$vpad/report_loop.exe" "$trips" | tr -d '\r')
  local loop_ms
  loop_ms=$(sed -n 's/^loop_ms //p' <<<"$loop")
  echo "  update.exe: $trips round trips in $update_ms ms"
  echo "  bare loop:  $trips round trips in $loop_ms ms"
  awk -v u="$update_ms" -v l="$loop_ms" -v n="$trips" 'BEGIN {
    printf "  per round trip: update.exe %.3f ms, bare loop %.3f ms; ratio %.2f\n", u / n, l / n, u / l }'
}

finish_scenario() {  # <name> <failures before> <pad pid> <update.exe pid>
  "$wine" "$vpad/vpadctl.exe" stop 2>/dev/null
  for _ in $(seq 30); do kill -0 "$3" 2>/dev/null || break; sleep 0.1; done
  /usr/lib/wine/wineserver -k 2>/dev/null
  wait "$3" "$4" 2>/dev/null
  /usr/lib/wine/wineserver -w
  if ((failures == $2)); then passed+=("$1"); else failed+=("$1"); fi
}

# ---------------------------------------------------------------- the scenarios

# name | language | flow | pad program options
scenarios=(
  "success-zh|zh|success|--version 110"
  "success-en|en|success|--version 110 --header-delay-ms 1500"
  "late-arrival|en|late|--version 125"
  "not-boot-mode|en|notboot|--not-boot"
  "factory-version|en|factory|--version factory"
  "pad-error|en|error|--error-after 300"
  "pad-silent|en|silent|--silent-after 300"
  "pad-unplugged|en|unplug|--unplug-after 300"
  "pad-stops-taking-reports|en|stall|--stall-after 300 --stall-hold-ms 60000"
)

if [ "${1:-}" = --bench ]; then
  scenarios=("bench|en|bench|--version 110")
  shift
fi

passed=()
failed=()
for row in "${scenarios[@]}"; do
  IFS='|' read -r name lang flow options <<<"$row"
  if (($#)) && ! printf '%s\n' "$@" | grep -qxF "$name"; then continue; fi
  # shellcheck disable=SC2086
  run_scenario "$name" "$lang" "$flow" $options
done

# README's screenshots change only on request, so that a test run leaves the sources alone.
if [ "${MORVIK_UPDATE_SCREENSHOTS:-0}" = 1 ] && [ -f "$out/screenshots/windows-success-en.png" ]; then
  cp "$out"/screenshots/windows-zh.png "$out"/screenshots/windows-en.png docs/screenshots/
  cp "$out/screenshots/windows-updating-en.png" docs/screenshots/windows-updating.png
  cp "$out/screenshots/windows-success-en.png" docs/screenshots/windows-success.png
  echo "screenshots copied to docs/screenshots"
fi
((${#failed[@]})) && echo "failed scenarios: ${failed[*]}"
echo "${#passed[@]} passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
