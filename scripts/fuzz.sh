#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60), starting from the seed inputs in fuzz/corpus/.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNOW_FUZZ=ON -DVARNOW_TESTS=OFF -DVARNOW_BENCH=OFF -DVARNOW_WERROR=ON >/dev/null
cmake --build build/fuzz -j"$(nproc)" >/dev/null

for target in build/fuzz/*_fuzz; do
  name="$(basename "$target")"
  work="$(mktemp -d)"
  if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$work/"; fi
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=20 -print_final_stats=0 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
