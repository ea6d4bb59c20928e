#!/usr/bin/env bash
# Builds both trees: build/native (portable core, unit tests, tools, benchmarks)
# and build/win (quillar.exe and the test helper, cross-compiled).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
what=${1:-all}
# Objects compiled in another clone or work tree of the project are reused.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
# Debug builds would otherwise hash the build folder and share nothing.
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if [ "$what" = all ] || [ "$what" = win ]; then
  cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
  cmake --build "$root/build/win" -j "$jobs"
fi
