#!/usr/bin/env bash
# End-to-end scenarios of the unmodified update.exe against the virtual pad, through Wine's own
# HID stack: the virtual pad's driver serves a HID device 0483:5750 whose reports the pad
# program answers with the simulated pad. Each scenario plays the user under Xvfb (xdotool
# clicks the button, fills the open-file dialog, answers the boxes); dialog_probe reads what
# the dialog shows. Each ends as the user ends it, by closing the dialog, and leaves
# build/mingw/e2e/<scenario>/{image.dat,pad.trace,received.dat,stats}.
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
  # Wine's installer keeps the driver a device already has: a rebuilt one is copied over it.
  cp "$vpad/morvik_vpad.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/" || exit 1
  touch "$WINEPREFIX/vpad-installed"
fi

source "$root/windows/smoke/wine-desktop.sh"
wine_desktop "$out/e2e.reg"

# ---------------------------------------------------------------- display and helpers

start_display || exit 1
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

# shellcheck source=lib/e2e.sh
source "$root/scripts/lib/e2e.sh"
gone() { ! kill -0 "$1" 2>/dev/null; }

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

# What update.exe wrote to the pad, from the pad's trace: headers, data frames by what became of
# them (taken by the pad, held or refused by the driver while the pad stalled or was being
# pulled out) and finish commands.
writes() {  # <scenario dir>
  local t=$1/pad.trace fate
  printf '%s writes, %s header' "$(grep -cE '^(out|held|refused) ' "$t")" "$(grep -cE '^(out|held|refused) .. 00 16 .. .. 01 ' "$t")"
  for fate in out held refused; do printf ', %s' "$(grep -cE "^$fate .. 00 16 .. .. 00( |\$)" "$t")"; done
  printf ' blocks (taken, held, refused), %s finish' "$(grep -cE '^(out|held|refused) 05 00 16 01 00 02$' "$t")"
}

# The user's steps from the button to the confirmation: click, pick the image, see the box.
choose_image() {  # <scenario dir>; sets $box
  local file
  file=$(press_button --wait-file-dialog 5)
  [ "$(field "file dialog" "$file")" = yes ] || { fail "no open-file dialog"; return 1; }
  click "$(field "file name at" "$file")"
  xdotool type --delay 5 "$(winpath "$1")"
  xdotool key Return
  box=$(probe --wait-box 15)
}

# Clicks the box's OK until the box has gone; a box that stays fails the scenario.
answer_box() {
  for _ in 1 2 3; do
    click "$(field "box ok at" "$1")" || break
    probe --wait-box-gone "$(field "box id" "$1")" 3 && return 0
  done
  fail "the box was not answered: $(field box "$1")"
  return 1
}

# One whole update from the click on: the image is confirmed, the bar moves, success is
# announced and the pad gets the image byte for byte.
update_once() {  # <image>
  choose_image "$1" || return 1
  if [ "$flow" = factory ]; then
    check "the confirmation names the image's version only" test "$(field box "$box")" = "[$t_new_only]"
  else
    check "the confirmation names both versions" text_has "$box" "$t_new 1.10"
  fi
  answer_box "$box"
  if [ "${MORVIK_E2E_SHOTS:-0}" = 1 ] && [ "$flow" = success ]; then
    sleep 2.5
    shot "windows-updating-$lang" "$(probe --state)"
  fi
  local watch
  watch=$(probe --watch-progress 60)
  if ((blocks >= 2048)); then
    check "the bar moves" test "$(field "progress positions" "$watch")" -ge 10
  else  # too quick to watch
    check "the bar is full" test "$(field "progress highest" "$watch")" = 100
  fi
  check "success is announced" test "$(field box "$watch")" = "[$t_ok]"
  answer_box "$watch"
  state=$(probe --state)
  check "the success label shows" test "$(field "success label" "$state")" = "[$t_label]"
  shot "windows-success-$lang" "$state"
  # The pad saves each update's image once it has taken the finish command.
  for _ in $(seq 30); do cmp -s "$1" "$dir/received.dat" && break; sleep 0.1; done
  check "the pad received the image byte for byte" cmp -s "$1" "$dir/received.dat"
}

