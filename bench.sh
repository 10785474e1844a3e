#!/usr/bin/env bash
# Builds the benchmarks and the data, and runs every benchmark (Release build); extra arguments
# go to each benchmark.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" "${VADREL_TEST_PACKAGES[@]}"
vadrel_configure -DVADREL_TESTS=ON -DVADREL_BENCH=ON
vadrel_compile vadrel_benchmarks

for bench in "$VADREL_BUILD"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  SDL_VIDEODRIVER=offscreen VADREL_DATA="$VADREL_BUILD/data" "$bench" "$@"
done
