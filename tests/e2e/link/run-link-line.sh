#!/usr/bin/env bash
# Runs the unit link's line test under Wine: a socat pseudo-terminal pair, the emulator's serial front
# end on one end, COM6 of a private Wine prefix mapped to the other, per unit version and baud rate.
#   run-link-line.sh WINE_RUN EMULATOR TEST_EXE PREFIX BAUD...
set -u
wine_run=$1 emulator=$2 test_exe=$3 prefix=$4
shift 4
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

socat pty,rawer,link="$work/unit" pty,rawer,link="$work/host" 2>"$work/socat.log" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/unit" ] && [ -e "$work/host" ] && break; sleep 0.05; done
[ -e "$work/host" ] || { echo "socat did not make the pty pair"; cat "$work/socat.log"; exit 1; }

"$wine_run" --init || exit 1
"$wine_run" reg add 'HKLM\Software\Wine\Ports' /v COM6 /d "$(readlink -f "$work/host")" /f >/dev/null 2>&1
wineserver -k 2>/dev/null; sleep 0.5 # the mapping is read when the server starts

status=0
for baud in "$@"; do
  for version in 1.02 2.10; do
    protocol=${version%%.*}; [ "$protocol" -ge 2 ] && protocol=2
    "$emulator" --serial "$work/unit" --baud "$baud" --unit-version "$version" >"$work/emu.log" 2>&1 &
    emu_pid=$!
    pids+=($emu_pid)
    sleep 0.3
    echo "== unit $version at $baud baud"
    LINK_TEST_PORT=COM6 LINK_TEST_BAUD=$baud LINK_TEST_PROTOCOL=$protocol "$wine_run" "$test_exe" || status=1
    kill "$emu_pid" 2>/dev/null; wait "$emu_pid" 2>/dev/null
  done
done
exit $status
