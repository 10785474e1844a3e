# Shared by run.sh, test.sh and bench.sh: installs the Debian packages the project needs when they
# are missing, and configures and builds with CMake (incremental on re-runs, Release by default).

VADREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VADREL_BUILD="${VADREL_BUILD:-$VADREL_ROOT/build}"
VADREL_BUILD_TYPE="${VADREL_BUILD_TYPE:-Release}"

# Everything needed to build the program, its tests and benchmarks, and to run the tests headless.
VADREL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libjpeg62-turbo-dev libpng-dev
  libgl1-mesa-dri libglx-mesa0 libegl1 libegl-mesa0
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool libx11-dev libxtst-dev libxfixes-dev
  xscreensaver libxml2-utils desktop-file-utils man-db dpkg-dev file
)

vadrel_install_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "Installing missing Debian packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "These packages are missing and this is not root (and there is no sudo): ${missing[*]}" >&2
      return 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

vadrel_build() {
  cmake -S "$VADREL_ROOT" -B "$VADREL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="$VADREL_BUILD_TYPE" "$@" >/dev/null
  cmake --build "$VADREL_BUILD" -j "$(nproc)"
}
