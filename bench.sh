#!/usr/bin/env bash
# Builds the program and the benchmarks (Release) and prints one table: each row a measure taken
# with the plain reference paths and with the fast ones in the same run, and the fast one's gain.
# ./bench.sh --all also runs every Google Benchmark in bench/ in full afterwards.
# ./bench.sh --ceiling sets the 500-creature frame beside what the rasteriser does with the same
# creatures' triangles and the program out of the way.
# ./bench.sh --peer compares the frame rate with XScreenSaver's school of fish (glschool, from the
# package xscreensaver-gl, when it is installed) on one Xvfb, both drawing on the root window.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" "${VADREL_TEST_PACKAGES[@]}"
vadrel_configure -DVADREL_TESTS=ON -DVADREL_BENCH=ON
vadrel_compile vadrel vadrel_benchmarks

export SDL_VIDEODRIVER=offscreen VADREL_DATA="$VADREL_BUILD/data"
program="$VADREL_BUILD/vadrel"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The last column is the fast path's gain: reference / fast for times, fast / reference where
# more is better (frames per second, creatures); above 1 the fast path is ahead.
row() {  # measure, reference, fast, unit [more-is-better]
  awk -v m="$1" -v r="$2" -v f="$3" -v u="$4" -v more="${5:-}" 'BEGIN {
    number = "^[0-9.]+$"
    ratio = "-"
    if (r ~ number && f ~ number && r > 0 && f > 0) ratio = sprintf("%.2f", more != "" ? f / r : r / f)
    if (r ~ number) r = r " " u
    if (f ~ number) f = f " " u
    printf "| %-58s | %12s | %12s | %6s |\n", m, r, f, ratio }'
}

# One Google Benchmark's real time (microseconds) from a CSV run.
bench_time() {  # csv file, benchmark name
  awk -F, -v n="\"$2\"" '$1 == n { printf "%.1f", $3 }' "$1"
}

# Field of `vadrel --benchmark`'s line: fps, median (ms), startup (ms), memory (MB).
run_frame() {  # field, arguments...
  local field=$1
  shift
  "$program" --benchmark "$@" | awk -v f="$field" '{
    for (i = 1; i <= NF; ++i) {
      if ($(i+1) == "frames" && $(i+2) == "per") fps = $i;
      if ($i == "median") median = $(i+1);
      if ($i == "frame" && $(i-1) == "first") startup = $(i+1);
      if ($i == "memory") memory = $(i+1);
    }
    if (f == "fps") print fps; else if (f == "median") print median;
    else if (f == "startup") print startup; else print memory }'
}

median_of() {  # count, command...
  local n=$1
  shift
  for _ in $(seq "$n"); do "$@"; done | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# The largest count whose frame still takes at most 1/30 s (median of 60 frames), by bisection;
# "none" when the scene without creatures already takes longer (the machine is too loaded for the
# question), and "unsteady" when the count found no longer meets the mark when measured again
# (the load changed during the search), since either way a number would mislead.
meets_30() {  # count, extra arguments...
  local count=$1
  shift
  awk -v m="$(run_frame median --frames 60 -count "$count" "$@")" 'BEGIN { exit !(m <= 1000 / 30) }'
}
largest_at_30() {  # extra arguments...
  local low=0 high=2000 mid
  if ! meets_30 -1 "$@"; then echo "none (loaded)"; return; fi
  while [ $((high - low)) -gt 10 ]; do
    mid=$(((low + high) / 2))
    if meets_30 "$mid" "$@"; then low=$mid; else high=$mid; fi
  done
  if [ $low -gt 0 ] && ! meets_30 "$low" "$@"; then echo "unsteady (load)"; return; fi
  echo $((low + 1))
}

# The frame rate of a program drawing on the root window of Xvfb display Display, counted by the
# swap counter: four seconds to settle, then twelve counted.
swap_rate() {  # display, command...
  local display=$1 count="$work/swaps" pid first_swaps first_time swaps time
  shift
  rm -f "$count"
  # On the display, not the offscreen driver the other measures use.
  env -u SDL_VIDEODRIVER DISPLAY="$display" VADREL_SWAPCOUNT_FILE="$count" \
    LD_PRELOAD="$VADREL_BUILD/bench/libvadrel_swapcount.so" "$@" >/dev/null 2>&1 &
  pid=$!
  sleep 4
  read -r first_swaps first_time 2>/dev/null <"$count" || true
  sleep 12
  read -r swaps time 2>/dev/null <"$count" || true
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  awk -v a="${first_swaps:-0}" -v b="${swaps:-0}" -v s="${first_time:-0}" -v e="${time:-0}" \
    'BEGIN { if (e > s) printf "%.1f", (b - a) / (e - s); else printf "none" }'
}

# The peer comparison: glschool with 500 fish and Vadrel with 500 creatures in three alternating
# pairs, then each program's lighter scene; no pause between frames for either.
peer() {
  local glschool=""
  for candidate in /usr/libexec/xscreensaver/glschool /usr/lib/xscreensaver/glschool; do
    [ -x "$candidate" ] && glschool=$candidate && break
  done
  if [ -z "$glschool" ]; then
    echo "The peer comparison needs glschool, which comes with the package xscreensaver-gl; it is"
    echo "not installed here (sudo apt-get install xscreensaver-gl), so nothing was measured."
    return 0
  fi
  vadrel_start_xvfb "$work/xvfb.log" -screen 0 1280x800x24
  trap 'kill "${VADREL_XVFB_PID:-}" 2>/dev/null; rm -rf "$work"' EXIT
  local display=$VADREL_XVFB_DISPLAY
  echo "Both on the root window of one 1280x800 Xvfb, frames counted by their buffer swaps."
  echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 minutes; $(nproc) cores)"
  echo
  echo "| pair | glschool --nfish 500 --fog (fps) | vadrel -count 499 (fps) | Vadrel / glschool |"
  echo "|---|---|---|---|"
  local pair peer_rate own_rate
  for pair in 1 2 3; do
    peer_rate=$(swap_rate "$display" "$glschool" --root --nfish 500 --delay 0 --fog)
    own_rate=$(swap_rate "$display" "$program" -root -delay 0 -count 499)
    awk -v n="$pair" -v p="$peer_rate" -v o="$own_rate" 'BEGIN {
      r = (p ~ /^[0-9.]+$/ && o ~ /^[0-9.]+$/ && p > 0) ? sprintf("%.2f", o / p) : "-"
      printf "| %d | %s | %s | %s |\n", n, p, o, r }'
  done
  echo
  echo "| program | frames per second |"
  echo "|---|---|"
  echo "| glschool --root --nfish 100 --delay 0 --fog | $(swap_rate "$display" "$glschool" --root --nfish 100 --delay 0 --fog) |"
  echo "| vadrel -root -delay 0 (the default 41) | $(swap_rate "$display" "$program" -root -delay 0) |"
  echo "| vadrel -root -delay 0 -count -1 (no creatures) | $(swap_rate "$display" "$program" -root -delay 0 -count -1) |"
  echo
  echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# The 500-creature frame beside the rasteriser's ceiling for it: the same frame with every
