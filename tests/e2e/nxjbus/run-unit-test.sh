#!/usr/bin/env bash
# Runs the bus library's test against the unit emulator under Wine: a socat pseudo-terminal pair,
# lumen-emulator on one end (with a control port), COM5 of a private Wine prefix on the other; once per
# unit software version and baud rate.
#   run-unit-test.sh WINE_RUN EMULATOR TEST_EXE PREFIX
set -u
wine_run=$1 emulator=$2 test_exe=$3 prefix=$4
export LUMEN_WINEPREFIX=$prefix WINEPREFIX=$prefix
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  "$wine_run" --shutdown
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM

[ -x "$emulator" ] || { echo "no emulator at $emulator"; exit 1; }
socat pty,rawer,link="$work/unit" pty,rawer,link="$work/host" 2>"$work/socat.log" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/unit" ] && [ -e "$work/host" ] && break; sleep 0.05; done
[ -e "$work/host" ] || { echo "socat did not make the pty pair"; cat "$work/socat.log"; exit 1; }

"$wine_run" --init || exit 1
"$wine_run" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$(readlink -f "$work/host")" /f >/dev/null 2>&1
wineserver -k 2>/dev/null; sleep 0.5 # the mapping is read when the server starts

status=0
for run in "1.02 1 19200" "2.10 2 19200" "2.10 2 38400"; do
  read -r version protocol baud <<<"$run"
  "$emulator" --serial "$work/unit" --baud "$baud" --unit-version "$version" --control 0 \
    >"$work/emulator.log" 2>&1 </dev/null &
  emulator_pid=$!
  pids+=($emulator_pid)
  control=
  for _ in $(seq 100); do
    control=$(sed -n 's/.*control on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/emulator.log" | head -1)
    [ -n "$control" ] && break
    sleep 0.05
  done
  [ -n "$control" ] || { echo "emulator did not start"; cat "$work/emulator.log"; exit 1; }
  echo "== unit $version (protocol $protocol) at $baud baud"
  NXJBUS_TEST_PORT=COM5 NXJBUS_TEST_BAUD=$baud NXJBUS_TEST_PROTOCOL=$protocol NXJBUS_TEST_CONTROL=$control \
    "$wine_run" "$test_exe" || status=1
  kill "$emulator_pid" 2>/dev/null; wait "$emulator_pid" 2>/dev/null
done
exit $status
