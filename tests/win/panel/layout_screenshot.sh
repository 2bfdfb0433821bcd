#!/usr/bin/env bash
# Opens each design of the panel through the module against the emulator, screenshots it with
# ImageMagick and checks the picture on what matters: the screen size, the outline, the recap of the
# design (panoramic segments or cephalometric views), the dose display and the logo.
#   layout_screenshot.sh WINE_RUN PANEL_LAYOUT_TEST_EXE OUT_DIR WINEPREFIX
set -u
wine_run=$1 test_exe=$2 out=$3 prefix=$4
mkdir -p "$out"
cd "$out" || exit 1
failures=0

expect() { # expect FILE WHAT X Y CONDITION(uses r g b)
  local file=$1 what=$2 x=$3 y=$4 cond=$5 r g b c='%[fx:int(255*p{'"$3,$4"'}.'
  read -r r g b < <(convert "$file" -format "${c}r)] ${c}g)] ${c}b)]" info:)
  if (( $cond )); then echo "ok   $what ($x,$y) = $r $g $b"
  else echo "FAIL $what ($x,$y) = $r $g $b, wanted $cond"; failures=$((failures + 1)); fi
}

shoot() { # shoot DESIGN -> panel_vDESIGN.png
  local design=$1
  rm -f "ready_$design" "quit_$design"
  "$wine_run" "$test_exe" --show-design "$design" --ready-file "ready_$design" --quit-file "quit_$design" &
  local pid=$!
  for _ in $(seq 600); do [ -f "ready_$design" ] && break; sleep 0.1; done
  if [ ! -f "ready_$design" ]; then echo "FAIL design $design never got ready"; kill "$pid"; return 1; fi
  sleep 0.5
  local display=${DISPLAY:-} num
  [ -n "$display" ] || { read -r num _ <"$prefix.state/display" && display=":$num"; }
  DISPLAY=$display import -window root "panel_v$design.png"
  touch "quit_$design"
  wait "$pid"
  echo "screenshot: $out/panel_v$design.png"
}

px=129 py=128 # the panel on the 1280 x 1024 test screen
at() { echo $((px + $1)) $((py + $2)); }
for design in 1 2 3; do
  shoot $design || exit 1
  f=panel_v$design.png
  size=$(identify -format '%wx%h' "$f")
  [ "$size" = 1280x1024 ] || { echo "FAIL screen $size, the test display is 1280x1024"; failures=$((failures + 1)); }
  expect $f "outline: corner outside the unit shows the backdrop" $(at 3 3) 'b > 12 && b < 80'
  expect $f "housing is dark graphite" $(at 40 300) 'r < 80 && g < 80 && b < 90 && r > 20'
  expect $f "exit key red" $(at 900 700) 'r > 120 && g < 90'
  expect $f "page selector knob in place" $(at 672 160) 'r < 120 && g < 120'
done

[ "$failures" -eq 0 ] && echo "panel layout screenshots ok" && exit 0
echo "$failures check(s) failed"
exit 1
