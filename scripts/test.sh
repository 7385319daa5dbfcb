#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice,
# with warnings as errors: once normally and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# The fuzz targets run for a short bounded time first; after the normal build,
# the installation, the Debian package and the manual page are checked.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs="$(nproc)"

echo "== fuzz targets (short run)"
scripts/fuzz.sh 5

echo "== normal build"
cmake -S . -B build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOW_WERROR=ON >/dev/null
cmake --build build/normal -j"$jobs"
ctest --test-dir build/normal --output-on-failure -j"$jobs"

echo "== install, Debian package and manual page"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cmake --install build/normal --prefix "$tmp/usr" >/dev/null
for file in bin/varnow share/man/man1/varnow.1 share/doc/varnow/README.md share/doc/varnow/LICENSE; do
  [ -f "$tmp/usr/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ "$("$tmp/usr/bin/varnow" --version)" = "Varnow 3.76 (r52)" ]
cpack -G DEB -B "$tmp/deb" --config build/normal/CPackConfig.cmake >/dev/null
contents="$(dpkg-deb -c "$tmp"/deb/varnow_*.deb)"
for file in ./usr/bin/varnow ./usr/share/man/man1/varnow.1; do
  grep -q " $file\$" <<<"$contents" || { echo "not in the package: $file"; exit 1; }
done
depends="$(dpkg-deb -f "$tmp"/deb/varnow_*.deb Depends)"
grep -q libedit2 <<<"$depends" || { echo "package dependencies without libedit2: $depends"; exit 1; }
warnings="$(groff -man -ww -z doc/varnow.1 2>&1)"
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNOW_SANITIZE=ON -DVARNOW_WERROR=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
