#!/usr/bin/env bash
# The conformance kit, checked both ways: against the built module every check passes (exit code 0);
# against a copy of the module whose export table lacks GetInfosTir the report names that export, every
# failed check is one that needs it, the summary is printed and the exit code is 1 (a report, not a
# crash).
#   check-kit.sh WINE_RUN KIT_EXE MODULE_DIR OUT_DIR
set -euo pipefail
run=$1 exe=$2 modules=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# The module's port settings name the emulator's port, as an installer would have set them.
"$run" reg add 'HKCU\Software\HALVEX\PANO' /v COM /d 1 /f >/dev/null
"$run" reg add 'HKCU\Software\HALVEX\PANO\LUMEN70' /v Baudrate /t REG_DWORD /d 19200 /f >/dev/null
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

echo "== the built module"
set +e
"$run" "$exe" "$(winpath "$modules/Lumen70_Demo.dll")" >"$out/full.txt" 2>&1
rc=$?
set -e
cat "$out/full.txt"
check "exit code 0" "[ $rc -eq 0 ]"
check "no failed check" "! grep -q '^FAIL' '$out/full.txt'"
check "at least 90 checks passed" "[ \$(grep -c '^PASS' '$out/full.txt') -ge 90 ]"
check "summary line" "grep -q '^summary: [0-9]* checks, [0-9]* passed, 0 failed' '$out/full.txt'"

echo "== a copy without the export GetInfosTir"
copy=$out/missing-export
mkdir -p "$copy"
cp "$modules"/*.dll "$copy/"
# Symbols and debug strings off, so the export table holds the only copy of the name; one letter
# changed keeps the table's order, so every other export is still found.
x86_64-w64-mingw32-strip --strip-all "$copy/Lumen70_Demo.dll"
count=$(grep -c -a -o -P '\x00GetInfosTir\x00' "$copy/Lumen70_Demo.dll" || true)
check "the name appears once in the stripped module" "[ '$count' = 1 ]"
perl -0777 -pi -e 's/\x00GetInfosTir\x00/\x00GetInfosTiX\x00/' "$copy/Lumen70_Demo.dll"
set +e
"$run" "$exe" "$(winpath "$copy/Lumen70_Demo.dll")" --no-probes >"$out/missing.txt" 2>&1
rc=$?
set -e
cat "$out/missing.txt"
check "exit code 1" "[ $rc -eq 1 ]"
check "the export named missing" "grep -q '^FAIL  export GetInfosTir .*missing' '$out/missing.txt'"
check "checks that need it not run" "grep -q 'not run: the module does not export GetInfosTir' '$out/missing.txt'"
check "every failure is about GetInfosTir" "! grep '^FAIL' '$out/missing.txt' | grep -v GetInfosTir | grep -q ."
check "the other checks still pass" "[ \$(grep -c '^PASS' '$out/missing.txt') -ge 60 ]"
check "summary with the failures" "grep -q '^summary: [0-9]* checks, [0-9]* passed, [1-9][0-9]* failed' '$out/missing.txt'"
exit $fail
