# Sourced by the end-to-end scripts: a socat pseudo-terminal pair whose host end is a COM port of a
# private Wine prefix, and the clean-up of everything started.
#   pty_port_setup WINE_RUN PREFIX COMn   -> $work/unit is the unit's end; pids+=(...) for clean-up
pty_port_setup() {
  local port=$3
  wine_run=$1
  export LUMEN_WINEPREFIX=$2 WINEPREFIX=$2
  work=$(mktemp -d)
  pids=()
  trap pty_port_cleanup EXIT
  trap "exit 1" INT TERM

  socat pty,rawer,link="$work/unit" pty,rawer,link="$work/host" 2>"$work/socat.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$work/unit" ] && [ -e "$work/host" ] && break; sleep 0.05; done
  [ -e "$work/host" ] || { echo "socat did not make the pty pair"; cat "$work/socat.log"; exit 1; }

  "$wine_run" --init || exit 1
  "$wine_run" reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$(readlink -f "$work/host")" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null; sleep 0.5 # the mapping is read when the server starts
  # The device link the mapping stands for, in case the prefix's mount manager has not made it yet.
  ln -sfn "$(readlink -f "$work/host")" "$2/dosdevices/${port,,}"
}

pty_port_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  "$wine_run" --shutdown
  rm -rf "$work"
}

#   emulator_control_port LOG   -> $control: the control port the emulator started with --control 0
#                                  reports in LOG; the script fails when it reports none within 5 s
emulator_control_port() {
  control=
  for _ in $(seq 100); do
    control=$(sed -n 's/.*control on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$1" | head -1)
    [ -n "$control" ] && return 0
    sleep 0.05
  done
  echo "emulator did not start"; cat "$1"; exit 1
}
