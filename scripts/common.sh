# shellcheck shell=bash
# Shared by run.sh, test.sh, bench.sh, fuzz.sh and the scripts that use it: installs the Debian
# packages a script needs when they are missing, configures and builds with CMake (incremental on
# re-runs, Release by default; every warning an error with VADREL_WERROR=1), and starts a private
# X server.

VADREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VADREL_BUILD="${VADREL_BUILD:-$VADREL_ROOT/build}"
VADREL_BUILD_TYPE="${VADREL_BUILD_TYPE:-Release}"

# What building and running the program needs: the tool chain (with dpkg-buildflags, which gives
# the build Debian's hardening flags), the libraries it links (Xlib for the windows XScreenSaver
# hands it), and Mesa's drivers (GLX for the window, EGL for SDL's offscreen driver in the headless
# mode), and for the idle watcher the session's idle services: sd-bus for D-Bus, the Wayland client
# library with the idle protocols' descriptions and their code generator, and the X screen-saver
# and input extensions.
VADREL_BUILD_PACKAGES=(
  cmake ninja-build g++ dpkg-dev pkgconf
  libsdl2-dev libgl-dev libglu1-mesa-dev libjpeg62-turbo-dev libpng-dev libx11-dev libxrandr-dev
  libsystemd-dev libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
  libxss-dev libxi-dev
  libgl1-mesa-dri libglx-mesa0 libegl1 libegl-mesa0
)

# What the tests and benchmarks add: GoogleTest, Google Benchmark, the X extensions the end-to-end
# tests drive the program with, the X server test.sh runs them under with its fonts (the message
# boxes the tests look for cannot be drawn without them), and for the install tests
# XScreenSaver and MATE's screen saver themselves with the D-Bus session and the GSettings tool
# and store the latter runs on, the checkers of the settings file, desktop entry, man page, user
# unit (systemd-analyze) and package (lintian), and what cpack needs to work out the package's
# dependencies. For the desktops the saver is tried on: Xorg with the dummy driver (monitors as
# RandR outputs, set with xrandr) under openbox with a tint2 panel, and headless sway with grim
# for its screenshots, wtype for its keys and swayidle for the README's recipe; GNOME Shell
# (headless, with its session manager for inhibitors) and KWin for the idle watcher. The players
# and services that hold the idle watcher off: VLC and mpv, the desktop portal with its GTK
# backend, and KDE's PowerDevil with UPower under it (and Qt's Wayland platform, without which it
# cannot start under KWin).
VADREL_TEST_PACKAGES=(
  libgtest-dev libbenchmark-dev
  libxtst-dev libxfixes-dev
  xvfb xfonts-base
  xscreensaver mate-screensaver dbus-daemon libglib2.0-bin dconf-gsettings-backend
  libxml2-utils desktop-file-utils man-db lintian dpkg-dev file systemd
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils openbox tint2
  sway grim wtype swayidle
  gnome-shell gnome-session-bin kwin-wayland
  vlc mpv xdg-desktop-portal xdg-desktop-portal-gtk powerdevil upower qtwayland5
)

# What the sanitized suite adds: the symbolizer, so that a report names functions, files and lines
# on every machine, not only where clang happens to be. (The suppressions match by library, which
# the runtime knows without it.)
VADREL_SANITIZE_PACKAGES=(llvm)

# xvfb-run, for running the screen saver without a display (it needs xauth), and the server's
# fonts, without which no message box can be shown on it.
VADREL_XVFB_RUN_PACKAGES=(xvfb xauth xfonts-base)

# Prints those of the given packages that are not installed, one a line.
vadrel_missing_packages() {
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      echo "$pkg"
    fi
  done
}

