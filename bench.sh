#!/usr/bin/env bash
# Builds everything and runs every benchmark (Release build); extra arguments go to each benchmark.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_PACKAGES[@]}"
vadrel_build

for bench in "$VADREL_BUILD"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  SDL_VIDEODRIVER=offscreen VADREL_DATA="$VADREL_BUILD/data" "$bench" "$@"
done