# creature placed on the CPU ahead, so that drawing it is only the rasteriser's work (see
# bench/bench_ceiling.cpp), as drawn now and as drawn before the middle creature and the culling.
ceiling() {
  local line frame csv
  line=$("$program" --benchmark -count 499)
  frame=$(awk '{ for (i = 1; i <= NF; ++i) if ($i == "median") print $(i+1) }' <<<"$line")
  csv="$work/ceiling.csv"
  "$VADREL_BUILD/bench/bench_ceiling" --benchmark_format=csv --benchmark_min_time=1 2>/dev/null >"$csv"
  echo "$line"
  echo
  echo "| 500 creatures, 1280x800 | ms |"
  echo "|---|---|"
  echo "| the program's frame (median) | $frame |"
  awk -v f="$frame" -v now="$(bench_time "$csv" "BM_RasteriserCeiling/middle:1/real_time")" \
    -v before="$(bench_time "$csv" "BM_RasteriserCeiling/middle:0/real_time")" 'BEGIN {
    printf "| the same frame, creatures placed ahead (the rasteriser alone) | %.2f |\n", now
    printf "| the same, drawn as before (full creature, every face) | %.2f |\n", before
    printf "| the frame reaches this share of its ceiling | %.0f %% |\n", 100 * now / f }'
}

case "${1:-}" in
  --peer) peer; exit 0 ;;
  --ceiling) ceiling; exit 0 ;;
esac

echo "Measuring (several minutes); the machine's load moves the absolute figures, not the ratios."
"$VADREL_BUILD/bench/bench_boid" --benchmark_format=csv --benchmark_min_time=0.3 \
  2>/dev/null >"$work/boid.csv"
"$VADREL_BUILD/bench/bench_model" --benchmark_format=csv --benchmark_min_time=0.3 \
  --benchmark_filter=PoseAndDraw 2>/dev/null >"$work/model.csv"

echo
echo "| measure | reference | fast | gain |"
echo "|---|---|---|---|"
for n in 41 1000 10000; do
  for grown in 0 1; do
    world="1000 x 1000 world"
    [ "$grown" = 1 ] && world="world grown with the count"
    row "flock step, $n boids, $world" \
      "$(bench_time "$work/boid.csv" "BM_FlockStep/boids:$n/grown:$grown/grid:0")" \
      "$(bench_time "$work/boid.csv" "BM_FlockStep/boids:$n/grown:$grown/grid:1")" "us"
  done
done
row "posing and drawing one creature" \
  "$(bench_time "$work/model.csv" "BM_PoseAndDrawCreature/fast:0")" \
  "$(bench_time "$work/model.csv" "BM_PoseAndDrawCreature/fast:1")" "us"
row "default frame, 41 creatures, 1280x800 (median)" \
  "$(run_frame median --reference)" "$(run_frame median)" "ms"
row "frame with 500 creatures, 1280x800 (median)" \
  "$(run_frame median -count 499 --reference)" "$(run_frame median -count 499)" "ms"
row "frame with 500 creatures, far model for all (median)" \
  "$(run_frame median -count 499 --reference)" "$(run_frame median -count 499 -detail 100000)" "ms"
row "frames per second with 500 creatures" \
  "$(run_frame fps -count 499 --reference)" "$(run_frame fps -count 499)" "fps" more
row "largest count at 30 frames per second, 1280x800" \
  "$(largest_at_30 --reference)" "$(largest_at_30)" "boids" more
row "start-up to the first frame (median of 5)" \
  "$(median_of 5 run_frame startup --frames 1 --reference)" \
  "$(median_of 5 run_frame startup --frames 1)" "ms"
row "peak memory, default scene" \
  "$(run_frame memory --reference)" "$(run_frame memory)" "MB"

if [ "${1:-}" = "--all" ]; then
  shift
  for bench in "$VADREL_BUILD"/bench/bench_*; do
    [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench" "$@"
  done
fi
