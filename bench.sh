#!/usr/bin/env bash
# Builds the program and the benchmarks (Release) and prints one table: each row a measure taken
# with the plain reference paths and with the fast ones in the same run, and the fast one's gain.
# ./bench.sh --all also runs every Google Benchmark in bench/ in full afterwards.
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
row "frame with 501 creatures, 1280x800 (median)" \
  "$(run_frame median -count 500 --reference)" "$(run_frame median -count 500)" "ms"
row "frame with 501 creatures, far model for all (median)" \
  "$(run_frame median -count 500 --reference)" "$(run_frame median -count 500 -detail 100000)" "ms"
row "frames per second with 501 creatures" \
  "$(run_frame fps -count 500 --reference)" "$(run_frame fps -count 500)" "fps" more
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
