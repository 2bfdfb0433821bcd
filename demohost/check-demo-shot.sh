#!/usr/bin/env bash
# The demo's whole panoramic shot, checked: the demo host takes the shot against the embedded unit
# emulator; the PNG must show the phantom re-arranged and oriented (ruler ticks at their columns, the
# orientation mark top-left), and the records must carry the unit's exposure values.
# Both ways the unit turns: the sensor then delivers its lines one way or reversed, and the module's
# mirror flag must undo it.
#   check-demo-shot.sh WINE_RUN DEMOHOST_EXE OUT_DIR
set -euo pipefail
run=$1 exe=$2 root=$3
rm -rf "$root"
"$run" reg add 'HKCU\Software\HALVEX\PANO' /v COM /d 1 /f >/dev/null
"$run" reg add 'HKCU\Software\HALVEX\PANO\LUMEN70' /v Baudrate /t REG_DWORD /d 19200 /f >/dev/null
fail=0
for rotation in 0 1; do
out=$root/rotation-$rotation
mkdir -p "$out"
echo "== unit rotation $rotation"
"$run" "$exe" --program pano --out "Z:${out//\//\\}" --speed 4 --rotation "$rotation" | tee "$out/demo.log"
png=$out/pano.png json=$out/pano-records.json
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
grey() { convert "$png" -format "%[fx:int(255*p{$1,$2})]" info:; }

check "picture written" "[ -s '$png' ]"
check "records written" "[ -s '$json' ]"
[ -s "$png" ] && [ -s "$json" ] || exit 1
check "picture is 1244 x 520" "[ \"\$(identify -format '%w x %h' '$png')\" = '1244 x 520' ]"
# Ruler band rows 460-500: a tick of 5 columns every 100 columns from 100; dark between ticks.
for col in 100 300 600 700 900 1200; do
  check "ruler tick at column $col" "[ $(grey $((col + 2)) 480) -ge 240 ]"
done
for col in 150 450 650 1150; do
  check "no tick at column $col" "[ $(grey $col 480) -le 60 ]"
done
check "orientation mark top-left" "[ $(grey 60 60) -ge 250 ] && [ $(grey 1183 60) -le 60 ]"

for field in kv ma time; do
  unit=$(jq -r ".unit.$field" "$json")
  record=$(jq -r ".infos_tir.$field" "$json")
  check "record $field $record matches the unit's $unit" \
    "awk -v a='$unit' -v b='$record' 'BEGIN { exit !(a - b < 0.005 && b - a < 0.005) }'"
done
check "exposure time of GetExpositionTime" "[ \"\$(jq -r '.exposition_time.time' '$json')\" = \"\$(jq -r '.infos_tir.time' '$json')\" ]"
check "mirror flag follows the unit's rotation" \
  "[ \"\$(jq -r '.mirror' '$json')\" = \"\$([ \"\$(jq -r '.unit.rotation' '$json')\" = 0 ] && echo true || echo false)\" ]"
check "real resolution" "[ \"\$(jq -r '.infos_tir.real_resolution[0]' '$json')\" = 0.104 ]"
for stage in before during after; do
  check "panel screenshot $stage" "[ \"\$(identify -format '%w' '$out/pano-panel-$stage.png')\" -ge 1024 ]"
done
check "mirror flag $( [ "$rotation" = 0 ] && echo set || echo clear )" "[ \"\$(jq -r '.mirror' '$json')\" = $( [ "$rotation" = 0 ] && echo true || echo false ) ]"
jq -c '.measured_ms' "$json"
done

# The four-image TMJ shot: its picture re-ordered by the module, images 0, 2, 3, 1 (each image k shows
# k + 1 bars under the joint).
out=$root/tmj4
mkdir -p "$out"
echo "== four-image TMJ"
"$run" "$exe" --program tmj4 --out "Z:${out//\//\\}" --speed 4 | tee "$out/demo.log"
png=$out/tmj4-reordered.png json=$out/tmj4-records.json
check "re-ordered TMJ picture written" "[ -s '$png' ]"
[ -s "$png" ] || exit 1
check "four sections in the record" "[ \"\$(jq -r '.infos_tir.section_count' '$json')\" = 4 ]"
expected=(1 3 4 2)
for k in 0 1 2 3; do
  offset=$(jq -r ".infos_tir.sections[$k].offset" "$json")
  bars=0
  for b in 0 1 2 3; do
    [ "$(grey $((offset + 80 + b * 80)) 330)" -ge 240 ] && bars=$((bars + 1))
  done
  check "TMJ section $k holds the image with ${expected[$k]} bars (found $bars)" "[ $bars = ${expected[$k]} ]"
done
exit $fail
