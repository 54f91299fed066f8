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

# Starts Xvfb on a display number nobody uses; sets DISPLAY and xvfb (its process id).
start_display() {
  local n=90
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$n
  sleep 1
}
