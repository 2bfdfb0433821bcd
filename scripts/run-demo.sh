#!/usr/bin/env bash
# The main job: builds the Windows tree and runs the demo host against the embedded unit emulator under
# Wine (on a private Xvfb display when there is none). It takes a whole panoramic shot: the panel
# comes up, the exposure switch is pressed, the module tells the host to acquire, the host re-arranges
# a synthetic phantom with the module, shows previews on the panel and ends the acquisition. The
# picture (PNG), the two shot records (JSON) and screenshots of the panel before, during and after the
# exposure land in build/demo/ (build/demo/fr/ in French).
#   run-demo.sh [--language en|fr] [--service ID] [--unit "control line"]...
#   --language fr           the module installed with the French language library
#   --service ID            instead of a shot, open one service dialog from the panel's menu (33602
#                           counters, 33603 communication, 33604 preferences ...) and screenshot it
#   --unit LINE             instead of a shot, put the embedded unit in a state ("error 1",
#                           "conditions 0x300" ...) and screenshot the panel and the dialog it brings
#   DEMO_PROGRAM=pano|tmj4  the shot (default pano; tmj4 also re-orders a four-image TMJ picture)
#   DEMO_SECONDS=N          instead of a shot, keep the panel up N seconds (0 = until it is closed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
language=en inspect=()
while [ $# -gt 0 ]; do
  case "$1" in
    --language) language=${2:?}; shift 2 ;;
    --service | --unit) inspect+=("$1" "${2:?}"); shift 2 ;;
    *) echo "usage: $0 [--language en|fr] [--service ID] [--unit LINE]..." >&2; exit 2 ;;
  esac
done
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target windows_tree
win="$build/win"
out="$(cd "$build" && pwd)/demo"
[ "$language" = en ] || out="$out/$language"
mkdir -p "$out"

cleanup() { "$win/wine-run.sh" --shutdown >/dev/null 2>&1 || true; }
trap cleanup EXIT

"$win/wine-run.sh" --init
# Without a display of its own the runner keeps one Xvfb for the prefix (shut down on exit).
if [ -z "${DISPLAY:-}" ]; then
  read -r num _ <"$win/wineprefix.state/display"
  export DISPLAY=":$num"
fi
# The port settings a host installation carries: COM1 at 19200 baud (the embedded emulator answers there).
"$win/wine-run.sh" reg add 'HKCU\Software\HALVEX\PANO' /v COM /d 1 /f >/dev/null
"$win/wine-run.sh" reg add 'HKCU\Software\HALVEX\PANO\LUMEN70' /v Baudrate /t REG_DWORD /d 19200 /f >/dev/null

if [ ${#inspect[@]} -gt 0 ]; then
  "$win/wine-run.sh" "$win/demo/demohost.exe" --language "$language" "${inspect[@]}" --out "Z:${out//\//\\}"
  echo "screenshots in $out: panel.png, and service-ID.png or dialog.png"
  exit 0
fi

if [ -n "${DEMO_SECONDS:-}" ]; then
  seconds=$DEMO_SECONDS
  close_ms=$(( seconds * 1000 ))
  [ "$seconds" = 0 ] && close_ms=-1
  "$win/wine-run.sh" "$win/demo/demohost.exe" --language "$language" --close-after "$close_ms" &
  demo=$!
  if [ "$seconds" != 0 ]; then
    sleep $(( seconds / 2 ))
    import -window root "$out/panel.png" && echo "screenshot of the panel: $out/panel.png"
  fi
  wait "$demo"
  exit 0
fi

program=${DEMO_PROGRAM:-pano}
"$win/wine-run.sh" "$win/demo/demohost.exe" --language "$language" --program "$program" \
  --out "Z:${out//\//\\}"
echo
echo "the shot's files, in $out:"
for f in "$out/$program".png "$out/$program"-reordered.png "$out/$program"-records.json \
         "$out/$program"-panel-{before,during,after}.png; do
  [ -e "$f" ] && echo "  $f"
done
