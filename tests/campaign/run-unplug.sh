#!/usr/bin/env bash
# Unplug: the module with the real Nxjbus.dll under Wine on COM1, a pseudo-terminal to the emulator's
# serial front end, which this script kills and starts again (same control port, same non-volatile
# memory) whenever the driver asks, through files in a signal folder.
#   run-unplug.sh WINE_RUN EMULATOR DRIVER PREFIX CYCLES_PER_STATE
set -u
wine_run=$1 emulator=$2 driver=$3 prefix=$4 cycles=$5
. "$(dirname "$0")/../e2e/pty-port.sh"
for tool in "$emulator" "$driver"; do [ -e "$tool" ] || { echo "missing $tool"; exit 1; }; done
pty_port_setup "$wine_run" "$prefix" COM1
# Wine first, then the pseudo-terminals: a wineserver that still holds the port when its pty goes away
# gets a hang-up and dumps its whole object table into the log.
trap '"$wine_run" --shutdown; for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
signals="$work/signals"
mkdir -p "$signals"

control=0
emulator_pid=
start_emulator() {
  : >"$work/emulator.log"
  "$emulator" --serial "$work/unit" --control "$control" --state "$work/unit-memory.txt" \
    >"$work/emulator.log" 2>&1 </dev/null &
  emulator_pid=$!
  pids+=($emulator_pid)
  for _ in $(seq 200); do
    port=$(sed -n 's/.*control on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/emulator.log" | head -1)
    [ -n "$port" ] && { control=$port; return 0; }
    sleep 0.05
  done
  echo "emulator did not start"; cat "$work/emulator.log"; return 1
}
start_emulator || exit 1

"$wine_run" "$driver" "$cycles" "$control" "Z:$signals" &
driver_pid=$!
pids+=($driver_pid)
# Stops a process of ours and forgets its number, which may be reused.
stop() {
  kill -KILL "$1" 2>/dev/null; wait "$1" 2>/dev/null
  alive=(); for p in "${pids[@]}"; do [ "$p" != "$1" ] && alive+=("$p"); done
  pids=("${alive[@]}")
}
while kill -0 "$driver_pid" 2>/dev/null; do
  if [ -e "$signals/unplug" ]; then
    rm -f "$signals/unplug"
    stop "$emulator_pid"
    # An unplugged line loses what the master sends: left in the pseudo-terminal, the frames would
    # reach the next unit, which would carry out a write cut short here. The unit left the line
    # non-blocking (a read of nothing ends cat at once): one byte at least per read.
    stty -F "$work/unit" min 1 time 0
    cat "$work/unit" >/dev/null 2>&1 &
    drain_pid=$!
    pids+=($drain_pid)
    touch "$signals/unplugged"
  fi
  if [ -e "$signals/replug" ]; then
    rm -f "$signals/replug"
    stop "$drain_pid"
    start_emulator && touch "$signals/replugged"
  fi
  sleep 0.02
done
wait "$driver_pid"
status=$?
kill "$emulator_pid" 2>/dev/null
exit $status
