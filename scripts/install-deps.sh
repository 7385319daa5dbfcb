#!/usr/bin/env bash
# Installs the Debian packages Varnow needs that this machine does not have yet.
#   scripts/install-deps.sh          everything: build, tests, benchmarks, fuzzing, packaging
#   scripts/install-deps.sh --run    only what building and running the program needs
set -euo pipefail

run_packages=(g++ cmake make pkg-config libasound2-dev libedit-dev)
test_packages=(libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev sox libsndfile1-dev
               dpkg-dev file groff-base man-db bsdutils jackd2 libasound2-plugins
               pipewire pipewire-bin wireplumber pipewire-alsa pipewire-jack pipewire-pulse dbus)
# pipewire-alsa makes ALSA's default device go through PipeWire for every
# program of the machine; the tests define their own cards in a HOME of
# their own and never open the default.

packages=("${run_packages[@]}")
if [ "${1:-}" != "--run" ]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
# Through env: sudo drops the caller's environment, and jackd2 would ask
# about real-time priority.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
