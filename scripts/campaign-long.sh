#!/usr/bin/env bash
# The long campaign, after the test command has built the Windows tree: 1000 panel StartDialog / close
# cycles in one host process (CYCLES=N for another count). Per-cycle figures go to build/campaign/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
win="$build/win"
cycles=${CYCLES:-1000}
cmake --build "$win" --target panel_cycles -j2 >/dev/null
"$win/wine-run.sh" --init
trap '"$win/wine-run.sh" --shutdown' EXIT
mkdir -p "$build/campaign"
"$win/wine-run.sh" "$win/tests/campaign/panel_cycles.exe" "$cycles" "$PWD/$build/campaign/panel_cycles_$cycles.csv"
