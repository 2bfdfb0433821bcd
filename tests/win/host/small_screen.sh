#!/usr/bin/env bash
# Runs the small-screen case of module_test on an 800 x 600 display in a prefix of its own (the
# screen size is the display's, so it cannot share the other tests' desktop).
# Under Xvfb, Wine's first clients on a fresh small display often lose their X connection and
# hang; an attempt that hangs is ended and run again on a new display (at most three attempts).
set -u
runner=$1; test_exe=$2; prefix=$3
export LUMEN_WINEPREFIX="$prefix" LUMEN_SMALL_SCREEN=1

attempt() {
  # A server left from an earlier attempt would still talk to that attempt's display.
  "$runner" --shutdown
  local n=$(( 300 + ($$ + $1 * 97) % 500 ))
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$(( n + 1 )); done
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  local xvfb=$!
  for _ in $(seq 200); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
  "$runner" --init
  timeout -k 5 30 "$runner" "$test_exe" --gtest_filter='SmallScreen.*'
  local rc=$?
  "$runner" --shutdown
  kill "$xvfb" 2>/dev/null
  return $rc
}

for try in 1 2 3; do
  attempt "$try"
  rc=$?
  [ "$rc" = 124 ] || [ "$rc" = 137 ] || exit "$rc"
  echo "attempt $try hung; trying again on a new display"
done
exit 1