progress_moved() { test "$(field progress "$(probe --state)")" -ge 1 2>/dev/null; }

# The dialog after a failure was answered: the pad is still there.
check_pad_kept() {
  state=$(probe --wait-button on 5)
  check "the button is enabled again" test "$(field "button enabled" "$state")" = yes
  [ "$flow" = notboot ] && return
  check "the title still shows the pad's version" text_has "$(field title "$state")" "(GamePad V1.10)"
  check "no success label" test "$(field "success label" "$state")" = hidden
}

run_scenario() {  # <name> <language> <flow> <payload bytes> <pad options>
  local name=$1 lang=$2 flow=$3 size=$4 options
  read -r -a options <<<"$5"
  local dir=$out/$name
  echo "scenario $name ($lang): $flow, $size bytes, pad ${options[*]}"
  rm -rf "$dir"
  mkdir -p "$dir"
  make_image 123 0x12345678 "$size" "$dir/image.dat"
  texts "$lang"
  local locale=en_US.UTF-8
  [ "$lang" = zh ] && locale=zh_CN.UTF-8
  local blocks=$(((size + 31) / 32))
  # What the pad is to have got by the end, and when the dialog is closed.
  local expected="* writes, 0 header, 0, 0, 0 blocks (taken, held, refused), 0 finish" closing="at the end"

  # A pad whose report lengths are not the real pad's declares them when it is next plugged in.
  if [ "$flow" = late ] || [ "$flow" = unfit ]; then "$wine" "$vpad/vpadctl.exe" unplug; else "$wine" "$vpad/vpadctl.exe" plug; fi
  LC_ALL=$locale "$wine" "$vpad/virtual_pad.exe" --trace "$(winpath "$dir/pad.trace")" \
    --received "$(winpath "$dir/received.dat")" --stats "$(winpath "$dir/stats")" --ready "$(winpath "$dir/ready")" "${options[@]}" \
    >"$dir/pad.log" 2>&1 &
  local pad=$!
  for _ in $(seq 300); do [ -f "$dir/ready" ] && break; sleep 0.1; done  # a first driver start is slow
  check "the pad program answers for the pad" test -f "$dir/ready"
  [ "$flow" = unfit ] && "$wine" "$vpad/vpadctl.exe" plug
  LC_ALL=$locale "$wine" "${MORVIK_E2E_UPDATE_EXE:-$bin/update.exe}" >/dev/null 2>&1 &
  local app=$!

  local state box watch
  case $flow in
    success | bench | factory | replug)
      if [ "$flow" = factory ]; then
        box=$(probe --wait-box 30)
        check "the pad with factory firmware is asked to update" text_has "$box" "$t_factory"
        answer_box "$box"
      fi
      state=$(probe)
      if [ "$flow" = factory ]; then
        check "no version in the title" test -n "$(field title "$state")" -a "${state/GamePad V/}" = "$state"
      else
        check "the title shows the pad's version" text_has "$(field title "$state")" "(GamePad V1.10)"
      fi
      check "the button is enabled" test "$(field "button enabled" "$state")" = yes
      shot "windows-$lang" "$state"
      update_once "$dir/image.dat" || { finish_scenario "$pad" "$app"; return; }
      expected="* writes, 1 header, $blocks, 0, 0 blocks (taken, held, refused), 1 finish"
      if [ "$flow" = replug ]; then
        "$wine" "$vpad/vpadctl.exe" unplug
        state=$(probe --wait-button off 10)
        check "the pad pulled out: the button is disabled" test "$(field "button enabled" "$state")" = no
        "$wine" "$vpad/vpadctl.exe" plug
        state=$(probe --wait-title "(GamePad V1.10)" 15)
        check "the pad plugged back: its version shows, the button is enabled" test "$(field "button enabled" "$state")" = yes
        make_image 123 0x12345678 "$size" "$dir/image-2.dat"
        update_once "$dir/image-2.dat"
        expected="* writes, 2 header, $((2 * blocks)), 0, 0 blocks (taken, held, refused), 2 finish"
      fi
      if [ "$flow" = bench ]; then
        bench_loop "$dir"
        # and the bare loop's data frames, one per round trip of the update
        expected="* writes, 1 header, $((2 * blocks + 1)), 0, 0 blocks (taken, held, refused), 1 finish"
      fi
      ;;
    error | silent | unplug | stall)
      state=$(probe)
      check "the title shows the pad's version" text_has "$(field title "$state")" "(GamePad V1.10)"
      check "the button is enabled" test "$(field "button enabled" "$state")" = yes
      choose_image "$dir/image.dat" || { finish_scenario "$pad" "$app"; return; }
      answer_box "$box"
      watch=$(probe --watch-progress 60)
      check "the bar moved before the fault" test "$(field "progress highest" "$watch")" -ge 1
      check "failure is announced" test "$(field box "$watch")" = "[$t_fail]"
      # How soon the failure shows, by what update.exe promises: a pad's error or its going
      # away ends the update at once, a write the pad does not take fails within 2 s (1 s, and
      # 1 s more for the cancelled write to come back), a pad that owes an answer may stay
      # silent 5 s. Each with a margin for a busy machine.
      local bound=3
      [ "$flow" = stall ] && bound=4
      [ "$flow" = silent ] && bound=8
      local still
      still=$(field "still before the box ms" "$watch")
      check "failure shown within $bound s of the fault (the bar stood still ${still:-?} ms)" test "${still:-999999}" -le $((bound * 1000))
      answer_box "$watch"
      # Nothing goes to the pad after the fault, taken, held or refused, but the one block a
      # silent pad took unanswered and the one a stalled pad no longer took.
      expected="* writes, 1 header, 300, 0, 0 blocks (taken, held, refused), 0 finish"
      [ "$flow" = silent ] && expected="* writes, 1 header, 301, 0, 0 blocks (taken, held, refused), 0 finish"
      [ "$flow" = stall ] && expected="* writes, 1 header, 300, 1, 0 blocks (taken, held, refused), 0 finish"
      if [ "$flow" = unplug ]; then
        state=$(probe --wait-button off 10)
        check "the button is disabled once the pad is gone" test "$(field "button enabled" "$state")" = no
        check "the title no longer shows a version" test "$(field title "$state")" = "[$t_tool]"
      else
        check_pad_kept
      fi
      ;;
    notboot)
      state=$(probe)
      check "the button is enabled" test "$(field "button enabled" "$state")" = yes
      box=$(press_button --wait-box 5)
      check "the pad in its normal mode is refused" test "$(field box "$box")" = "[$t_boot]"
      answer_box "$box"
      check_pad_kept
      ;;
    unfit)
      state=$(probe --wait-button on 15)
      check "a pad with 64-byte reports: no version in the title" test "$(field title "$state")" = "[Morvik GamePad ]"
      box=$(press_button --wait-box 5)
      check "a click is answered with the failure" test "$(field box "$box")" = "[$t_fail]"
      answer_box "$box"
      check "no open-file dialog" test "$(field "file dialog" "$(probe --state)")" = no
      expected="0 writes, 0 header, 0, 0, 0 blocks (taken, held, refused), 0 finish"
      ;;
    late)
      state=$(probe)
      check "no pad: the button is disabled" test "$(field "button enabled" "$state")" = no
      "$wine" "$vpad/vpadctl.exe" plug
      state=$(probe --wait-title "(GamePad V1.25)" 15)
      check "the pad that arrives enables the button" test "$(field "button enabled" "$state")" = yes
      check "the title shows its version" text_has "$(field title "$state")" "(GamePad V1.25)"
      ;;
    close-file)
      state=$(press_button --wait-file-dialog 5)
      check "the open-file dialog shows" test "$(field "file dialog" "$state")" = yes
      closing="in the open-file dialog"
      ;;
    close-confirm | close-header | close-stream)
      choose_image "$dir/image.dat" || { finish_scenario "$pad" "$app"; return; }
      check "the confirmation shows" text_has "$box" "$t_new 1.10"
      closing="in the confirmation box"
      [ "$flow" = close-confirm ] || answer_box "$box"
      if [ "$flow" = close-header ]; then
        wait_until 30 "the header at the pad" grep -q '^out .. 00 16 .. 00 01 ' "$dir/pad.trace"
        check "the pad has not answered the header yet" test "$(field progress "$(probe --state)")" = 0
        closing="while the pad is silent after the header"
        expected="* writes, 1 header, 0, 0, 0 blocks (taken, held, refused), 0 finish"
      elif [ "$flow" = close-stream ]; then
        wait_until 30 "the bar to move" progress_moved
        local at
        at=$(field progress "$(probe --state)")
        check "the update is under way ($at %)" test "${at:-0}" -ge 1 -a "${at:-0}" -lt 100
        closing="mid-update"
        expected="* writes, 1 header, *, 0, 0 blocks (taken, held, refused), 0 finish"
      fi
      ;;
  esac
  finish_scenario "$pad" "$app"
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

