#!/usr/bin/env bash
# Proves the README's set-up on a machine that has nothing installed: makes a minimal Debian 12
# root with debootstrap from this machine's configured archive, copies a clean clone of the
# committed project (and ../shared beside it) in, and runs ./test.sh there as an ordinary user
# whom sudo lets install, so that every package comes in through sudo as the README says. Then,
# in the same clone, only the tests that run otherwise as root (ctest label as-root: they run the
# desktops and daemons that refuse root as nobody). The .deb that the user's suite built and
# checked is then installed into a second untouched root without recommends, where the modes that
# need no display must run. Every mount and every process in the roots is undone whatever
# happens, an interruption included. Ends with one line: how many test runs passed and failed.
#
# usage: scripts/fresh-root.sh [--sanitize] [--keep]
#   --sanitize  also runs ./test.sh --sanitize as the user (its packages come in through sudo
#               too), and its fast-path test twenty times in a row
#   --keep      leaves the roots and logs in place (their folder is printed)
# Needs root (debootstrap, chroot, mounts). $VADREL_FRESH_MIRROR overrides the archive.
# Downloaded packages are kept in /var/cache/vadrel-fresh-root between runs: they change nothing
# that is installed, only how long the downloads take.
set -uo pipefail
source "$(dirname "$0")/common.sh"

sanitize=0 keep=0
for arg in "$@"; do
  case $arg in
    --sanitize) sanitize=1 ;;
    --keep) keep=1 ;;
    *) echo "usage: $0 [--sanitize] [--keep]" >&2; exit 2 ;;
  esac
done
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-root.sh: needs root (debootstrap, chroot and mounts)" >&2
  exit 1
fi
vadrel_install_packages debootstrap git || exit 1

suite=bookworm
# This machine's own archive for the suite, as apt knows it (sources.list or deb822 sources).
mirror=${VADREL_FRESH_MIRROR:-$(apt-get indextargets --format '$(REPO_URI) $(CODENAME) $(COMPONENT)' |
  awk -v s=$suite '$2 == s && $3 == "main" { print $1; exit }')}
