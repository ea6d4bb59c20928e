#!/usr/bin/env bash
# The folders form floors: a file may include its own folder and folders on
# lower floors, never one above it (so no two folders include each other).
# base/ is the ground floor every folder may use; shell/ is the top.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

floors=(base net render desktop world weather wallpaper screensaver ui setup shell)
declare -A floor
for i in "${!floors[@]}"; do floor[${floors[$i]}]=$i; done

bad=0
for dir in "${floors[@]}"; do
  [ -d "$dir" ] || continue
  while IFS=: read -r file line text; do
    target=$(sed -n 's/.*#include "\([a-z_]*\)\/.*/\1/p' <<<"$text")
    [ -n "$target" ] || continue
    if [ -z "${floor[$target]+x}" ]; then
      echo "layers: $file:$line includes $target/, which is not a product folder"; bad=1
    elif [ "${floor[$target]}" -gt "${floor[$dir]}" ]; then
      echo "layers: $file:$line: $dir/ includes $target/, a floor above it"; bad=1
    fi
  done < <(grep -n '#include "' "$dir"/*.h "$dir"/*.cpp 2>/dev/null)
  # Portable files stay portable.
  for f in "$dir"/*.h "$dir"/*.cpp; do
    [ -e "$f" ] || continue
    case "$f" in *_win.h|*_win.cpp) continue ;; esac
    if grep -qE '#include <(windows|d2d1|dwrite|wincodec|winhttp|shlobj|objbase)[^>]*>|#include "[a-z]+/[a-z_]+_win\.h"' "$f"; then
      echo "layers: $f is portable but includes Windows"; bad=1
    fi
  done
done
[ "$bad" -eq 0 ] && echo "layers: ok (${floors[*]})"
exit "$bad"
