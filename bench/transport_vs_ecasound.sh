#!/usr/bin/env bash
# Times a Varnow play pass of 32 tracks of 180 s at 48 kHz to ALSA's null
# device (mix mode 0, period 1024) against ecasound playing the same files to
# the same device, in one run, and prints both times and their ratio. Also
# prints the real-time factors of a recording pass with playback (32 tracks
# playing, 16 inputs recording) and of a play pass at the smallest period.
#
#   bench/transport_vs_ecasound.sh [BUILD_DIR]
#
# A benchmark, not a test: it never fails on a timing.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
cmake --build "$build" --target varnow varnow_make_tracks >/dev/null
build="$(cd "$build" && pwd)"

if ! command -v ecasound >/dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -q ecasound >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
seconds=180
rate=48000
"$build/varnow_make_tracks" "$work" 32 "$seconds" "$rate" > "$work/play.txt"
: > "$work/record.txt"
frames=$((seconds * rate))

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

run_varnow() {  # period inputs command
  printf 'dv\tnull\nsr\t%s\ninputs\t%s\noutputs\t32\nch\t32\nbuf\t%s\no\t%s\nclock\thc\nmeter\t0\nint\t0\n' \
    "$rate" "$2" "$1" "$frames" > "$work/param.txt"
  local start end
  start=$(now)
  (cd "$work" && printf '%s\nx\n' "$3" | "$build/varnow" >/dev/null)
  end=$(now)
  elapsed "$start" "$end"
}

varnow_play=$(run_varnow 1024 2 p)

ecasound_args=()
while read -r name; do ecasound_args+=(-a:"$name" -i:"$work/$name" -o:alsa,null); done < "$work/play.txt"
start=$(now)
ecasound -q "${ecasound_args[@]}" >/dev/null 2>&1 || true
end=$(now)
ecasound_play=$(elapsed "$start" "$end")

for i in $(seq 1 16); do echo "take_$i.wav"; done > "$work/record.txt"
varnow_record=$(run_varnow 1024 16 r_bench)
: > "$work/record.txt"
varnow_small=$(run_varnow 16 2 p)

echo "varnow play, 32 tracks x ${seconds} s:       ${varnow_play} s ($(ratio "$seconds" "$varnow_play")x real time)"
echo "ecasound play, same files:            ${ecasound_play} s ($(ratio "$seconds" "$ecasound_play")x real time)"
echo "ratio ecasound / varnow:              $(ratio "$ecasound_play" "$varnow_play")"
echo "varnow record 16 inputs with 32 playing: ${varnow_record} s ($(ratio "$seconds" "$varnow_record")x real time)"
echo "varnow play at period 16:             ${varnow_small} s ($(ratio "$seconds" "$varnow_small")x real time)"
