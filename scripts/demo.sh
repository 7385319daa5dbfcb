#!/usr/bin/env bash
# Builds Varnow and starts it in the demo project directory demo/.
# On a machine without a sound card the demo project uses ALSA's null device.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --run
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOW_TESTS=OFF -DVARNOW_BENCH=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" --target varnow varnow_make_tracks >/dev/null

# A first start makes the demo project: four 30-second tone tracks in the
# play list, in and out around them, two inputs ready to record.
mkdir -p demo
if [ ! -f demo/param.txt ]; then
  device=null
  if [ -r /proc/asound/cards ] && grep -q '^ *[0-9]' /proc/asound/cards; then device=default; fi
  printf 'dv\t%s\nsr\t48000\ninputs\t2\noutputs\t2\nch\t4\nbuf\t1024\nint\t1\no\t1440000\n' \
    "$device" > demo/param.txt
  build/demo/varnow_make_tracks demo 4 30 48000 > demo/play.txt
  printf 'take_in1.wav\ntake_in2.wav\n' > demo/record.txt
fi
cd demo
exec ../build/demo/varnow
