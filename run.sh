#!/usr/bin/env bash
# Builds everything and starts the screen saver on the current display.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

# Packages first: the advice below names xvfb-run, which they bring.
vadrel_install_packages "${VADREL_PACKAGES[@]}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display to show the screen saver on; without one, run it as: xvfb-run -a -s \"-screen 0 1280x800x24\" ./run.sh" >&2
  exit 1
fi

vadrel_build
exec "$VADREL_BUILD/vadrel" "$@"
