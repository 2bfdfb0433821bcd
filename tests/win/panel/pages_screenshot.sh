#!/usr/bin/env bash
# Screenshots of the program, patient and cephalometric pages in a selected state: the pages test's
# disabled scene saves the panel's window as BMP files, converted here to PNG for a look.
#   pages_screenshot.sh WINE_RUN PANEL_PAGES_TEST_EXE OUT_DIR
set -u
wine_run=$1 test_exe=$2 out=$3
mkdir -p "$out"
windows_out="Z:$(cd "$out" && pwd | tr / '\\')"
LUMEN_SHOT_DIR=$windows_out "$wine_run" "$test_exe" --gtest_also_run_disabled_tests \
  --gtest_filter='*DISABLED_Screenshots' || exit 1
for bmp in "$out"/page_*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp" && echo "screenshot: ${bmp%.bmp}.png"
done
