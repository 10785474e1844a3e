#!/usr/bin/env bash
# Builds everything and runs every test: unit and GL tests (SDL's offscreen driver) and the
# end-to-end tests of the real program under a private Xvfb that this script starts and stops.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_PACKAGES[@]}"
vadrel_build

# -noreset: otherwise the server resets (re-centring the pointer) whenever its last client leaves.
display_number=99
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
  display_number=$((display_number + 1))
done
Xvfb ":$display_number" -noreset -nolisten tcp -screen 0 1280x800x24 >"$VADREL_BUILD/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display_number" ] && break
  sleep 0.1
done

export DISPLAY=":$display_number"
ctest --test-dir "$VADREL_BUILD" --output-on-failure -j "$(nproc)" "$@"
