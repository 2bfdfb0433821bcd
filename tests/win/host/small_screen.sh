#!/usr/bin/env bash
# Runs the small-screen case of module_test on an 800 x 600 display in a prefix of its own (the
# screen size is the display's, so it cannot share the other tests' desktop).
set -u
runner=$1; test_exe=$2; prefix=$3
for n in $(seq 161 200); do [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break; done
Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n" LUMEN_WINEPREFIX="$prefix" LUMEN_SMALL_SCREEN=1
"$runner" --init
"$runner" "$test_exe" --gtest_filter='SmallScreen.*'
rc=$?
"$runner" --shutdown
kill "$xvfb" 2>/dev/null
exit $rc
