#!/usr/bin/env bash
# Draws the example brand's two 468x60 banners and its icon with ImageMagick:
#   bash examples/brand/make-banners.sh [FOLDER]
# banner1.dat is a still PNG, banner2.dat a two-frame animated GIF; the brand
# text names them prizedesk-spring.png and prizedesk-tips.gif, which tells
# the program how to read each. icon.png (256x256) becomes the kit's main.ico
# and menu icon.
set -euo pipefail
OUT=${1:-$(dirname "$0")}
FONT=DejaVu-Sans
BOLD=DejaVu-Sans-Bold

convert -size 468x60 gradient:'#0f6b5b'-'#1c9a83' \
  -fill '#f4c542' -draw 'roundrectangle 10,12 46,48 6,6' \
  -fill '#0f6b5b' -font "$BOLD" -pointsize 22 -gravity northwest -annotate +18+16 'P' \
  -fill white -font "$BOLD" -pointsize 20 -annotate +58+9 'Prize Desk' \
  -fill '#d9f2ec' -font "$FONT" -pointsize 12 -annotate +59+35 'Spring giveaway kit is ready' \
  -fill '#f4c542' -draw 'roundrectangle 330,16 454,44 5,5' \
  -fill '#0f4d42' -font "$BOLD" -pointsize 12 -gravity northwest -annotate +346+23 'Get the kit' \
  -strip "PNG:$OUT/banner1.dat"

frame() {
  convert -size 468x60 xc:'#fbf7ea' \
    -fill none -stroke '#e2d9bd' -draw 'rectangle 0,0 467,59' -stroke none \
    -fill '#17806d' -draw 'rectangle 0,0 6,59' \
    -fill '#0f4d42' -font "$BOLD" -pointsize 16 -gravity west -annotate +22-8 "$1" \
    -fill '#4a5563' -font "$FONT" -pointsize 12 -annotate +22+12 "$2" \
    -fill '#17806d' -font "$BOLD" -pointsize 12 -gravity east -annotate +16+0 'Prize Desk tips' \
    "$3"
}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
frame 'One field sign-up forms win' 'Ask for the e-mail address only.' "$TMP/a.gif"
frame 'Put the prize above the fold' 'Visitors decide in the first seconds.' "$TMP/b.gif"
convert -delay 300 -loop 0 "$TMP/a.gif" "$TMP/b.gif" "GIF:$OUT/banner2.dat"

convert -size 256x256 xc:none \
  -fill '#0f6b5b' -draw 'roundrectangle 8,8 247,247 48,48' \
  -fill '#f4c542' -draw 'roundrectangle 40,40 215,215 36,36' \
  -fill '#0f6b5b' -font "$BOLD" -pointsize 150 -gravity center -annotate +0+6 'P' \
  -strip "PNG32:$OUT/icon.png"
