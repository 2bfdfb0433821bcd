#!/usr/bin/env bash
# The long campaign, after the test command has built the Windows tree: 1000 panel StartDialog / close
# cycles in one host process (CYCLES=N for another count), then 10,000 calls through the bus library on a
# faulty line (LINE_CALLS=N) and 2,000 at ten times the fault rates, then 100 unplugs of the unit under
# the open panel (UNPLUGS=N). PARTS="cycles lines unplug" chooses among them. Per-cycle and per-call figures go
# to build/campaign/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
win="$build/win"
cycles=${CYCLES:-1000}
parts=" ${PARTS:-cycles lines unplug} "
status=0 # every part runs; the script fails when any did
mkdir -p "$build/campaign"
if [[ $parts == *" cycles "* ]]; then
  cmake --build "$win" --target panel_cycles -j2 >/dev/null
  "$win/wine-run.sh" --init
  trap '"$win/wine-run.sh" --shutdown' EXIT
  "$win/wine-run.sh" "$win/tests/campaign/panel_cycles.exe" "$cycles" "$PWD/$build/campaign/panel_cycles_$cycles.csv"
fi

# Line faults: the native relay and emulator, the Windows driver; the prefix is the short form's.
if [[ $parts == *" lines "* ]]; then
  cmake --build "$build" --target line_fault_relay lumen_emulator -j2 >/dev/null
  cmake --build "$win" --target line_fault_driver -j2 >/dev/null
  bash tests/campaign/run-line-faults.sh "$PWD/$win/wine-run.sh" "$PWD/$build/tests/campaign/line_fault_relay" \
    "$PWD/$build/emulator/lumen-emulator" "$PWD/$win/tests/campaign/line_fault_driver.exe" \
    "$PWD/$win/wineprefix-campaign-line" 19200 "$PWD/$build/campaign" "${LINE_CALLS:-10000},1,1" "2000,2,10" || status=1
fi

# Unplug: the emulator killed and started again under the open panel, its own prefix.
if [[ $parts == *" unplug "* ]]; then
  cmake --build "$build" --target lumen_emulator -j2 >/dev/null
  cmake --build "$win" --target unplug_driver -j2 >/dev/null
  bash tests/campaign/run-unplug.sh "$PWD/$win/wine-run.sh" "$PWD/$build/emulator/lumen-emulator" \
    "$PWD/$win/tests/campaign/unplug_driver.exe" "$PWD/$win/wineprefix-campaign-unplug" "${UNPLUGS:-100}" || status=1
fi
exit $status
