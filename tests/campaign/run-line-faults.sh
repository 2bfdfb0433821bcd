#!/usr/bin/env bash
# Line faults: the real Nxjbus.dll under Wine on COM6, a pseudo-terminal to the fault relay, a second
# pseudo-terminal from the relay to the emulator's serial front end. Each run is CALLS,SEED,SCALE (SCALE
# multiplies the fault rates); the relay's ledger and the driver's results are reconciled call by call.
#   run-line-faults.sh WINE_RUN RELAY EMULATOR DRIVER PREFIX BAUD OUT_DIR RUN...
set -u
wine_run=$1 relay=$2 emulator=$3 driver=$4 prefix=$5 baud=$6 out=$7
shift 7
. "$(dirname "$0")/../e2e/pty-port.sh"
for tool in "$relay" "$emulator" "$driver"; do [ -e "$tool" ] || { echo "missing $tool"; exit 1; }; done
pty_port_setup "$wine_run" "$prefix" COM6
# Wine first, then the pseudo-terminals: a wineserver that still holds the port when its pty goes away
# gets a hang-up and dumps its whole object table into the log.
trap '"$wine_run" --shutdown; for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
mkdir -p "$out"

# The second pair: the relay's unit side and the line the emulator serves.
socat pty,rawer,link="$work/relay-unit" pty,rawer,link="$work/emulator" 2>>"$work/socat.log" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/relay-unit" ] && [ -e "$work/emulator" ] && break; sleep 0.05; done

"$emulator" --serial "$work/emulator" --baud "$baud" --control 0 >"$work/emulator.log" 2>&1 </dev/null &
pids+=($!)
emulator_control_port "$work/emulator.log"

status=0
for run in "$@"; do
  IFS=, read -r calls seed scale <<<"$run"
  name="line_faults_${calls}_seed${seed}_x${scale}"
  "$relay" relay --host "$work/unit" --unit "$work/relay-unit" --seed "$seed" --baud "$baud" --scale "$scale" \
    --out "$out/$name.relay.csv" >"$work/relay.log" 2>&1 &
  relay_pid=$!
  pids+=($relay_pid)
  for _ in $(seq 100); do grep -q ready "$work/relay.log" && break; sleep 0.05; done
  echo "== $calls calls at $baud baud, seed $seed, fault rates x$scale"
  "$wine_run" "$driver" "$calls" COM6 "$baud" "$control" "Z:$out/$name.driver.csv" || status=1
  kill -TERM "$relay_pid"; wait "$relay_pid"
  cat "$work/relay.log"
  "$relay" reconcile "$out/$name.relay.csv" "$out/$name.driver.csv" || status=1
done
exit $status
