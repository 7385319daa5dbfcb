#!/usr/bin/env bash
# Builds Varnow and starts it in the demo project directory demo/.
# On a machine with a sound card the demo project uses ALSA's default device.
# Without one it uses a virtual card that keeps real time: ALSA's file plugin
# on two FIFOs, defined in a HOME of the demo's own (build/demo/home), never
# in the user's .asoundrc. varnow_pacer drains the playback FIFO and feeds the
# capture FIFO with a tone per input at the sample rate, and ends with Varnow.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --run
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOW_TESTS=OFF -DVARNOW_BENCH=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" --target varnow varnow_make_tracks varnow_pacer >/dev/null

# A first start makes the demo project: four 30-second tone tracks in the
# play list, in and out around them, two inputs ready to record.
mkdir -p demo
if [ ! -f demo/param.txt ]; then
  device=demo_card
  if [ -r /proc/asound/cards ] && grep -q '^ *[0-9]' /proc/asound/cards; then device=default; fi
  printf 'dv\t%s\nsr\t48000\ninputs\t2\noutputs\t2\nch\t4\nbuf\t1024\nint\t1\no\t1440000\n' \
    "$device" > demo/param.txt
  build/demo/varnow_make_tracks demo 4 30 48000 > demo/play.txt
  printf 'take_in1.wav\ntake_in2.wav\n' > demo/record.txt
fi

# The value of a param.txt key, or the fallback when the key is missing.
setting() {
  awk -F'\t' -v key="$1" -v fallback="$2" \
    '$1 == key { value = $2 } END { print (value == "" ? fallback : value) }' demo/param.txt
}

if [ "$(setting dv default)" != demo_card ]; then
  cd demo
  exec ../build/demo/varnow
fi

card="$PWD/build/demo/card"
home="$PWD/build/demo/home"
mkdir -p "$card" "$home"
for fifo in play capture; do
  [ -p "$card/$fifo.fifo" ] || mkfifo "$card/$fifo.fifo"
done
cat > "$home/.asoundrc" <<ASOUNDRC
pcm.demo_card {
    type asym
    playback.pcm { type file slave.pcm "null" file "$card/play.fifo" format "raw" }
    capture.pcm { type file slave.pcm "null" file "/dev/null" infile "$card/capture.fifo" format "raw" }
    hint { show on description "Varnow demo card: real time without a sound card" }
}
ASOUNDRC
# Varnow reads and writes the card a period at a time: buf, within 16..4096.
period="$(setting buf 1024)"
period=$((period < 16 ? 16 : period > 4096 ? 4096 : period))
rate="$(setting sr 48000)"
outputs="$(setting outputs 2)"
inputs="$(setting inputs 2)"
cd demo
HOME="$home" exec ../build/demo/varnow_pacer "$rate" "$period" \
  "$outputs" "$card/play.fifo" "$inputs" "$card/capture.fifo" -- ../build/demo/varnow
