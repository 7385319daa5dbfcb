#!/usr/bin/env bash
# The crash sweep of the take decisions and of 'undo', wider than the test
# command runs it: two inputs, the undo of every decision, and every call of
# the next start's recovery failed, and killed, after every kill point. The
# counts of calls and runs go to BUILD_DIR/crash-sweep.json.
#
#   scripts/crash-sweep.sh [BUILD_DIR]      (default: build/normal)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
cmake --build "$build" -j2 --target e2e_tests
VARNOW_SWEEP_WIDE=1 exec "$build/e2e_tests" --gtest_filter='Sweep*' \
  --gtest_output="json:$build/crash-sweep.json"