mirror=${mirror:-http://deb.debian.org/debian/}

work=$(mktemp -d /var/tmp/vadrel-fresh-root.XXXXXX)
cache=/var/cache/vadrel-fresh-root
mkdir -p "$cache/debootstrap" "$cache/apt"
base=$work/base       # debootstrap's result, never used directly
tested=$work/tested   # where the suites run
plain=$work/plain     # where only the package is installed
roots=("$tested" "$plain")

# Ends every process whose root is inside $work, then unmounts everything under it, deepest first.
cleanup() {
  local pid root pass
  for pass in TERM KILL; do
    for pid in /proc/[0-9]*; do
      root=$(readlink "$pid/root" 2>/dev/null) || continue
      [[ $root == "$work"/* ]] && kill -s $pass "${pid#/proc/}" 2>/dev/null
    done
    [ $pass = TERM ] && sleep 1
  done
  findmnt -rn -o TARGET | grep -F "$work/" | sort -r | while read -r target; do
    umount "$target" 2>/dev/null || umount -l "$target"
  done
  if [ $keep = 1 ]; then
    echo "fresh-root.sh: kept $work"
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "fresh-root.sh: $*"; }
failures=()
fail() { log "FAILED: $*"; failures+=("$1"); }

# Mounts what the suites need: the root itself (a machine's / is a mount point, and a test that
# makes a mount namespace of its own needs one; private, so nothing below it reaches the host),
# processes, devices (the pseudo-terminals and shared memory with them), and the package cache.
# The recursive mounts are made slaves so unmounting them here never reaches the host's.
mount_root() {  # root
  local r=$1
  mount --bind "$r" "$r" && mount --make-private "$r" &&
    mount -t proc proc "$r/proc" &&
    mount --rbind /sys "$r/sys" && mount --make-rslave "$r/sys" &&
    mount --rbind /dev "$r/dev" && mount --make-rslave "$r/dev" &&
    mkdir -p "$r/var/cache/apt/archives" &&
    mount --bind "$cache/apt" "$r/var/cache/apt/archives"
}

home_of() { if [ "$1" = root ]; then echo /root; else echo "/home/$1"; fi; }

# Runs a command in a root with a clean environment, as root or as USER. It runs in the
# background and is waited for, so that a stop signal is handled at once (the trap ends everything
# in the roots) rather than after the command, which may take minutes.
in_root() {  # root, user, command (a bash script)
  chroot "$1" /usr/bin/env -i HOME="$(home_of "$2")" USER="$2" LOGNAME="$2" LANG=C.UTF-8 \
    ${VADREL_WERROR:+VADREL_WERROR=$VADREL_WERROR} TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    setpriv --reuid="$2" --regid="$2" --init-groups -- bash -c "cd ~ && $3" &
  wait $!
}

# A clean clone of the committed project, and the shared folder beside it, in a user's home.
copy_project() {  # root, user
  local r=$1 user=$2 home
  home=$(home_of "$user")
  mkdir -p "$r$home/vadrel"
  git clone -q "$VADREL_ROOT" "$r$home/vadrel/main" &&
    { [ ! -d "$VADREL_ROOT/../shared" ] || cp -a "$VADREL_ROOT/../shared" "$r$home/vadrel/shared"; } &&
    chroot "$r" chown -R "$user:$user" "$home/vadrel"
}

# Runs one of the README's commands in a root and keeps its log. A failure shows each failed
# check and sanitizer report with the lines after it, then the log's end: the log itself goes with
# the root (unless --keep), and a check that fails once in many runs must be readable afterwards.
passed=0 failed=0 skipped=0
run_step() {  # name, root, user, command
  local name=$1 start=$SECONDS logfile=$work/$1.log
  log "$name: running ($4 as $3)"
  if in_root "$2" "$3" "$4" >"$logfile" 2>&1; then
    log "$name: passed in $((SECONDS - start)) s"
  else
    fail "$name" "exit $? after $((SECONDS - start)) s; its failed checks and the end of its log:"
    grep -E -A 8 ': Failure$|ERROR: [A-Za-z]+Sanitizer|runtime error:' "$logfile" | head -n 200
    tail -n 40 "$logfile"
  fi
  grep -E "^Installing missing|tests passed|tests failed|\(Skipped\)|\(Failed\)|^test.sh: " \
    "$logfile" | sed 's/^/    /'
  local p f s
  p=$(grep -cE 'Test +#[0-9]+: .* Passed' "$logfile")
  s=$(grep -cE 'Test +#[0-9]+: .*\*\*\*Skipped' "$logfile")
  f=$(($(grep -cE 'Test +#[0-9]+: .*\*\*\*' "$logfile") - s))
  echo "    test runs: $p passed, $f failed, $s skipped"
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
}

log "making a minimal $suite root from $mirror in $work"
start=$SECONDS
if ! debootstrap --variant=minbase --cache-dir="$cache/debootstrap" $suite "$base" "$mirror" \
  >"$work/debootstrap.log" 2>&1; then
  tail -n 20 "$work/debootstrap.log"
  fail debootstrap "see above"
  exit 1
fi
# The same archives and archive settings as this machine (updates and security included), and its
# name resolution.
cp /etc/resolv.conf "$base/etc/resolv.conf"
if [ -n "$(apt-get indextargets --format '$(REPO_URI)' | head -n 1)" ] && [ -z "${VADREL_FRESH_MIRROR:-}" ]; then
  rm -f "$base/etc/apt/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d; do
    [ -e "$f" ] && cp -a "$f" "$base/etc/apt/"
  done
fi
apt-config dump | grep -E '^Acquire::(Check-Valid-Until|Check-Date|https?::Proxy|Retries) ' \
  >"$base/etc/apt/apt.conf.d/99vadrel-fresh-root"
for r in "${roots[@]}"; do cp -a "$base" "$r" && mount_root "$r" || { fail mounts "$r"; exit 1; }; done
log "roots ready in $((SECONDS - start)) s"

# An ordinary user whom sudo lets install: the machine the README speaks of.
in_root "$tested" root "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sudo >/dev/null 2>&1 &&
  useradd -m -s /bin/bash tester && echo 'tester ALL=(ALL) NOPASSWD: ALL' >/etc/sudoers.d/tester" ||
  fail user-set-up "cannot make the user"
copy_project "$tested" tester
project=/home/tester/vadrel/main
# Its suite keeps the package it built and checked, for the untouched root below.
run_step test-as-user "$tested" tester "cd $project && mkdir -p ../deb && VADREL_DEB_OUT=\$HOME/vadrel/deb ./test.sh"
grep -q '^Installing missing Debian packages (sudo apt-get' "$work/test-as-user.log" ||
  fail test-as-user "its packages did not come in through sudo"
if [ $sanitize = 1 ]; then
  run_step sanitized-as-user "$tested" tester "cd $project && ./test.sh --sanitize"
  # Once seen failing at exit in most runs on such a root (the leak checker's report unmatched by
  # the suppressions, or its tracer crashing): twenty runs in a row must pass.
  run_step sanitized-fast-paths-20 "$tested" tester "cd $project && ./test.sh --sanitize \
    -R FastPaths.ModelsDrawnFromArraysGiveTheSamePixelsAndStateAsImmediateMode --repeat until-fail:20"
fi
# As root only what runs otherwise as root, in the same clone: nothing is left to install or build.
run_step as-root "$tested" root "cd $project && ./test.sh -L as-root"

# The package alone on an untouched root, without recommends: its headless modes must run.
start=$SECONDS
if cp "$tested"/home/tester/vadrel/deb/vadrel_*.deb "$plain/root/" 2>/dev/null; then
  deb=$(cd "$plain/root" && ls vadrel_*.deb)
  if in_root "$plain" root "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends ./$deb >/dev/null &&
      vadrel --help >help.txt && grep -q -- --screenshot help.txt &&
      vadrel --screenshot fresh.png --frames 5 --size 320x200 &&
      [ -s fresh.png ] && [ \"\$(head -c 8 fresh.png | od -An -tx1 | tr -d ' ')\" = 89504e470d0a1a0a ]" \
    >"$work/package.log" 2>&1; then
    log "package: $deb installed without recommends; --help and --screenshot work ($((SECONDS - start)) s)"
  else
    fail package "$deb on an untouched root; the end of its log:"
    tail -n 20 "$work/package.log"
  fi
else
  fail package "the user's suite left no package (its install_deb test failed or did not run)"
fi

status=0
if [ ${#failures[@]} -gt 0 ]; then
  log "failed: ${failures[*]} (after $SECONDS s)"
  status=1
else
  log "passed in $SECONDS s"
fi
echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
