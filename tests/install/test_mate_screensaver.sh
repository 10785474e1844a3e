#!/usr/bin/env bash
# The installed program under Debian's real MATE screen saver: its desktop entry passes
# desktop-file-validate without an error or a warning; on a private Xvfb, in a D-Bus session of its
# own, the daemon set to the one theme "screensavers-vadrel" and told to blank the screen runs
# `vadrel -root` from the entry, the root window then shows our scene, and unblanking ends every
# process of ours.
#
# The daemon finds the entry through XDG_DATA_DIRS, but runs a theme's program only from its own
# fixed folders, /usr/libexec/xscreensaver among them (where the package puts ours), whatever PATH
# says. So the daemon runs in a private mount namespace in which an empty tmpfs over that folder
# holds a link to the scratch install's program; nothing outside the namespace changes. As root the
# daemon runs as nobody (like the XScreenSaver test's); as another user a user namespace makes the
# mount possible. Its settings live in a scratch home, never the user's.
#
# usage: test_mate_screensaver.sh BUILD_DIR ROOT_CAPTURE CAPTURE_PREFIX
# Exit 77 (skipped) when the daemon, D-Bus, GSettings, Xvfb or XScreenSaver's folder of display
# modes is missing, or when no mount namespace can be made here.
set -euo pipefail
# The session part runs from a copy in the scratch folder (the daemon's user may not reach the
# project, in root's home for one), and needs nothing of the scripts.
[ "${1:-}" = --in-session ] || source "$(dirname "$0")/../../scripts/common.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

modes=/usr/libexec/xscreensaver

# The processes whose program is the given file, one pid a line.
processes_of() {  # program
  local proc
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/exe" 2>/dev/null)" = "$1" ] && echo "${proc#/proc/}"
  done
  return 0
}

# In the daemon's D-Bus session, as the daemon's user: settings, blank, look, unblank.
in_session() {  # work folder
  local work=$1 hack=$1/root/usr/libexec/xscreensaver/vadrel out=$1/out daemon pid
  export XDG_DATA_DIRS="$work/root/usr/share:/usr/share" PATH="$work/root/usr/bin:/usr/bin:/bin"
  gsettings set org.mate.screensaver mode single
  gsettings set org.mate.screensaver themes "['screensavers-vadrel']"
  gsettings set org.mate.screensaver lock-enabled false
  gsettings set org.mate.screensaver idle-activation-enabled false
  mate-screensaver --no-daemon --debug >"$out/daemon.log" 2>&1 &
  daemon=$!
  echo $daemon >"$out/daemon.pid"
  for _ in $(seq 50); do
    mate-screensaver-command --query >/dev/null 2>&1 && break
    sleep 0.2
  done
  mate-screensaver-command --activate >/dev/null || fail "the daemon did not take --activate"

  "$work/root_capture" "$out/capture" 20 || fail "the root window does not show the scene"
  pid=$(processes_of "$hack" | head -n 1)
  [ -n "$pid" ] || fail "the daemon runs no vadrel"
  [ "$(tr '\0' ' ' <"/proc/$pid/cmdline")" = "vadrel -root " ] ||
    fail "the daemon runs '$(tr '\0' ' ' <"/proc/$pid/cmdline")', not the entry's 'vadrel -root'"

  mate-screensaver-command --deactivate >/dev/null
  for _ in $(seq 50); do
    if [ -z "$(processes_of "$hack")" ]; then
      kill "$daemon"
      wait "$daemon" || true
      return 0
    fi
    sleep 0.1
  done
  fail "vadrel still runs 5 s after --deactivate: $(processes_of "$hack" | tr '\n' ' ')"
}

if [ "${1:-}" = --in-session ]; then
  in_session "$2"
  exit 0
fi

build=$1 root_capture=$2 capture_prefix=$3
for tool in mate-screensaver mate-screensaver-command dbus-run-session gsettings unshare setpriv \
  Xvfb desktop-file-validate; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -d "$modes" ] || skip "$modes (XScreenSaver's display modes) is missing"
if [ "$(id -u)" -eq 0 ]; then
  namespace=(unshare --mount)
else
  namespace=(unshare --user --map-root-user --mount)
fi
"${namespace[@]}" true 2>/dev/null || skip "no mount namespace can be made here (${namespace[*]})"

work=$(mktemp -d)
xvfb_pid=''
hack="$work/root/usr/libexec/xscreensaver/vadrel"
cleanup() {
  # shellcheck disable=SC2046  # one word per process
  vadrel_stop_processes $(cat "$work/out/daemon.pid" 2>/dev/null) $(processes_of "$hack") $xvfb_pid
  rm -rf "$work"
}
trap cleanup EXIT
vadrel_install_staged "$build" "$work"
entry="$work/root/usr/share/applications/screensavers/vadrel.desktop"
desktop-file-validate "$entry" >"$work/validate.log" 2>&1 || true
if grep -E "(error|warning):" "$work/validate.log"; then
  fail "desktop-file-validate does not accept the entry"
fi
install -m 755 "$root_capture" "$work/root_capture"
install -m 755 "$0" "$work/session.sh"
mkdir "$work/out" "$work/home"
[ "$(id -u)" -eq 0 ] && chown 65534:65534 "$work/out" "$work/home"

vadrel_start_xvfb "$work/xvfb.log" -ac -screen 0 480x300x24 || fail "Xvfb did not start"
xvfb_pid=$VADREL_XVFB_PID

# NO_AT_BRIDGE: no accessibility bus, which the daemon's toolkit would otherwise start.
session=(env -i HOME="$work/home" DISPLAY="$VADREL_XVFB_DISPLAY" PATH=/usr/bin:/bin
  ${VADREL_TEST_RUN:+VADREL_TEST_RUN=$VADREL_TEST_RUN}
  XDG_CURRENT_DESKTOP=MATE NO_AT_BRIDGE=1 dbus-run-session -- bash "$work/session.sh" --in-session "$work")
[ "$(id -u)" -eq 0 ] && session=(setpriv --reuid=65534 --regid=65534 --clear-groups "${session[@]}")
echo "capture: $capture_prefix-1.png and $capture_prefix-2.png"
status=0
"${namespace[@]}" bash -c 'mount -t tmpfs -o mode=755 vadrel-test "$1" &&
  ln -s "$2" "$1/vadrel" && shift 2 && exec "$@"' namespace "$modes" "$hack" "${session[@]}" ||
  status=$?
for n in 1 2; do
  [ -f "$work/out/capture-$n.png" ] && cp "$work/out/capture-$n.png" "$capture_prefix-$n.png"
done
if [ $status -ne 0 ]; then
  echo "the daemon's log on the theme and its program:" >&2
  grep -E "theme|command" "$work/out/daemon.log" >&2 || tail -n 20 "$work/out/daemon.log" >&2
  exit $status
fi
echo "MATE's screen saver ran vadrel -root, showed the scene and ended it"
