#!/usr/bin/env bash
# Times a punch-in against the length of the track it goes into: a 10-second
# take recorded on ALSA's null device at the middle of a destination of 10
# and of 60 minutes (mono 24-bit, 48 kHz) and punched in with 'ins' and a
# 10 ms crossfade; prints both times and their ratio. Also times 'pad' of a
# 10-second take recorded at the 60-minute point (59 minutes 50 seconds of
# silence before it). Only the take command is timed, from the moment it is
# typed until the prompt is back; the recording pass before it is not. The
# files were just written, so the page cache is warm.
#
#   bench/punch_in.sh [BUILD_DIR] [RUNS]
#
# Each time is the median of RUNS runs (default 5), each in a fresh project.
#
# A benchmark, not a test: it never fails on a timing. The work of a
# punch-in is meant to follow the take, not the track: the two punch-in
# times should be close (a ratio near 1), and each well under 50 ms.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
runs="${2:-5}"
cmake --build "$build" --target varnow varnow_make_tracks >/dev/null
build="$(cd "$build" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate=48000
take=$((10 * rate))

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# A project directory whose record list names dest.wav, a track of the given
# minutes (none for 0), with the punch point at `punch` samples.
make_project() {  # dir minutes punch
  mkdir -p "$1"
  if [ "$2" -gt 0 ]; then
    "$build/varnow_make_tracks" "$1" 1 $(($2 * 60)) "$rate" >/dev/null
    mv "$1/track_01.wav" "$1/dest.wav"
  fi
  printf 'dv\tnull\nsr\t%s\ninputs\t1\noutputs\t1\nch\t1\nbuf\t1024\nint\t0\nclock\thc\nmeter\t0\n' \
    "$rate" > "$1/param.txt"
  printf 'e\t%s\no\t%s\nxfade\t10\n' "$3" $(($3 + take)) >> "$1/param.txt"
  echo dest.wav > "$1/record.txt"
  : > "$1/play.txt"
}

# Records a take with R, then times the take command until the status line
# that follows the menu. Prints the seconds.
time_take_command() {  # dir command
  local line start end
  coproc VARNOW { cd "$1" && exec stdbuf -oL "$build/varnow" 2>/dev/null; }
  echo R >&"${VARNOW[1]}"
  while IFS= read -r line <&"${VARNOW[0]}"; do
    [[ $line == "Recording finished."* ]] && break
  done
  start=$EPOCHREALTIME
  echo "$2" >&"${VARNOW[1]}"
  while IFS= read -r line <&"${VARNOW[0]}"; do
    [[ $line == Play:* ]] && break
  done
  end=$EPOCHREALTIME
  echo x >&"${VARNOW[1]}"
  wait "$VARNOW_PID" || true
  seconds "$start" "$end"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The take command timed in `runs` fresh projects; prints the median.
# Punch points on the period grid (1024 frames): the middle of each track.
timed_runs() {  # name minutes punch command
  local i
  for i in $(seq "$runs"); do
    rm -rf "$work/$1"
    make_project "$work/$1" "$2" "$3"
    # A track on disk is clean: without this the insert's one sync would also
    # write out the whole freshly generated track.
    sync
    time_take_command "$work/$1" "$4"
    echo
  done | median
}

ten=$(timed_runs ten 10 $((10 * 60 * rate / 2 / 1024 * 1024)) ins)
sixty=$(timed_runs sixty 60 $((60 * 60 * rate / 2 / 1024 * 1024)) ins)
pad=$(timed_runs pad 0 $((60 * 60 * rate)) pad)
padded=$(ls "$work/pad"/audio_ch_1_*.wav)

echo "punch-in (ins, 10 ms crossfade) of a 10 s take, medians of $runs runs:"
echo "  into a 10-minute track   ${ten} s"
echo "  into a 60-minute track   ${sixty} s"
echo "  ratio 60 / 10            $(ratio "$sixty" "$ten")"
echo "pad of a 10 s take at the 60-minute point:"
echo "  time                     ${pad} s"
echo "  file length              $(stat -c %s "$padded") bytes, $(($(stat -c %b "$padded") * 512)) allocated"
