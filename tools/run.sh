#!/usr/bin/env bash
# Installs what is missing, builds, and starts quillar.exe under Wine.
# With a usable X display ($DISPLAY) Quillar runs there; without one it runs on
# a virtual 1920x1080 display and a screenshot is saved every few seconds to
# build/screenshots/. Stop it with Ctrl+C. Extra arguments go to quillar.exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh
bash tools/build.sh win

export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-quillar}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
shots="$root/build/screenshots"
xvfb_pid=""
cleanup() {
  [ -n "${quillar_pid:-}" ] && kill "$quillar_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  virtual=1
  echo "No X display: running on virtual display $DISPLAY; screenshots go to $shots"
else
  virtual=0
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX (once)..."
  timeout 180 wineboot -i >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  # A crash must end the program, not wait in the debugger.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d false /f >/dev/null 2>&1 || true
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1 || true
fi

wine "$root/build/win/quillar.exe" "$@" &
quillar_pid=$!
# On a fresh prefix the log's folder appears only once Quillar has started.
log=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/Kovra 2>/dev/null | head -n 1 || true)
echo "Quillar is running (log: ${log:-$WINEPREFIX/drive_c/users/<you>/AppData/Local/Kovra}/kovra-log.txt)."

if [ "$virtual" = 1 ]; then
  mkdir -p "$shots"
  i=0
  while kill -0 "$quillar_pid" 2>/dev/null; do
    sleep 5
    i=$((i + 1))
    xwd -root -silent -display "$DISPLAY" | convert xwd:- "$shots/shot-$(printf %04d $i).png" 2>/dev/null || true
  done
else
  wait "$quillar_pid" || true
fi
