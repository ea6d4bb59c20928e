#!/usr/bin/env bash
# Renders the editable artwork sources in assets/ into the files the build embeds.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick; the outputs are committed,
# so a normal build does not run this.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for s in 16 20 24 32 40 48 64 256; do
  rsvg-convert -w $s -h $s icon/snowflake.svg -o "$tmp/i$s.png"
done
convert "$tmp"/i16.png "$tmp"/i20.png "$tmp"/i24.png "$tmp"/i32.png "$tmp"/i40.png "$tmp"/i48.png "$tmp"/i64.png "$tmp"/i256.png icon/quillar.ico
cp "$tmp/i256.png" icon/snowflake-256.png
