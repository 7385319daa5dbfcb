#!/usr/bin/env bash
# Times, in one run, a Varnow interleaved export ('exp-i', mix mode 1) of 32
# mono 24-bit tracks of 180 s at 48 kHz, sox mixing the same files into one
# stereo 24-bit file, and cat reading the files; prints the three times, the
# ratios export/sox and export/read, and the export's peak memory, which must
# stay under 64 MiB whatever the length.
#
#   bench/export_vs_sox.sh [BUILD_DIR]
#
# A benchmark, not a test: it never fails on a timing.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
cmake --build "$build" --target varnow varnow_make_tracks >/dev/null

if ! command -v sox >/dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -q sox >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
seconds=180
rate=48000
tracks=32
frames=$((seconds * rate))
"$build/varnow_make_tracks" "$work" "$tracks" "$seconds" "$rate" > "$work/play.txt"
: > "$work/record.txt"
printf 'dv\tnull\nsr\t%s\ninputs\t2\noutputs\t2\nch\t%s\nbuf\t1024\nmix\t1\no\t%s\nint\t0\n' \
  "$rate" "$tracks" "$frames" > "$work/param.txt"
mapfile -t files < <(sed "s|^|$work/|" "$work/play.txt")

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Every run reads the files from the page cache.
cat "${files[@]}" > /dev/null

start=$(now)
cat "${files[@]}" > /dev/null
end=$(now)
read_time=$(elapsed "$start" "$end")

varnow="$build/varnow"
peak_kib=""
start=$(now)
if [ -x /usr/bin/time ]; then
  (cd "$work" && printf 'exp-i bench_mix c x\n' |
    /usr/bin/time -v -o "$work/time.txt" "$varnow" > "$work/export.txt")
  end=$(now)
  peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
else
  # Without GNU time: the high-water mark of the process, polled while it runs.
  (cd "$work" && exec "$varnow" < <(printf 'exp-i bench_mix c x\n') > "$work/export.txt") &
  pid=$!
  peak_kib=0
  while kill -0 "$pid" 2>/dev/null; do
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$hwm" ] && [ "$hwm" -gt "$peak_kib" ] && peak_kib=$hwm
    sleep 0.02
  done
  wait "$pid" || true
  end=$(now)
fi
export_time=$(elapsed "$start" "$end")
if ! grep -q 'Output Peaks:' "$work/export.txt"; then
  echo "warning: the export did not finish; its output ends with:" >&2
  tail -5 "$work/export.txt" >&2
fi

start=$(now)
sox -M "${files[@]}" -b 24 "$work/sox_mix.wav" remix -m 1-${tracks}v0.5 1-${tracks}v0.5 \
  2>/dev/null || true
end=$(now)
sox_time=$(elapsed "$start" "$end")

peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
echo "varnow exp-i, ${tracks} tracks x ${seconds} s (mix mode 1): ${export_time} s"
echo "sox -M ... remix, same files:                ${sox_time} s"
echo "cat of the files to /dev/null:               ${read_time} s"
echo "ratio export / sox:                          $(ratio "$export_time" "$sox_time")"
echo "ratio export / read:                         $(ratio "$export_time" "$read_time")"
echo "export peak memory:                          ${peak_mib} MiB"
if awk -v k="$peak_kib" 'BEGIN { exit !(k >= 65536) }'; then
  echo "warning: the export's peak memory reached 64 MiB" >&2
fi
