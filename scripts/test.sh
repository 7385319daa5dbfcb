#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# once normally and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# The fuzz targets run for a short bounded time first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs="$(nproc)"

echo "== fuzz targets (short run)"
scripts/fuzz.sh 5

echo "== normal build"
cmake -S . -B build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j"$jobs"
ctest --test-dir build/normal --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNOW_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
