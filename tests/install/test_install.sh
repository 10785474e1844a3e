#!/usr/bin/env bash
# `cmake --install` with prefix /usr into a scratch DESTDIR, as a package build does: every file in
# the place XScreenSaver, man and the desktop look for it, the documents well-formed and in step
# with the program, and the installed program running on its installed data alone.
#
# usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$1

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$work/root/usr"
hack="$usr/libexec/xscreensaver/vadrel"
xml="$usr/share/xscreensaver/config/vadrel.xml"
man="$usr/share/man/man6/vadrel.6.gz"
desktop="$usr/share/applications/screensavers/vadrel.desktop"

unit="$usr/lib/systemd/user/vadrel-idle.service"
[ -x "$hack" ] || fail "the program is not in libexec/xscreensaver"
for file in "$xml" "$man" "$desktop" "$unit"; do [ -f "$file" ] || fail "$file is missing"; done
# `vadrel --idle` becomes the lean watcher, which it finds from its own real folder.
[ -x "$(dirname "$(readlink -f "$usr/bin/vadrel")")/../vadrel/vadrel-idle" ] ||
  fail "the idle watcher is not in libexec/vadrel beside the program's folder"
[ "$(readlink -f "$usr/bin/vadrel")" = "$hack" ] || fail "bin/vadrel does not lead to the program"
# Every data file the build generates, byte for byte, and nothing more.
diff -r "$build/data" "$usr/share/vadrel" || fail "the installed data differs from the build's"

xmllint --noout "$xml"
desktop-file-validate "$desktop"
# The user unit runs the installed program's watcher, and systemd finds nothing to say about it
# (checked on a copy that names the staged program, since /usr/bin/vadrel need not exist here).
grep -qx 'ExecStart=/usr/bin/vadrel --idle' "$unit" || fail "the unit runs $(grep ExecStart "$unit")"
mkdir -m 700 "$work/runtime"
sed "s|^ExecStart=/usr/bin/vadrel |ExecStart=$usr/bin/vadrel |" "$unit" >"$work/vadrel-idle.service"
XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user --man=no verify "$work/vadrel-idle.service" \
  >"$work/verify.log" 2>&1 || fail "systemd-analyze: $(cat "$work/verify.log")"
[ ! -s "$work/verify.log" ] || fail "systemd-analyze: $(cat "$work/verify.log")"
# The manual renders without a warning and names every option of --help.
manual=$(MANWIDTH=100 man --warnings -l "$man" 2>"$work/man.err")
[ ! -s "$work/man.err" ] || fail "the manual has warnings: $(cat "$work/man.err")"
for option in $("$hack" --help | sed -n 's/^ *\(--*[a-z-]*\).*/\1/p'); do
  grep -qe "$option" <<<"$manual" || fail "the manual does not describe $option"
done

# The installed program, from elsewhere, with nothing in its environment to point at the data.
# A bare environment, but for what a sanitized build's suite sets (its report options, and the
# preload that keeps the GL drivers loaded so their leaks are told apart and suppressed).
sanitizer_env=()
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS LD_PRELOAD; do
  [ -n "${!name:-}" ] && sanitizer_env+=("$name=${!name}")
done
run() { (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work" "${sanitizer_env[@]}" "$hack" "$@"); }
run --screenshot "$work/out.png" --frames 3 --size 160x100 --seed 1 2>"$work/err"
[ ! -s "$work/err" ] || fail "the installed program complained: $(cat "$work/err")"
[ "$(od -An -tx1 -N24 "$work/out.png" | tr -d ' \n')" = \
  "89504e470d0a1a0a0000000d49484452000000a000000064" ] || fail "out.png is no 160x100 PNG"
# It read the installed data, not the build's: a file missing there is reported there.
mv "$usr/share/vadrel/Vadrel200.bmp" "$work/"
run --screenshot "$work/out.png" --frames 1 --size 16x10 2>"$work/err"
grep -qF "$usr/libexec/xscreensaver/../../share/vadrel/Vadrel200.bmp" "$work/err" ||
  fail "the installed program did not read the installed data: $(cat "$work/err")"
mv "$work/Vadrel200.bmp" "$usr/share/vadrel/"

# Installed, with no display at all: one line naming both kinds of display, and nothing of the
# build folder's ./run.sh; -root without an X display names DISPLAY.
status=0
run 2>"$work/err" || status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q 'DISPLAY (X11)' "$work/err" &&
  grep -q 'WAYLAND_DISPLAY (Wayland)' "$work/err" && ! grep -q 'run.sh' "$work/err" ||
  fail "no display, exit $status: $(cat "$work/err")"
status=0
(cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work" WAYLAND_DISPLAY=wayland-9 \
  "${sanitizer_env[@]}" "$hack" -root) 2>"$work/err" || status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q 'DISPLAY names no X display' \
  "$work/err" || fail "-root on Wayland, exit $status: $(cat "$work/err")"

# The daemon starts it with -root; every setting the settings dialog can add, at both ends of its
# range, is accepted (tried on a one-frame picture, which needs no display).
[ "$(xmllint --xpath 'string(//command/@arg)' "$xml")" = "-root" ] || fail "vadrel.xml: not -root"
for end in low high; do
  line=$(xmllint --xpath 'string(//boolean/@arg-set)' "$xml")
  for id in $(xmllint --xpath '//number/@id' "$xml" | sed 's/ *id="\([^"]*\)"/\1 /g'); do
    arg=$(xmllint --xpath "string(//number[@id='$id']/@arg)" "$xml")
    line+=" ${arg/\%/$(xmllint --xpath "string(//number[@id='$id']/@$end)" "$xml")}"
  done
  # shellcheck disable=SC2086
  run --screenshot "$work/out.png" --frames 1 --size 16x10 $line ||
    fail "the program rejects the settings dialog's $end end: $line"
done
echo "install tree complete"
