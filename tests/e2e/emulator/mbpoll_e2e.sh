#!/usr/bin/env bash
# mbpoll reads and writes lumen-emulator over a socat pseudo-terminal pair: identification, state word,
# a command word, the exception for an unmapped address, and the control port with the link's history.
set -u
emulator="$1"
source "$(dirname "$0")/emulator-on-pty.sh"

start_emulator --state "$work/state" --unit-version 2.10

poll() { timeout 10 mbpoll -m rtu -b 19200 -P none -a 1 -0 -1 -o 1 "$@" 2>&1; }
words() { poll -t 4:hex -r "$1" -c "$2" "$work/master" | sed -n 's/^\[[0-9]*\]:[[:space:]]*0x\([0-9A-Fa-f]*\).*/\1/p'; }

# Identification: the version text lies in bytes 12-17, low byte of each word first.
id=$(words 28672 15)
[ "$(echo "$id" | wc -l)" = 15 ] || fail "identification: $id"
version=""
for w in $(echo "$id" | sed -n '7,9p'); do
  for b in "${w:2:2}" "${w:0:2}"; do [ "$b" != 00 ] && version+=$(printf "\\x$b"); done
done
[ "$version" = "2.10" ] || fail "version text '$version'"

# Panel active (0x0085) makes the unit ready (voice, ready); mA up (0x0002) steps 10.0 to 10.5 mA.
for cmd in 133 2; do poll -t 4 -r 28736 "$work/master" "$cmd" >/dev/null || fail "writing command $cmd"; done
[ "$(words 28687 1)" = 0300 ] || fail "state word $(words 28687 1) after 0x0085, expected 0300"
[ "$(words 28691 1)" = 0069 ] || fail "mA x 10 is $(words 28691 1), expected 0069 (105)"

# An address no register covers answers exception 2.
out=$(poll -t 4 -r 28732 -c 1 "$work/master")
echo "$out" | grep -qi 'illegal data address' || fail "unmapped address: $out"

# Scenario control on the loopback port.
exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "control port"
echo "expose" >&3; read -r reply <&3
[ "$reply" = "ok cycle started" ] || fail "expose: $reply"
echo "status" >&3; read -r reply <&3
echo "$reply" | grep -q 'cycle=1' || fail "status: $reply"
echo "history commands" >&3; read -r reply <&3
[ "$reply" = "n=2 0x0085:0 0x0002:0" ] || fail "command history: $reply"
echo "fault exception 6 1 on address 0x700F" >&3; read -r reply <&3
out=$(poll -t 4 -r 28687 -c 1 "$work/master")
echo "$out" | grep -qi 'busy' || fail "injected exception 6: $out"
echo "history requests 1" >&3; read -r reply <&3
echo "$reply" | grep -q '^n=1 [0-9]*:3:0x700F:1:exception$' || fail "request history: $reply"
exec 3>&-

echo "PASS"
