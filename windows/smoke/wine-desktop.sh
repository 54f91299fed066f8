# Sourced by the smoke test and the end-to-end scenarios: the Wine session update.exe runs in.
# Needs $wine (the wine64 loader) and WINEPREFIX.

# A Wine desktop window, so that dialogs get their frames and captions without a window
# manager; the dialog's font "宋体" shown with an installed Chinese font that Wine renders
# legibly at the dialog's size.
wine_desktop() {  # <registry file to write>
  local reg=$1 font=${MORVIK_CJK_FONT:-WenQuanYi Micro Hei}
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="640x480"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' "\"宋体\"=\"$font\"" "\"SimSun\"=\"$font\"" '' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
  "$wine" regedit /S "Z:${reg//\//\\}"
  /usr/lib/wine/wineserver -w
}

# Starts Xvfb on a display number nobody uses; sets DISPLAY and xvfb (its process id). The
# server picks the number itself and names it only once it takes connections, so two runs on
# one machine never share a display (and never click each other's windows).
start_display() {
  local named
  named=$(mktemp)
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$named" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$named" ] || ! kill -0 "$xvfb" 2>/dev/null && break
    sleep 0.1
  done
  local n
  n=$(tr -dc 0-9 <"$named")
  rm -f "$named"
  [ -n "$n" ] || { echo "Xvfb did not start"; kill "$xvfb" 2>/dev/null; return 1; }
  export DISPLAY=:$n
}
