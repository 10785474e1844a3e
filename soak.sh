#!/usr/bin/env bash
# A soak of the headless program, not a test: renders without end for MINUTES (default 30) per
# configuration -- the default scene, then 2,000 creatures -- at 640x400, and samples its resident
# memory every minute. The build (build-soak/) keeps assertions on, so the program itself checks
# for GL errors and that the animation clock and the caustic frames still move, every few hundred
# frames, and says so on stderr when they do not. At the end the program is stopped with SIGTERM.
# Fails when the program ends early, says anything but its stop line, or grows by more than 10%
# (and 16 MB) after the first two minutes.
# Usage: ./soak.sh [MINUTES]    (whole minutes; SOAK_SECONDS overrides the length and
# SOAK_SAMPLE_SECONDS the sampling interval, 60 by default, for a short trial)
set -euo pipefail
export VADREL_BUILD="$(cd "$(dirname "$0")" && pwd)/build-soak"
export VADREL_BUILD_TYPE=RelWithDebInfo
source "$(dirname "$0")/scripts/common.sh"
Minutes=${1:-30}
case $Minutes in '' | *[!0-9]*) echo "usage: ./soak.sh [MINUTES]" >&2; exit 2 ;; esac
Length=${SOAK_SECONDS:-$((Minutes * 60))}
Sample=${SOAK_SAMPLE_SECONDS:-60}
# Warm-up: the first fifth of the run, at least two minutes; what counts is growth after that.
Warmup=$(( Length / 5 > 125 ? Length / 5 : 125 ))

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}"
vadrel_configure -DVADREL_TESTS=OFF -DVADREL_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g"
vadrel_compile vadrel

Work=$(mktemp -d)
Running=
trap '[ -n "$Running" ] && kill "$Running" 2>/dev/null; rm -rf "$Work"' EXIT
Status=0

# Resident memory of process $1 in MB, or nothing once it is gone.
resident_mb() { awk '/^VmRSS:/ { printf "%d", $2 / 1024 }' "/proc/$1/status" 2>/dev/null || true; }

soak() {
  local name=$1
  shift
  echo "== $name: $Length s, resident memory (MB) every ${Sample}s"
  VADREL_DATA="$VADREL_BUILD/data" "$VADREL_BUILD/vadrel" --screenshot "$Work/$name.png" \
    --frames 1000000 --size 640x400 "$@" 2>"$Work/$name.err" &
  local pid=$! start=$SECONDS samples=() early=()
  Running=$pid
  sleep 5
  echo "  5 s: $(resident_mb $pid)"
  local end=$((start + Length))
  while [ $SECONDS -lt $end ] && kill -0 $pid 2>/dev/null; do
    sleep $(( Sample < end - SECONDS ? Sample : end - SECONDS > 0 ? end - SECONDS : 1 ))
    local mb
    mb=$(resident_mb $pid)
    [ -z "$mb" ] && break
    samples+=("$mb")
    [ $((SECONDS - start)) -le $Warmup ] && early+=("$mb")
    echo "  $((SECONDS - start)) s: $mb"
  done
  if ! kill -TERM $pid 2>/dev/null; then
    echo "  FAIL: the program ended before its time" >&2
    Status=1
  fi
  wait $pid || true
  Running=
  # The one line a stopped render ends with; anything else is a finding.
  grep -v "stopped by a signal" "$Work/$name.err" >&2 && { echo "  FAIL: it said the above" >&2; Status=1; }
  sed 's/^/  /' "$Work/$name.err"
  if [ ${#samples[@]} -gt 0 ]; then
    local base=${early[0]:-${samples[0]}} last=${samples[-1]}
    for mb in "${early[@]}"; do [ "$mb" -gt "$base" ] && base=$mb; done
    echo "  after warm-up: $base MB; at the end: $last MB"
    if [ "$last" -gt $((base + base / 10)) ] && [ "$last" -gt $((base + 16)) ]; then
      echo "  FAIL: resident memory grew after warm-up" >&2
      Status=1
    fi
  fi
}

soak default
# The crowd is rendered by Mesa on the calling thread. With its worker threads, the renderer's own
# heap (allocated under our draw calls) rises in steps of 36 MB at minutes that depend on the
# machine's load, to a ceiling that does not grow with the creature count (three times the
# creatures, the same range); on one thread it stays flat, so growth here is ours.
LP_NUM_THREADS=0 soak creatures-2000 -count 1999
exit $Status
