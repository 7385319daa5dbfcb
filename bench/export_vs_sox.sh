#!/usr/bin/env bash
# Times, in one run, Varnow's exports against sox and against the read floor
# (cat of the track files), for 32 mono 24-bit tracks of 180 s and for 128
# tracks of 45 s at 48 kHz (the same bytes), in mix mode 1, page cache warm:
#
#   - 'exp-i' (interleaved stereo) and 'exp-s' (split left and right),
#   - 'p' mixed to stereo on ALSA's null device,
#   - sox mixing the same files into one stereo 24-bit file,
#   - cat of the files to /dev/null, the floor.
#
# Prints the median of 3 runs of each, its ratio to the floor, and the
# exports' peak resident memory (the largest of the runs).
#
#   bench/export_vs_sox.sh [BUILD_DIR] [RUNS]
#
# A benchmark, not a test: it never fails on a timing.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
runs="${2:-3}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
cmake --build "$build" --target varnow varnow_make_tracks >/dev/null

missing=()
command -v sox >/dev/null || missing+=(sox)
[ -x /usr/bin/time ] || missing+=(time)
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -q "${missing[@]}" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate=48000
varnow="$build/varnow"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# Runs varnow in the project with the words of $1; prints the seconds it took
# and leaves its peak memory in KiB in $work/peak.
time_varnow() {
  local dir="$1" words="$2" start end
  rm -f "$dir"/bench_mix*.wav
  start=$(now)
  (cd "$dir" && printf '%s\n' "$words" |
    /usr/bin/time -f '%M' -o "$work/peak" "$varnow" > "$work/out.txt")
  end=$(now)
  if [[ "$words" == exp* ]] && ! grep -q 'Output Peaks:' "$work/out.txt"; then
    echo "warning: '$words' did not finish; its output ends with:" >&2
    tail -5 "$work/out.txt" >&2
  fi
  elapsed "$start" "$end"
}

run_case() {  # tracks seconds
  local tracks="$1" seconds="$2"
  local dir="$work/t$tracks"
  mkdir -p "$dir"
  "$build/varnow_make_tracks" "$dir" "$tracks" "$seconds" "$rate" > "$dir/play.txt"
  : > "$dir/record.txt"
  printf 'dv\tnull\nsr\t%s\ninputs\t2\noutputs\t2\nch\t%s\nbuf\t1024\nmix\t1\no\t%s\nint\t0\nclock\thc\nmeter\t0\n' \
    "$rate" "$tracks" "$((seconds * rate))" > "$dir/param.txt"
  local files=()
  mapfile -t files < <(sed "s|^|$dir/|" "$dir/play.txt")
  cat "${files[@]}" > /dev/null  # every run reads the files from the page cache

  local cat_times=() i_times=() s_times=() p_times=() sox_times=() peak=0 t start end
  for ((run = 0; run < runs; run++)); do
    start=$(now); cat "${files[@]}" > /dev/null; end=$(now)
    cat_times+=("$(elapsed "$start" "$end")")
    i_times+=("$(time_varnow "$dir" 'exp-i bench_mix c x')")
    peak=$(( $(cat "$work/peak") > peak ? $(cat "$work/peak") : peak ))
    s_times+=("$(time_varnow "$dir" 'exp-s bench_mix c x')")
    peak=$(( $(cat "$work/peak") > peak ? $(cat "$work/peak") : peak ))
    p_times+=("$(time_varnow "$dir" 'p x')")
    rm -f "$dir/sox_mix.wav"
    start=$(now)
    sox -M "${files[@]}" -b 24 "$dir/sox_mix.wav" remix -m "1-${tracks}v0.5" "1-${tracks}v0.5" \
      2>/dev/null || true
    end=$(now)
    sox_times+=("$(elapsed "$start" "$end")")
  done
  rm -f "$dir"/*.wav

  local floor
  floor=$(median "${cat_times[@]}")
  echo "${tracks} tracks x ${seconds} s, mix mode 1, median of ${runs}:"
  printf '  %-34s %6s s\n' "cat of the files (read floor)" "$floor"
  local label value
  for label in "varnow exp-i" "varnow exp-s" "varnow p, mixed to stereo" "sox -M ... remix"; do
    case "$label" in
      *exp-i) value=$(median "${i_times[@]}") ;;
      *exp-s) value=$(median "${s_times[@]}") ;;
      *p,*) value=$(median "${p_times[@]}") ;;
      *) value=$(median "${sox_times[@]}") ;;
    esac
    printf '  %-34s %6s s   %5s x the floor\n' "$label" "$value" "$(ratio "$value" "$floor")"
  done
  printf '  %-34s %6s MiB\n' "export peak memory" "$(mib "$peak")"
}

run_case 32 180
run_case 128 45
