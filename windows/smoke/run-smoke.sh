#!/usr/bin/env bash
# Starts the real update.exe under Wine on a virtual X display, in Chinese and in English,
# checks that its dialog shows the title, the instructions and the disabled button (there is
# no pad: Wine offers only its own virtual mouse and keyboard), and saves a screenshot of each.
#   run-smoke.sh <mingw build dir> <screenshot dir>
set -euo pipefail
build=$(realpath "$1")
shots=$(realpath "$2")
wine=/usr/lib/wine/wine64
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Locales of our own, so that no system locale needs to be generated.
export LOCPATH=$build/locale
for l in zh_CN en_US; do
  [ -d "$LOCPATH/$l.UTF-8" ] || { mkdir -p "$LOCPATH"; localedef -i $l -f UTF-8 "$LOCPATH/$l.UTF-8" 2>/dev/null || true; }
  [ -d "$LOCPATH/$l.UTF-8" ] || { echo "smoke: cannot build the locale $l.UTF-8"; exit 1; }
done

[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
source "$(dirname "$0")/wine-desktop.sh"
wine_desktop "$build/smoke.reg"
start_display
trap 'kill $xvfb 2>/dev/null || true' EXIT

# shellcheck source=../../scripts/lib/e2e.sh
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
expect() { check "$2" text_has_line "$1" "$2"; }  # <probe output> <line>

check_language() {  # <name> <locale> <language id> <instructions> <button>
  local name=$1
  echo "smoke: update.exe in $2"
  LC_ALL=$2 "$wine" "$build/windows/update.exe" &
  local app=$!
  local shown
  shown=$(LC_ALL=$2 "$wine" "$build/windows/dialog_probe.exe" | tr -d '\r')
  # the dialog with its frame, cut out of the desktop
  local frame
  frame=$(sed -n 's/^frame: //p' <<<"$shown")
  import -display "$DISPLAY" -window root ${frame:+-crop "$frame"} +repage "$shots/windows-$name.png"
  LC_ALL=$2 "$wine" "$build/windows/dialog_probe.exe" --close >/dev/null
  expect "$shown" "title: [Morvik GamePad ]"
  expect "$shown" "instructions: [$4]"
  expect "$shown" "button: [$5]"
  expect "$shown" "button enabled: no"
  expect "$shown" "progress bar: yes"
  expect "$shown" "system language: $3"
  for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
  if kill -0 $app 2>/dev/null; then fail "update.exe ends when its dialog is closed"; kill $app; fi
  wait $app || true
  /usr/lib/wine/wineserver -w  # the next language starts a fresh Wine session
}

check_language zh zh_CN.UTF-8 0x0804 \
  '1.按住Home+L1+R1开机（大约3S），蓝绿灯闪烁。\r\n\r\n2.插入USB线。\r\n\r\n3.点击USB 升级按钮然后选择升级文件升级。' 'USB 升级'
check_language en en_US.UTF-8 0x0409 \
  '1. Hold Home+L1+R1 for 3 seconds. Both LED will      blink.\r\n\r\n2. Connect to PC via USB cable.\r\n\r\n3. Click USB Update button and select firmware      file.' 'USB Update'

if ((failures)); then echo "smoke: $failures check(s) failed"; exit 1; fi
echo "smoke: passed; screenshots in $shots"
