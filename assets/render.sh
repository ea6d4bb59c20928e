#!/usr/bin/env bash
# Renders the editable artwork sources in assets/ into the files the build embeds:
#   icon/snowflake.svg         -> icon/quillar.ico (16..256 px) and icon/snowflake-256.png
#   sprites/4xx-*.svg          -> sprites/4xx-*.png at the exact pixel size each picture is loaded at
#   cursors/mitten-*.svg       -> cursors/mitten-*.cur (32, 48 and 64 px, hotspot mid-palm)
# then checks the pictures for clean edges and redraws contact-sheet.png for a visual review.
# Needs rsvg-convert (librsvg2-bin), ImageMagick and python3; the outputs are committed,
# so a normal build does not run this.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# --- program icon
for s in 16 20 24 32 40 48 64 256; do
  rsvg-convert -w $s -h $s icon/snowflake.svg -o "$tmp/i$s.png"
done
convert "$tmp"/i16.png "$tmp"/i20.png "$tmp"/i24.png "$tmp"/i32.png "$tmp"/i40.png "$tmp"/i48.png "$tmp"/i64.png "$tmp"/i256.png icon/quillar.ico
cp "$tmp/i256.png" icon/snowflake-256.png

# --- sprites: name, width, height (pixels), and the size the scene usually draws it at (points)
sprites=(
  "400-snowball           256 256  40  40"
  "401-snow-heap          256 256  50  50"
  "402-star                64  64  12  12"
  "403-santa-sleigh       288 228 120  95"
  "404-reindeer-stretch   186 162  78  68"
  "405-reindeer-gather    186 162  78  68"
  "406-bullfinch-standing  78  66  26  22"
  "407-bullfinch-pecking   78  66  26  22"
  "408-bullfinch-wings-up  78  66  26  22"
  "409-bullfinch-wings-down 78 66  26  22"
  "410-gift-red            66  72  22  24"
  "411-gift-green          66  72  22  24"
  "412-gift-blue           66  72  22  24"
)
for entry in "${sprites[@]}"; do
  read -r name w h _ _ <<<"$entry"
  rsvg-convert -w "$w" -h "$h" "sprites/$name.svg" -o "sprites/$name.png"
done

# --- cursors: the same drawing at 32, 48 and 64 px; hotspot (32,30) of the 64-px drawing
for name in mitten-open mitten-closed; do
  for s in 32 48 64; do rsvg-convert -w $s -h $s "cursors/$name.svg" -o "$tmp/$name-$s.png"; done
  python3 artwork.py cursor "cursors/$name.cur" 32 30 "$tmp/$name-32.png" "$tmp/$name-48.png" "$tmp/$name-64.png"
done

python3 artwork.py check sprites/*.png "$tmp"/mitten-*-32.png

# --- contact sheet: each picture at full size over a light and a dark desktop, then at the size
# the scene draws it (1x and 2x display scale), then the flying team as the scene composes it.
light="#eef0f2"; dark="#1e2530"; font=DejaVu-Sans
rows=()
n=0
for entry in "${sprites[@]}"; do
  read -r name w h dw dh <<<"$entry"
  png="sprites/$name.png"
  parts=()
  for bg in "$light" "$dark"; do
    convert -size "${w}x${h}" "xc:$bg" "$png" -composite "$tmp/f$n-${bg#\#}.png"
    parts+=("$tmp/f$n-${bg#\#}.png")
  done
  for bg in "$light" "$dark"; do
    for s in 1 2; do
      convert "$png" -resize "$((dw * s))x$((dh * s))!" "$tmp/r.png"
      convert -size "$((dw * s + 16))x$((dh * s + 16))" "xc:$bg" "$tmp/r.png" -gravity center -composite "$tmp/s$n-$s-${bg#\#}.png"
      parts+=("$tmp/s$n-$s-${bg#\#}.png")
    done
  done
  convert "${parts[@]}" -background "#9aa0a8" -gravity west -splice 8x0 -gravity center +append +repage "$tmp/row.png"
  convert -background "#9aa0a8" -fill "#10141a" -font "$font" -pointsize 14 \
    label:"$name   ${w}x${h} px, drawn at ${dw}x${dh} pt" "$tmp/row.png" -gravity west -append +repage "$tmp/row$n.png"
  rows+=("$tmp/row$n.png")
  n=$((n + 1))
done
for c in "0.30 0" "0.45 1"; do
  read -r t cheer <<<"$c"
  python3 artwork.py team "$tmp/team.svg" "$t" "$cheer"
  rsvg-convert "$tmp/team.svg" -o "$tmp/team.png"
  for bg in "$light" "$dark"; do
    convert -size 340x180 "xc:$bg" "$tmp/team.png" -composite "$tmp/team-$cheer-${bg#\#}.png"
  done
done
convert "$tmp"/team-0-*.png "$tmp"/team-1-*.png -background "#9aa0a8" -gravity west -splice 8x0 +append +repage "$tmp/team-row.png"
convert -background "#9aa0a8" -fill "#10141a" -font "$font" -pointsize 14 \
  label:"the team as the scene draws it (scale 1.25), resting and waving" "$tmp/team-row.png" -gravity west -append +repage "$tmp/rowteam.png"
rows+=("$tmp/rowteam.png")
cursors=()
for name in mitten-open mitten-closed; do
  for bg in "$light" "$dark"; do
    convert -size 48x48 "xc:$bg" "$tmp/$name-32.png" -gravity center -composite "$tmp/c-$name-${bg#\#}.png"
    cursors+=("$tmp/c-$name-${bg#\#}.png")
  done
done
convert "${cursors[@]}" -background "#9aa0a8" -gravity west -splice 8x0 +append +repage "$tmp/cur-row.png"
convert -background "#9aa0a8" -fill "#10141a" -font "$font" -pointsize 14 \
  label:"mitten cursors, open and closed (32 px)" "$tmp/cur-row.png" -gravity west -append +repage "$tmp/rowcur.png"
rows+=("$tmp/rowcur.png")
convert "${rows[@]}" -background "#9aa0a8" -gravity north -splice 0x10 -gravity west -append -bordercolor "#9aa0a8" -border 8 +repage -depth 8 -strip -define png:exclude-chunks=date,time contact-sheet.png
echo "rendered; contact-sheet.png redrawn"
