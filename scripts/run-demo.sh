#!/usr/bin/env bash
# The main job: builds the Windows tree, runs the demo host with the panel against the embedded unit
# emulator under Wine (on a private Xvfb display when there is none), saves a screenshot of the panel
# in build/demo-panel.png, then ends the acquisition.
#   DEMO_SECONDS=N  how long the panel stays up (default 8; 0 = until the user closes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target windows_tree
win="$build/win"
seconds=${DEMO_SECONDS:-8}

cleanup() { "$win/wine-run.sh" --shutdown >/dev/null 2>&1 || true; }
trap cleanup EXIT

"$win/wine-run.sh" --init
# Without a display of its own the runner keeps one Xvfb for the prefix (shut down on exit); the
# screenshot is taken on whichever display the panel is on.
if [ -z "${DISPLAY:-}" ]; then
  read -r num _ <"$win/wineprefix.state/display"
  export DISPLAY=":$num"
fi
# The port settings a host installation carries: COM1 at 19200 baud (the embedded emulator answers there).
"$win/wine-run.sh" reg add 'HKCU\Software\HALVEX\PANO' /v COM /d 1 /f >/dev/null
"$win/wine-run.sh" reg add 'HKCU\Software\HALVEX\PANO\LUMEN70' /v Baudrate /t REG_DWORD /d 19200 /f >/dev/null
close_ms=$(( seconds * 1000 ))
[ "$seconds" = 0 ] && close_ms=-1
"$win/wine-run.sh" "$win/demo/demohost.exe" --close-after "$close_ms" &
demo=$!
if [ "$seconds" != 0 ]; then
  sleep $(( seconds / 2 ))
  import -window root "$build/demo-panel.png" && echo "screenshot of the panel: $build/demo-panel.png"
fi
wait "$demo"
