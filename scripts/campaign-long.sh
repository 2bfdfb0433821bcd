#!/usr/bin/env bash
# The long campaign, after the test command has built both trees. Figures go to build/campaign/.
#  - cycles: 1000 panel StartDialog / close cycles in one host process (CYCLES=N for another count);
#  - lines: 10,000 calls through the bus library on a faulty line (LINE_CALLS=N) and 2,000 at ten times
#    the fault rates;
#  - unplug: 100 unplugs of the unit under the open panel in each of its five states (UNPLUGS=N per state);
#  - soak: the panel against the emulated unit at ten times real time with seeded random scenario
#    steps and host calls, one hour (SOAK_MINUTES=N, SOAK_SEED=N);
#  - poll: the bus library on a Wine COM port against a peer paced like a real line, at 9600, 19200
#    and 38400 baud.
# STEPS=cycles,lines,unplug,soak,poll chooses among them; every chosen step runs, and the script fails
# when any did.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
win="$build/win"
cycles=${CYCLES:-1000}
minutes=${SOAK_MINUTES:-60}
seed=${SOAK_SEED:-$(date +%s)}
steps=${STEPS:-cycles,lines,unplug,soak,poll}
mkdir -p "$build/campaign"
status=0

has() { [[ ",$steps," == *",$1,"* ]]; }

if has cycles || has soak; then
  targets=()
  has cycles && targets+=(panel_cycles)
  has soak && targets+=(soak)
  cmake --build "$win" --target "${targets[@]}" -j2 >/dev/null
  "$win/wine-run.sh" --init
  trap '"$win/wine-run.sh" --shutdown' EXIT
  if has cycles; then
    "$win/wine-run.sh" "$win/tests/campaign/panel_cycles.exe" "$cycles" \
      "$PWD/$build/campaign/panel_cycles_$cycles.csv" || status=1
  fi
  if has soak; then
    echo "== soak: $minutes min, seed $seed"
    "$win/wine-run.sh" "$win/tests/campaign/soak.exe" $((minutes * 60)) "$seed" \
      "$PWD/$build/campaign/soak_${minutes}min_seed$seed.txt" || status=1
  fi
fi

# Line faults: the native relay and emulator, the Windows driver; the prefix is the short form's.
if has lines; then
  cmake --build "$build" --target line_fault_relay lumen_emulator -j2 >/dev/null
  cmake --build "$win" --target line_fault_driver -j2 >/dev/null
  bash tests/campaign/run-line-faults.sh "$PWD/$win/wine-run.sh" "$PWD/$build/tests/campaign/line_fault_relay" \
    "$PWD/$build/emulator/lumen-emulator" "$PWD/$win/tests/campaign/line_fault_driver.exe" \
    "$PWD/$win/wineprefix-campaign-line" 19200 "$PWD/$build/campaign" "${LINE_CALLS:-10000},1,1" "2000,2,10" || status=1
fi

# Unplug: the emulator killed and started again under the open panel, its own prefix.
if has unplug; then
  cmake --build "$build" --target lumen_emulator -j2 >/dev/null
  cmake --build "$win" --target unplug_driver -j2 >/dev/null
  bash tests/campaign/run-unplug.sh "$PWD/$win/wine-run.sh" "$PWD/$build/emulator/lumen-emulator" \
    "$PWD/$win/tests/campaign/unplug_driver.exe" "$PWD/$win/wineprefix-campaign-unplug" "${UNPLUGS:-100}" || status=1
fi

if has poll; then
  cmake --build "$build" --target nxjbus_test_peer -j2 >/dev/null
  cmake --build "$win" --target nxjbus_line_test -j2 >/dev/null
  bash tests/e2e/nxjbus/run-line-test.sh "$win/wine-run.sh" "$build/tests/e2e/nxjbus/nxjbus_test_peer" \
    "$win/tests/e2e/nxjbus/nxjbus_line_test.exe" "$PWD/$win/wineprefix-nxjbus-line" 9600 19200 38400 \
    >"$build/campaign/polling_round.log" 2>&1 || status=1
  grep -E '^== |\[ measured \] polling round' "$build/campaign/polling_round.log" || true
fi
exit $status
