#!/usr/bin/env bash
# Dropouts when the disk stalls, on a virtual card that behaves like a sound
# card: varnow_pacer keeps real time, offers one period of a ramp per period,
# holds four periods of capture (the program's device buffer) and drops the
# oldest when nobody reads in time, so every lost frame is a jump in the ramp.
# Stalls come from the test fault injector's delay before chosen take writes
# and play-file reads. 8 inputs, period 256, 12 s recordings; the same card
# and stalls for ecasound (through a plug to its sample format) where it is
# installed. Then the shortest period at which 16 inputs and 32 tracks ('r')
# run 60 s without a lost frame, and Varnow's processor time per second of
# audio there.
#
#   bench/dropouts.sh [BUILD_DIR]
#
# VARNOW_UNDER_TEST names another varnow binary to measure (an older build,
# say). The pacer and the program share one processor, at real-time
# priorities when the system allows (the card above the program), so that a
# late card or a busy virtual machine is not taken for a late program.
# A benchmark, not a test: it never fails on a timing.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
cmake --build "$build" --target varnow varnow_pacer varnow_faults varnow_ramp_check \
  varnow_make_tracks >/dev/null
build="$(cd "$build" && pwd)"
varnow="${VARNOW_UNDER_TEST:-$build/varnow}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate=48000
seconds=12
mkdir -p "$work/home" "$work/project"
mkfifo "$work/play.fifo" "$work/capture.fifo"
cat > "$work/home/.asoundrc" <<EOF
pcm.paced {
    type asym
    playback.pcm { type file slave.pcm "null" file "$work/play.fifo" format "raw" }
    capture.pcm { type file slave.pcm "null" file "/dev/null" infile "$work/capture.fifo" format "raw" }
}
pcm.ecaplug { type plug slave.pcm "paced" }
EOF

cpu=$(($(nproc) - 1))
realtime=(chrt -R -f 70)  # -R: the program starts at normal priority and raises its own loop
"${realtime[@]}" true 2>/dev/null || realtime=()

# paced PERIOD OUTPUTS INPUTS RULES PROGRAM...: runs PROGRAM on the card with
# the faults RULES injected; the card's counts land in $work/counts.
paced() {
  local period=$1 outputs=$2 inputs=$3 rules=$4
  shift 4
  # Each run is one pass: the card goes idle only at its start, never during
  # a stall.
  taskset -c "$cpu" "${realtime[@]}" "$build/varnow_pacer" --ramp --counts "$work/counts" \
    --idle-after 600 \
    "$rate" "$period" "$outputs" "$work/play.fifo" "$inputs" "$work/capture.fifo" -- \
    env HOME="$work/home" LD_PRELOAD="$build/libvarnow_faults.so" VARNOW_FAULTS="$rules" \
    VARNOW_FAULTS_LOG="$work/faults.log" "$@"
}

count() { sed -n "s/^$1 //p" "$work/counts"; }

# The worst take's missing frames and gaps, read from the ramp.
missing_of() { "$build/varnow_ramp_check" "$@" | sort -k2 -n | tail -1; }

# varnow_row LABEL COMMAND INPUTS TRACKS PERIOD SECONDS RULES: one recording
# named in advance (no take menu), inputs 2.. judged.
varnow_row() {
  local label=$1 command=$2 inputs=$3 tracks=$4 period=$5 secs=$6 rules=$7
  local p="$work/project" frames=$((secs * rate)) outputs=$((tracks > 2 ? tracks : 2))
  rm -rf "$p" && mkdir -p "$p"
  printf 'dv\tpaced\nsr\t%s\ninputs\t%s\noutputs\t%s\nch\t%s\nbuf\t%s\no\t%s\nclock\thc\nmeter\t0\nint\t0\n' \
    "$rate" "$inputs" "$outputs" "$((outputs > inputs ? outputs : inputs))" "$period" "$frames" \
    > "$p/param.txt"
  for i in $(seq 1 "$inputs"); do echo "in$i.wav"; done > "$p/record.txt"
  if [ "$tracks" -gt 0 ] && [ "${command:0:1}" = r ]; then
    "$build/varnow_make_tracks" "$p" "$tracks" "$((secs + 2))" "$rate" > "$p/play.txt"
  else
    : > "$p/play.txt"
  fi
  (cd "$p" && printf '%s_t\nx\n' "$command" |
    paced "$period" "$outputs" "$inputs" "$rules" "$varnow" > "$p/out.txt" 2>&1) || true
  local takes=()
  for i in $(seq 2 "$inputs"); do takes+=("$p/in${i}_t.wav"); done
  local result said
  result=$(missing_of "${takes[@]}")
  said=$({ grep -E '^(RX|PX)$| lost ' "$p/out.txt" || true; } | sort | uniq -c |
    awk '{$1=$1; print}' | head -2 | paste -sd ';' | cut -c1-90)
  cpu_per_second=$(awk -v c="$(count cpu)" -v s="$secs" 'BEGIN { printf "%.4f", c / s }')
  missing_frames=$(awk '{ print $2 }' <<< "$result")
  printf '%-44s %-10s %9s frames in %4s gaps  card dropped %7s starved %7s  said: %s\n' "$label" \
    varnow "$missing_frames" "$(awk '{ print $4 }' <<< "$result")" "$(count dropped)" \
    "$(count starved)" "${said:-nothing}"
}