# Installs those of the given packages that are missing (through sudo when this is not root) and
# adds their names to .installed-packages in the project.
vadrel_install_packages() {
  local missing
  mapfile -t missing < <(vadrel_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "These packages are missing and this is not root (and there is no sudo): ${missing[*]}" >&2
      return 1
    fi
  fi
  echo "Installing missing Debian packages (${sudo[*]:+${sudo[*]} }apt-get install): ${missing[*]}"
  # Another apt at work (an update in the background) is waited for, not taken for a failure.
  local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
  "${sudo[@]}" "${apt[@]}" update -qq
  "${sudo[@]}" "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" || return
  # What these scripts installed, and only that, for the README's way to remove it again.
  printf '%s\n' "${missing[@]}" >>"$VADREL_ROOT/.installed-packages"
}

# ON when VADREL_WERROR=1 is in the environment (CI exports it), else OFF: the value of the CMake
# option that makes every warning an error. Given on every configure, so that a folder CI once
# configured does not keep failing a developer's build on a new warning.
vadrel_werror() {
  if [ "${VADREL_WERROR:-0}" = 1 ]; then echo ON; else echo OFF; fi
}

# Configures the build folder; the arguments go to CMake.
vadrel_configure() {
  cmake -S "$VADREL_ROOT" -B "$VADREL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="$VADREL_BUILD_TYPE" \
    -DVADREL_WERROR="$(vadrel_werror)" "$@" >/dev/null
}

# Builds the given targets, or everything when none is given.
vadrel_compile() {
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build "$VADREL_BUILD" -j "$(nproc)" "${targets[@]}"
}

# Starts a private Xvfb (arguments after the log file go to it; -noreset and -nolisten tcp are
# always given) on the first display number free on this machine: with -displayfd the server
# itself decides, by its sockets, the abstract ones included, and writes the number back. Sets
# VADREL_XVFB_PID (the caller stops it) and VADREL_XVFB_DISPLAY (":N"); fails, showing the end of
# the server's log, when it does not come up within ten seconds.
vadrel_start_xvfb() {  # log file, Xvfb arguments...
  local log=$1 number_file
  shift
  number_file=$(mktemp)
  Xvfb -displayfd 3 -noreset -nolisten tcp "$@" 3>"$number_file" >"$log" 2>&1 &
  VADREL_XVFB_PID=$!
  VADREL_XVFB_DISPLAY=
  for _ in $(seq 100); do
    # Read once the line is whole.
    if [ -s "$number_file" ] && [ -z "$(tail -c 1 "$number_file")" ]; then
      VADREL_XVFB_DISPLAY=":$(tr -dc 0-9 <"$number_file")"
      break
    fi
    kill -0 "$VADREL_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  if [ -z "$VADREL_XVFB_DISPLAY" ]; then
    kill "$VADREL_XVFB_PID" 2>/dev/null
    echo "Xvfb did not come up; its log ($log) ends with:" >&2
    tail -n 20 "$log" >&2 || true
    return 1
  fi
}

# For the install tests: stops each process given and waits for it; those already gone are fine.
vadrel_stop_processes() {  # pid...
  local pid
  for pid in "$@"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

# For the install tests: installs the build under prefix /usr into Folder/root, Folder being made
# readable by every user first (mktemp makes it private), so that a daemon run as another user
# can reach the program and its data.
vadrel_install_staged() {  # build folder, folder
  chmod 755 "$2"
  DESTDIR="$2/root" cmake --install "$1" --prefix /usr >/dev/null
}

# For test.sh: ends whatever outlived the suite and says what it was: every process whose
# environment holds the mark (Mark, as VADREL_TEST_RUN=Mark) and every mount that was not there
# before (MountsBefore: the mount points then). Fails when there was any.
vadrel_end_leftovers() {  # mark, mount points before...
  local mark=$1 environ pid found=0 target
  shift
  local -A before=()
  for target in "$@"; do before[$target]=1; done
  local pids=()
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
    grep -qzxF "VADREL_TEST_RUN=$mark" "$environ" 2>/dev/null && pids+=("$pid")
  done
  if [ ${#pids[@]} -gt 0 ]; then
    echo "test.sh: these processes of the suite outlived it and are ended now:" >&2
    ps -o pid=,user=,args= -p "$(IFS=,; echo "${pids[*]}")" >&2 || true
    kill -TERM "${pids[@]}" 2>/dev/null
    for _ in $(seq 20); do
      kill -0 "${pids[@]}" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "${pids[@]}" 2>/dev/null
    found=1
  fi
  while read -r target; do
    [ -n "${before[$target]:-}" ] && continue
    echo "test.sh: this mount of the suite outlived it and is undone now: $target" >&2
    umount -l "$target" 2>/dev/null || fusermount -uz "$target" 2>/dev/null || true
    found=1
  done < <(findmnt -rn -o TARGET)
  [ $found = 0 ] && echo "test.sh: nothing the suite started is left running or mounted"
  return $found
}