# The user closes the dialog, and update.exe must be gone within 5 s; then the pad program
# stops and what reached the pad is counted against $expected (both set by run_scenario).
finish_scenario() {  # <pad pid> <update.exe pid>
  # Timed from the probe's start, which posts WM_CLOSE once it has found the dialog.
  local asked=$EPOCHREALTIME took=
  probe --close >/dev/null
  for _ in $(seq 60); do gone "$2" && took=$(awk -v a="$asked" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') && break; sleep 0.1; done
  local ended=${took:+after $took s}
  check "update.exe ends within 5 s of its dialog being closed $closing (${ended:-still running})" \
    awk -v t="${took:-99}" 'BEGIN { exit !(t <= 5) }'
  "$wine" "$vpad/vpadctl.exe" stop 2>/dev/null
  for _ in $(seq 30); do gone "$1" && break; sleep 0.1; done
  check_is "what reached the pad" "$(writes "$dir")" "$expected"
  check_is "the driver lost no report to a full queue (writes, inputs)" \
    "$(tr -d '\r' 2>/dev/null <"$dir/stats" | sed -n 's/^\(outputs\|inputs\)_dropped //p' | paste -sd/)" "0/0"
  /usr/lib/wine/wineserver -k 2>/dev/null
  wait "$1" "$2" 2>/dev/null
  /usr/lib/wine/wineserver -w
}

# ---------------------------------------------------------------- the scenarios

# name | language | flow | image payload bytes | pad program options
scenarios=(
  "success-zh|zh|success|65536|--version 110"
  "success-en|en|success|65536|--version 110 --header-delay-ms 1500"
  "short-last-block|en|success|4113|--version 110"
  "unplug-plug-update-again|en|replug|65536|--version 110"
  "late-arrival|en|late|65536|--version 125"
  "not-boot-mode|en|notboot|65536|--not-boot"
  "factory-version|en|factory|65536|--version factory"
  "pad-64-byte-reports|en|unfit|65536|--report-lengths 64/64"
  "pad-error|en|error|65536|--fail-after 300"
  "pad-silent|en|silent|65536|--silent-after 300"
  "pad-unplugged|en|unplug|65536|--vanish-after 300"
  "pad-stops-taking-reports|en|stall|65536|--stall-after 300 --stall-hold-ms 60000"
  "close-in-file-dialog|en|close-file|65536|--version 110"
  "close-in-confirmation|en|close-confirm|65536|--version 110"
  "close-after-header|en|close-header|65536|--header-delay-ms 20000"
  "close-mid-update|en|close-stream|65536|--latency-us 2000"
  # Another program sends the pad the begin command mid-update: its device information, with the
  # boot flag 0, reaches this program too and must not end the update.
  "another-program-begins|en|success|65536|--version 110 --stray-info-after 300 --stray-info-flag 0"
)

if [ "${1:-}" = --bench ]; then
  scenarios=("bench|en|bench|65536|--version 110")
  shift
fi

run_scenarios run_scenario "$@"

# README's screenshots change only on request, so that a test run leaves the sources alone.
if [ "${MORVIK_UPDATE_SCREENSHOTS:-0}" = 1 ] && [ -f "$out/screenshots/windows-success-en.png" ]; then
  cp "$out"/screenshots/windows-zh.png "$out"/screenshots/windows-en.png docs/screenshots/
  cp "$out/screenshots/windows-updating-en.png" docs/screenshots/windows-updating.png
  cp "$out/screenshots/windows-success-en.png" docs/screenshots/windows-success.png
  echo "screenshots copied to docs/screenshots"
fi
scenario_summary
