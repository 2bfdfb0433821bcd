#!/usr/bin/env bash
# Runs the bus library's test against the unit emulator under Wine: a socat pseudo-terminal pair,
# lumen-emulator on one end (with a control port), COM5 of a private Wine prefix on the other; once per
# unit software version and baud rate.
#   run-unit-test.sh WINE_RUN EMULATOR TEST_EXE PREFIX
set -u
wine_run=$1 emulator=$2 test_exe=$3 prefix=$4
. "$(dirname "$0")/../pty-port.sh"
[ -x "$emulator" ] || { echo "no emulator at $emulator"; exit 1; }
pty_port_setup "$wine_run" "$prefix" COM5

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
