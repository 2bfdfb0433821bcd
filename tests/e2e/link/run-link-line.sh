#!/usr/bin/env bash
# Runs the unit link's line test under Wine: a socat pseudo-terminal pair, the emulator's serial front
# end (with a control port) on one end, COM6 of a private Wine prefix mapped to the other, per unit
# version and baud rate.
#   run-link-line.sh WINE_RUN EMULATOR TEST_EXE PREFIX BAUD...
set -u
wine_run=$1 emulator=$2 test_exe=$3 prefix=$4
shift 4
. "$(dirname "$0")/../pty-port.sh"
[ -x "$emulator" ] || { echo "no emulator at $emulator"; exit 1; }
pty_port_setup "$wine_run" "$prefix" COM6

status=0
for baud in "$@"; do
  for version in 1.02 2.10; do
    protocol=${version%%.*}; [ "$protocol" -ge 2 ] && protocol=2
    "$emulator" --serial "$work/unit" --baud "$baud" --unit-version "$version" --control 0 \
      >"$work/emu.log" 2>&1 </dev/null &
    emu_pid=$!
    pids+=($emu_pid)
    emulator_control_port "$work/emu.log"
    echo "== unit $version at $baud baud"
    LINK_TEST_PORT=COM6 LINK_TEST_BAUD=$baud LINK_TEST_PROTOCOL=$protocol LINK_TEST_CONTROL=$control \
      "$wine_run" "$test_exe" || status=1
    kill "$emu_pid" 2>/dev/null; wait "$emu_pid" 2>/dev/null
  done
done
exit $status
