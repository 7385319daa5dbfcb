#!/usr/bin/env bash
# Installs what is missing, then builds and tests Varnow as CI does, with
# warnings as errors in every build: the clang build (the program and the
# fuzz targets) and a short bounded run of the fuzz targets; the normal build
# and the whole test suite; the README's Installing section as written
# (scripts/check-install.sh) and the end-to-end tests again against that
# Release program; the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; and the ring buffer's tests and the passes'
# end-to-end tests under ThreadSanitizer (the period loop and the disk thread).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs="$(nproc)"

echo "== clang build and a short run of the fuzz targets"
scripts/fuzz.sh 5
# The fuzz build is the clang build: it compiles every source of the program
# with clang, warnings as errors, and links the program itself as well.
[ "$(build/fuzz/varnow --version)" = "Varnow 3.76 (r52)" ]

echo "== normal build"
cmake -S . -B build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOW_WERROR=ON >/dev/null
cmake --build build/normal -j"$jobs"
# The passes through a private PipeWire server run the server, its session
# manager and the program at real-time priority, so they run one at a time
# after the rest: in a rehearsal of this script, the demo card's test that
# ran beside one of them was starved of periods.
servers='^e2e\.PipeWire\.'
ctest --test-dir build/normal --output-on-failure -j"$jobs" -E "$servers"
ctest --test-dir build/normal --output-on-failure -j1 -R "$servers"

echo "== the README's Installing section: Release build, installation, Debian package"
scripts/check-install.sh

echo "== end-to-end tests against the Release build"
VARNOW_UNDER_TEST="$PWD/build/release/varnow" \
  ctest --test-dir build/normal --output-on-failure -j"$jobs" -R '^e2e\.' -E "$servers"
VARNOW_UNDER_TEST="$PWD/build/release/varnow" \
  ctest --test-dir build/normal --output-on-failure -j1 -R "$servers"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNOW_SANITIZE=ON -DVARNOW_WERROR=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
# The tests that make ALSA load its jack or pipewire plugin (the JACK
# recording, the device listing among the command-line options, the private
# PipeWire server) unwind every allocation in full, so that the plugin's
# suppressed leaks show their loader; the rest unwind fast, which takes a
# third off the run.
sanitized() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc="$1" \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure -j"$jobs" "${@:2}"
}
loaded_plugins='^e2e\.(Jack|CommandLine|PipeWire)\.'
# The crash sweep (thousands of runs of the program, each killed or failed
# at one call) judges the files, not the memory: it runs in the normal and
# the Release builds, and the sanitizers see the same code in the recovery
# and undo tests.
# The passes through a private PipeWire server are judged to the frame in
# real time, which the sanitizers' slowdown does not keep on two shared
# cores; the refusal of the pulse device and the stream nobody links stay.
pipewire_passes='^e2e\.PipeWire\.(Recording|APlayPass|TheLatency)'
sanitized 1 -E "$loaded_plugins|^e2e\.Sweep"
sanitized 0 -R "$loaded_plugins" -E "$pipewire_passes"

echo "== ThreadSanitizer build: the rings between the period loop and the disk thread, and the passes"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOW_TSAN=ON -DVARNOW_BENCH=OFF \
  -DVARNOW_WERROR=ON >/dev/null
cmake --build build/tsan -j"$jobs" --target varnow varnow_pacer varnow_faults core_tests e2e_tests
# The forced exit of a second Ctrl-C, from inside a signal handler while a
# device read hangs (StopSignals.SignalsThatEndTheRun...), does not happen
# under this sanitizer's own signal handling: that test stays with the other
# builds.
# Every pass runs the period loop against the disk thread, so the passes on
# the virtual file card (which waits for nobody) are what this build
# checks, one at a time. The paced card's stall tests judge real time, which
# the sanitizer's slowdown does not keep: they run in the other builds.
TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
  ctest --test-dir build/tsan --output-on-failure -j1 \
  -R '^(core\.SpscRing\.|e2e\.(PlayPass|RecordPass|Xruns)\.|e2e\.StopSignals\.CtrlC)'
