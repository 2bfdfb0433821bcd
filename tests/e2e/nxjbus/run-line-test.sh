#!/usr/bin/env bash
# Runs the bus library's line test under Wine: a socat pseudo-terminal pair, the libmodbus test peer on
# one end, COM5 of a private Wine prefix mapped to the other end, once per baud rate.
#   run-line-test.sh WINE_RUN PEER TEST_EXE PREFIX BAUD...
set -u
wine_run=$1 peer=$2 test_exe=$3 prefix=$4
shift 4
. "$(dirname "$0")/../pty-port.sh"
pty_port_setup "$wine_run" "$prefix" COM5

status=0
for baud in "$@"; do
  for paced in 0 1; do
    flag=; [ "$paced" = 1 ] && flag=--pace
    "$peer" "$work/unit" "$baud" $flag >"$work/peer.log" 2>&1 &
    peer_pid=$!
    pids+=($peer_pid)
    for _ in $(seq 100); do grep -q ready "$work/peer.log" && break; sleep 0.05; done
    echo "== $baud baud, peer paced to the wire: $paced"
    NXJBUS_TEST_PORT=COM5 NXJBUS_TEST_BAUD=$baud NXJBUS_TEST_PACED=$paced "$wine_run" "$test_exe" || status=1
    kill "$peer_pid" 2>/dev/null; wait "$peer_pid" 2>/dev/null
  done
done
exit $status
