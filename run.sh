#!/usr/bin/env bash
# Builds the program and its data, and starts the screen saver on the current display.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # The advice names xvfb-run: make sure it is there to follow.
  vadrel_install_packages "${VADREL_XVFB_RUN_PACKAGES[@]}"
  echo "run.sh: no display to show the screen saver on; without one, run it as: xvfb-run -a -s \"-screen 0 1280x800x24\" ./run.sh" >&2
  exit 1
fi

# Only the program and its data are built; the tests and benchmarks are test.sh's. They are
# configured only where their packages are installed, so a missing GoogleTest cannot stop the
# program from building, and a folder that test.sh set up keeps them.
configure=()
if [ -n "$(vadrel_missing_packages "${VADREL_TEST_PACKAGES[@]}")" ]; then
  configure+=(-DVADREL_TESTS=OFF)
fi
vadrel_configure "${configure[@]}"
vadrel_compile vadrel
exec "$VADREL_BUILD/vadrel" "$@"
