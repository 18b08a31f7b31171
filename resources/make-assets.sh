#!/usr/bin/env bash
# Regenerates the launcher's pictures from nothing but ImageMagick and the
# DejaVu fonts: the splash (a baseline three-component JPEG of 700 x 420), the
# window icon (one .ico with eight images) and the PNG sizes of the desktop's
# hicolor theme. The results are committed; run this only to change the design.
set -euo pipefail
cd "$(dirname "$0")"
im=/usr/bin/convert
[ -x "$im" ] || im=convert
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
light=/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Splash: a calm slate-to-teal field, the name large and a thin rule below it.
# Large flat areas of known colour let the GUI tests sample the picture.
"$im" -size 700x420 gradient:'#1d3a4f'-'#2f6f73' -rotate 0 \
  -fill '#e9f1ef' -font "$font" -pointsize 120 -gravity center -annotate +0-30 'Qorv' \
  -fill '#9cc9c0' -draw 'rectangle 250,270 450,273' \
  -fill '#cfe3de' -font "$light" -pointsize 22 -annotate +0+110 'your portal, one click away' \
  -strip -colorspace sRGB -type TrueColor -sampling-factor 2x2 -interlace none -quality 92 \
  "JPEG:$tmp/splash.jpg"
mv "$tmp/splash.jpg" splash.jpg

# Icon master: a rounded teal tile with a white "Q".
"$im" -size 256x256 xc:none -fill '#2f6f73' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#e9f1ef' -font "$font" -pointsize 190 -gravity center -annotate +0+4 'Q' \
  "PNG32:$tmp/master.png"
for n in 16 24 32 48 64 128 256; do
  "$im" "$tmp/master.png" -resize ${n}x${n} -strip "PNG32:icons/qorv-${n}.png"
done

# Eight images: 32 and 16 at 16 colours; 48, 32 and 16 at 256 colours; 48,
# 32 and 16 at 32 bits. The palette images are flattened on the tile colour
# because palettes of that depth carry no partial transparency.
pal() {  # size colours output
  "$im" "$tmp/master.png" -resize "$1x$1" -background '#c0c0c0' -alpha remove -alpha off \
    +dither -colors "$2" -type Palette "BMP3:$3"
}
pal 32 16 "$tmp/a.bmp"
pal 16 16 "$tmp/b.bmp"
pal 48 256 "$tmp/c.bmp"
pal 32 256 "$tmp/d.bmp"
pal 16 256 "$tmp/e.bmp"
for n in 48 32 16; do
  "$im" "$tmp/master.png" -resize ${n}x${n} "PNG32:$tmp/t$n.png"
done
"$im" "$tmp/a.bmp" "$tmp/b.bmp" "$tmp/c.bmp" "$tmp/d.bmp" "$tmp/e.bmp" \
  "$tmp/t48.png" "$tmp/t32.png" "$tmp/t16.png" "ICO:$tmp/qorv.ico"
mv "$tmp/qorv.ico" qorv.ico
python3 "$(pwd)/check-icon.py" qorv.ico
