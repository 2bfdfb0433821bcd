#!/usr/bin/env bash
# Starts the skin gallery under Wine, screenshots each sheet with ImageMagick and checks the picture
# on what matters: the screen size, the panel's outline, lamps lit and dark, the light displays, the
# preview's black frame and the pages' keys.
#   gallery_screenshot.sh WINE_RUN GALLERY_EXE OUT_DIR WINEPREFIX
set -u
wine_run=$1 gallery=$2 out=$3 prefix=$4
mkdir -p "$out"
cd "$out" || exit 1
failures=0

expect() { # expect FILE WHAT X Y CONDITION(uses r g b)
  local file=$1 what=$2 x=$3 y=$4 cond=$5 r g b c='%[fx:int(255*p{'"$3,$4"'}.'
  read -r r g b < <(convert "$file" -format "${c}r)] ${c}g)] ${c}b)]" info:)
  if (( $cond )); then echo "ok   $what ($x,$y) = $r $g $b"
  else echo "FAIL $what ($x,$y) = $r $g $b, wanted $cond"; failures=$((failures + 1)); fi
}

shoot() { # shoot SHEET -> gallery_SHEET.png
  local sheet=$1
  rm -f "ready_$sheet" "quit_$sheet"
  "$wine_run" "$gallery" --sheet "$sheet" --ready-file "ready_$sheet" --quit-file "quit_$sheet" \
    --timeout-ms 60000 &
  local pid=$!
  for _ in $(seq 600); do [ -f "ready_$sheet" ] && break; sleep 0.1; done
  if [ ! -f "ready_$sheet" ]; then echo "FAIL gallery sheet $sheet never got ready"; kill "$pid"; return 1; fi
  sleep 0.5
  # Without a display of our own, wine-run.sh's Xvfb, whose number it keeps beside the prefix.
  local display=${DISPLAY:-} num
  [ -n "$display" ] || { read -r num _ <"$prefix.state/display" && display=":$num"; }
  DISPLAY=$display import -window root "gallery_$sheet.png"
  touch "quit_$sheet"
  wait "$pid"
  echo "screenshot: $out/gallery_$sheet.png"
}

shoot panel || exit 1
size=$(identify -format '%wx%h' gallery_panel.png)
read -r sw sh <<<"${size/x/ }"
[ "$size" = 1280x1024 ] || { echo "FAIL screen $size, the test display is 1280x1024"; failures=$((failures + 1)); }
# The panel is centred: (screen - 1024) / 2 + 1, (screen - 768) / 2.
px=$(( (sw - 1024) / 2 + 1 )) py=$(( (sh - 768) / 2 ))
at() { echo $((px + $1)) $((py + $2)); }
f=gallery_panel.png
expect $f "outline: corner outside the unit shows the backdrop" $(at 3 3) 'b > 12 && b < 80'
expect $f "housing is dark graphite" $(at 40 300) 'r < 80 && g < 80 && b < 90 && r > 20'
expect $f "recap display glass is light" $(at 580 505) 'r > 180 && g > 190 && b > 180'
expect $f "ready lamp lit green" $(at 835 620) 'g > 180 && r < 170 && b < 170'
expect $f "emission lamp dark" $(at 892 595) 'r < 140 && g < 110'
expect $f "exit key red" $(at 900 700) 'r > 120 && g < 90'
expect $f "page selector knob in place" $(at 672 160) 'r < 120 && g < 120'
expect $f "program page plate" $(at 612 480) 'r > 100 && r < 190 && b > r'
expect $f "lit tmj key on the page" $(at $((607 + 20)) $((269 + 180))) 'b > 200 && r < 190'

shoot ceph || exit 1
f=gallery_ceph.png
expect $f "emission lamp lit amber" $(at 892 620) 'r > 200 && g > 110 && b < 120'
expect $f "ready lamp dark" $(at 835 595) 'g < 140'
expect $f "preview frame: black margin" $(at 95 200) 'r < 8 && g < 8 && b < 8'
expect $f "preview picture centred" $(at 344 261) 'r > 60 && r == g && g == b'
expect $f "long logo plate" $(at 500 665) 'r < 40'

shoot pages || exit 1
f=gallery_pages.png
# Pages in a 3 x 3 grid, 342 x 305 apart, centred: the third is the unlit patient page, the fourth
# the lit one.
left=$(( (sw - 3 * 342 + 10) / 2 )) top=$(( (sh - 3 * 305 + 12) / 2 ))
expect $f "unlit adult key is light" $((left + 2 * 342 + 111)) $((top + 121)) 'r > 170 && g > 170'
expect $f "lit adult key is blue" $((left + 111)) $((top + 305 + 121)) 'b > 200 && r < 190'

[ "$failures" -eq 0 ] && echo "gallery screenshots ok" && exit 0
echo "$failures check(s) failed"
exit 1
