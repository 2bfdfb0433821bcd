# Sourced by the end-to-end scripts: a scratch folder, a socat pseudo-terminal pair ($work/unit for the
# emulator, $work/master for the master), and start_emulator OPTIONS... which serves the unit end and
# sets $port to its control port. Everything started is stopped and the folder removed on exit.
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/emu.log" ] && sed 's/^/  emulator: /' "$work/emu.log"; exit 1; }

socat pty,rawer,link="$work/unit" pty,rawer,link="$work/master" 2>"$work/socat.log" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/unit" ] && [ -e "$work/master" ] && break; sleep 0.05; done
[ -e "$work/master" ] || fail "socat made no pty pair"

start_emulator() {
  "$emulator" --serial "$work/unit" --control 0 "$@" </dev/null >"$work/emu.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do grep -q 'serving' "$work/emu.log" && break; sleep 0.05; done
  port=$(sed -n 's/.*control on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/emu.log")
  [ -n "$port" ] || fail "the emulator did not report serving"
}
