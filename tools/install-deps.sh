#!/usr/bin/env bash
# Installs what building, running and testing Quillar needs on Debian (run as root).
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

pkgs=(
  cmake ninja-build g++ make pkg-config ccache
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  wine64 wine xvfb xserver-xorg-core xserver-xorg-video-dummy xdotool x11-utils x11-xserver-utils x11-apps xauth
  imagemagick librsvg2-bin python3 procps psmisc locales
)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# A locale with a decimal comma, so the unit tests can show that numbers are
# read and written the same whatever the user's locale.
have_comma_locale() { locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; }
[ ${#missing[@]} -eq 0 ] && have_comma_locale && exit 0

if [ "$(id -u)" -ne 0 ]; then
  [ ${#missing[@]} -eq 0 ] && exit 0  # only the test locale is missing: its test says so
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! have_comma_locale; then
  sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
