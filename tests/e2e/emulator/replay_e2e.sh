#!/usr/bin/env bash
# lumen-emulator --replay over a socat pseudo-terminal pair, read by mbpoll: the recorded value, the
# recorded exception, the recorded silence and its 300 ms answer, then a request the trace never had.
set -u
emulator="$1"
source "$(dirname "$0")/emulator-on-pty.sh"

cat >"$work/site.trace" <<'TRACE'
# lumen-jbus-trace 1 COM2
1000.000 COM2 -- opened at 19200 baud
1010.000 COM2 TX 01 03 70 0F 00 01 AE C9
1020.000 COM2 RX 01 03 02 12 34 B5 33
1100.000 COM2 TX 01 03 70 0F 00 01 AE C9
1110.000 COM2 RX 01 83 06 C1 32
1110.000 COM2 -- exception answer
1200.000 COM2 TX 01 03 70 10 00 01 9F 0F
1400.000 COM2 -- no answer
1500.000 COM2 TX 01 03 70 10 00 01 9F 0F
1800.000 COM2 RX 01 03 02 12 34 B5 33
TRACE

start_emulator --replay "$work/site.trace"
grep -q 'replaying 4 exchanges of COM2' "$work/emu.log" || fail "no replay announced"

poll() { timeout 10 mbpoll -m rtu -b 19200 -P none -a 1 -0 -1 -o 1 -t 4:hex -c 1 "$@" "$work/master" 2>&1; }

poll -r 28687 | grep -q '0x1234' || fail "recorded value: $(poll -r 28687)"
poll -r 28687 | grep -qi 'busy' || fail "recorded exception"
poll -r 28688 | grep -qi 'timed out\|timeout' || fail "recorded silence"
start=$(date +%s%N)
poll -r 28688 | grep -q '0x1234' || fail "recorded slow answer"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -ge 250 ] || fail "the slow answer came after $elapsed ms"
poll -r 28689 | grep -qi 'timed out\|timeout' || fail "a request past the trace must meet silence"
grep -q 'replay diverged: request 01 03 70 11 00 01 .* after the end of the trace' "$work/emu.log" \
  || fail "divergence not reported"

exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "control port"
echo "replay status" >&3; read -r reply <&3
[ "$reply" = "replay: played 4 of 4 exchanges, 1 divergences; first: request 01 03 70 11 00 01 CE CF after the end of the trace" ] \
  || fail "status: $reply"
echo "PASS"