eca_row() {
  local label=$1 inputs=$2 period=$3 secs=$4 rules=$5
  local p="$work/project"
  rm -rf "$p" && mkdir -p "$p"
  (cd "$p" && paced "$period" 0 "$inputs" "$rules" ecasound -q -b:"$period" \
    -f:s24_le,"$inputs","$rate" -i:alsa,ecaplug -o:"$p/eca.wav" -t:"$secs" \
    > "$p/out.txt" 2>&1 < /dev/null) || true
  local result
  result=$(missing_of "$p/eca.wav")
  printf '%-44s %-10s %9s frames in %4s gaps  card dropped %7s\n' "$label" ecasound \
    "$(awk '{ print $2 }' <<< "$result")" "$(awk '{ print $4 }' <<< "$result")" "$(count dropped)"
}

have_eca=1
command -v ecasound >/dev/null || have_eca=0

echo "Frames missing from the worst take of 8 inputs, period 256, ${seconds} s recordings:"
# Take write 1 of a file is its header, write 5 its fourth block (0.34 s in);
# ecasound writes a period at a time, its 64th write is as far in.
takes='*/in*_t.wav'
for row in "nothing|R|8|0||" \
  "one take write took 300 ms|R|8|0|fwrite:*/in3_t.wav:5:delay=300|write,fwrite,pwrite:*/eca.wav:64:delay=300" \
  "one take write took 2 s|R|8|0|fwrite:*/in3_t.wav:5:delay=2000|write,fwrite,pwrite:*/eca.wav:64:delay=2000" \
  "one take write took 5 s|R|8|0|fwrite:*/in3_t.wav:5:delay=5000|write,fwrite,pwrite:*/eca.wav:64:delay=5000" \
  "every 60th take write took 60 ms|R|8|0|fwrite:$takes:60/60:delay=60|write,fwrite,pwrite:*/eca.wav:60/60:delay=60" \
  "r, 8 tracks: one play-file read took 300 ms|r|8|8|pread:*/track_03.wav:3:delay=300|" \
  "r, 8 tracks, no stall, period 64|r64|8|8||"; do
  IFS='|' read -r label command inputs tracks rules eca_rules <<< "$row"
  period=256
  if [ "$command" = r64 ]; then command=r; period=64; fi
  varnow_row "$label" "$command" "$inputs" "$tracks" "$period" "$seconds" "$rules"
  if [ "$command" = R ]; then
    if [ "$have_eca" = 1 ]; then
      eca_row "$label" "$inputs" "$period" "$seconds" "$eca_rules"
    fi
  fi
done
[ "$have_eca" = 1 ] || echo "(ecasound is not installed: its rows are skipped)"

echo
echo "Shortest period at which 16 inputs and 32 tracks ('r') run 60 s without a lost frame:"
found=""
for period in 64 128 256 512 1024; do
  varnow_row "16 x 32, period $period" r 16 32 "$period" 60 ""
  if [ "$missing_frames" = 0 ] && [ "$(count dropped)" = 0 ] && [ "$(count starved)" = 0 ]; then
    found=$period
    echo "period $found: clean; Varnow's processor time per second of audio: ${cpu_per_second} s"
    break
  fi
done
[ -n "$found" ] || echo "no period up to 1024 ran clean"
