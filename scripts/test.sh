#!/usr/bin/env bash
# Builds both trees (native and Windows) and runs every test: native unit tests, Windows tests under
# Wine and Xvfb, end-to-end tests. Ends with CTest's summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
