#!/usr/bin/env bash
# The installed program under Debian's real XScreenSaver daemon: on a private Xvfb, the daemon
# (as nobody when this is root: it refuses to start display modes as root; else as this user) is
# told to blank the screen, the root window then shows our scene, and unblanking ends our process.
#
# usage: test_xscreensaver.sh BUILD_DIR ROOT_CAPTURE CAPTURE_PREFIX
# Exit 77 (skipped) when the daemon, setpriv or Xvfb is missing.
set -euo pipefail
build=$1 root_capture=$2 capture_prefix=$3
source "$(dirname "$0")/../../scripts/common.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in xscreensaver xscreensaver-command setpriv Xvfb; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d)
xvfb_pid='' daemon_pid=''
hack="$work/root/usr/libexec/xscreensaver/vadrel"
cleanup() {
  # shellcheck disable=SC2046  # one word per process
  vadrel_stop_processes $daemon_pid $(pgrep -f "^$hack" || true) $xvfb_pid
  rm -rf "$work"
}
trap cleanup EXIT
vadrel_install_staged "$build" "$work"
home="$work/home"
mkdir "$home"
cat >"$home/.xscreensaver" <<EOF
mode: one
selected: 0
splash: False
lock: False
fade: False
unfade: False
timeout: 0:30:00
programs: GL: $hack -root
EOF
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$home"

vadrel_start_xvfb "$work/xvfb.log" -ac -screen 0 480x300x24 || fail "Xvfb did not start"
xvfb_pid=$VADREL_XVFB_PID
export DISPLAY=$VADREL_XVFB_DISPLAY

# The suite's mark (test.sh) is kept, so that a daemon left running is found after the suite.
as_daemon_user=(env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin
  ${VADREL_TEST_RUN:+VADREL_TEST_RUN=$VADREL_TEST_RUN})
[ "$(id -u)" -eq 0 ] && as_daemon_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_daemon_user[@]}")
"${as_daemon_user[@]}" xscreensaver -no-splash >"$work/daemon.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 50); do
  "${as_daemon_user[@]}" xscreensaver-command -time >/dev/null 2>&1 && break
  sleep 0.2
done
"${as_daemon_user[@]}" xscreensaver-command -activate >/dev/null ||
  fail "the daemon did not take -activate: $(cat "$work/daemon.log")"

echo "capture: $capture_prefix-1.png and $capture_prefix-2.png"
"$root_capture" "$capture_prefix" 20 ||
  fail "the root window does not show the scene; daemon: $(cat "$work/daemon.log")"
# The daemon passes its options with two dashes.
pgrep -f "^$hack --?root" >/dev/null || fail "the daemon runs no vadrel: $(ps -o pid,user,args -e | grep -F "$hack")"

"${as_daemon_user[@]}" xscreensaver-command -deactivate >/dev/null
for _ in $(seq 50); do
  pgrep -f "^$hack" >/dev/null || exit 0
  sleep 0.1
done
fail "our process still runs 5 s after -deactivate"
