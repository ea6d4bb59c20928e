#!/usr/bin/env bash
# Runs every test: the unit tests of the portable core (under ASan and UBSan)
# and the end-to-end tests of the real quillar.exe under Wine on a virtual display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh || exit 1
bash tools/build.sh all || { echo "build failed"; exit 1; }

# The folders' floors: nothing includes a folder above it.
layers_failed=0
bash tools/check-layers.sh || layers_failed=1

unit_log=$(mktemp)
(cd build/native && ctest --output-on-failure -j "$(nproc)" --timeout 300) 2>&1 | tee "$unit_log"
unit_status=${PIPESTATUS[0]}

e2e_log=$(mktemp)
QUILLAR_WIN_BUILD="$root/build/win" QUILLAR_SHOTS="$root/build/e2e-shots" \
  python3 tests/e2e/run.py "$@" 2>&1 | tee "$e2e_log"
e2e_status=${PIPESTATUS[0]}

# One closing line over both suites.
u_total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$unit_log" | tail -n 1)
u_failed=${u_total% *}; u_all=${u_total#* }
e_line=$(grep -E '^e2e: [0-9]+ passed, [0-9]+ failed' "$e2e_log" | tail -n 1)
e_passed=$(echo "$e_line" | sed -n 's/^e2e: \([0-9]*\) passed.*/\1/p')
e_failed=$(echo "$e_line" | sed -n 's/.* \([0-9]*\) failed.*/\1/p')
rm -f "$unit_log" "$e2e_log"
passed=$(( ${u_all:-0} - ${u_failed:-0} + ${e_passed:-0} + 1 - layers_failed ))
failed=$(( ${u_failed:-0} + ${e_failed:-0} + layers_failed ))
if [ "$unit_status" -ne 0 ] || [ "$e2e_status" -ne 0 ] || [ "$layers_failed" -ne 0 ]; then
  [ "$failed" -eq 0 ] && failed=1
fi
echo "all: $passed passed, $failed failed"
[ "$unit_status" -eq 0 ] && [ "$e2e_status" -eq 0 ] && [ "$layers_failed" -eq 0 ]
