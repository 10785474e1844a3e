#!/usr/bin/env bash
# Builds everything and runs every test: unit and GL tests (SDL's offscreen driver) and the
# end-to-end tests of the real program under a private Xvfb that this script starts and stops.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" "${VADREL_TEST_PACKAGES[@]}"
# Explicitly on: run.sh may have configured the same folder without them.
vadrel_configure -DVADREL_TESTS=ON -DVADREL_BENCH=ON
vadrel_compile

# -noreset: otherwise the server resets (re-centring the pointer) whenever its last client leaves.
display_number=99
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
  display_number=$((display_number + 1))
done
xvfb_log="$VADREL_BUILD/xvfb.log"
Xvfb ":$display_number" -noreset -nolisten tcp -screen 0 1280x800x24 >"$xvfb_log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display_number" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
# The end-to-end tests would only fail (or skip) against no server: stop here and say why.
if ! kill -0 "$xvfb_pid" 2>/dev/null || [ ! -e "/tmp/.X11-unix/X$display_number" ]; then
  echo "test.sh: Xvfb did not come up on :$display_number, so the end-to-end tests cannot run." >&2
  echo "test.sh: its log ($xvfb_log) ends with:" >&2
  tail -n 20 "$xvfb_log" >&2 || true
  exit 1
fi

export DISPLAY=":$display_number"
ctest --test-dir "$VADREL_BUILD" --output-on-failure -j "$(nproc)" "$@"
