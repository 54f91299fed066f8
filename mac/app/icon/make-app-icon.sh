#!/usr/bin/env bash
# Draws the application icon of Morvik GamePad and packs it into MorvikGamePad.icns beside
# Info.plist.in: a light gamepad on a dark rounded square, with the updater's green arrow
# going down into it. Needs ImageMagick and Python 3.
# The .icns holds every image Apple's iconutil makes from a full icon set: 16, 32, 128, 256
# and 512 points at 1x and 2x, each as a PNG under its own entry type, after a table of
# contents. The same drawing always gives the same bytes. The .icns is kept in the
# repository, so a Mac build needs none of this; run it after changing the drawing and
# commit both.
set -euo pipefail
cd "$(dirname "$0")"
out=../MorvikGamePad.icns
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The 1024-point master; every other size is scaled down from it.
master="$work/icon-1024.png"
convert -size 1024x1024 xc:none \
  \( -size 824x824 gradient:'#3b4a5c-#1c232c' \
     \( -size 824x824 xc:black -fill white -draw 'roundrectangle 0,0 823,823 185,185' \) \
     -alpha off -compose copy_opacity -composite \) -geometry +100+100 -compose over -composite \
  -fill '#e8ecef' -stroke '#b9c2ca' -strokewidth 6 \
  -draw 'roundrectangle 212,450 812,700 125,125' \
  -draw 'circle 320,690 320,822' -draw 'circle 704,690 704,822' \
  -stroke none -draw 'roundrectangle 215,453 809,697 122,122' \
  -fill '#3a4653' -draw 'roundrectangle 304,538 352,672 10,10' -draw 'roundrectangle 261,581 395,629 10,10' \
  -fill '#d9534f' -draw 'circle 712,542 712,572' -fill '#4a90d9' -draw 'circle 660,594 660,624' \
  -fill '#f0ad4e' -draw 'circle 764,594 764,624' -fill '#5cb85c' -draw 'circle 712,646 712,676' \
  -fill '#3a4653' -draw 'roundrectangle 470,600 554,622 10,10' \
  \( -size 1024x1024 xc:none -fill '#7ebb37' \
     -draw 'polygon 452,150 572,150 572,300 652,300 512,440 372,300 452,300' \
     \( -size 1024x1024 gradient:'#dfedb4-#7ebb37' \) -compose atop -composite \) \
  -compose over -composite \
  "$master"

# Entry type and pixel size of each image, as iconutil names them (the 2x ones are ic11 to ic14).
entries=(icp4:16 ic11:32 icp5:32 ic12:64 ic07:128 ic13:256 ic08:256 ic14:512 ic09:512 ic10:1024)
for entry in "${entries[@]}"; do
  size=${entry#*:}
  # No time stamps, so that the file only changes with the drawing.
  convert "$master" -filter Lanczos -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "PNG32:$work/${entry%%:*}.png"
done
python3 - "$out" "$work" "${entries[@]%%:*}" <<'PACK'
import struct, sys
out, work, types = sys.argv[1], sys.argv[2], sys.argv[3:]
images = [(t.encode(), open(f"{work}/{t}.png", "rb").read()) for t in types]
toc = b"".join(t + struct.pack(">I", 8 + len(png)) for t, png in images)
body = b"TOC " + struct.pack(">I", 8 + len(toc)) + toc
body += b"".join(t + struct.pack(">I", 8 + len(png)) + png for t, png in images)
with open(out, "wb") as icns:
    icns.write(b"icns" + struct.pack(">I", 8 + len(body)) + body)
PACK
echo "wrote $(cd .. && pwd)/MorvikGamePad.icns"
