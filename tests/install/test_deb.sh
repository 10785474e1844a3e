#!/usr/bin/env bash
# The Debian package cpack builds: the install tree under /usr, and in its Depends Debian's names
# for the libraries the program links and for those it loads at run time (EGL and Mesa's drivers).
#
# usage: test_deb.sh BUILD_DIR
set -euo pipefail
build=$1

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/vadrel_*_"$(dpkg --print-architecture)".deb)
[ -f "${debs[0]}" ] || fail "no vadrel_*_$(dpkg --print-architecture).deb: $(ls "$work")"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expected=(/usr/libexec/xscreensaver/vadrel /usr/bin/vadrel
  /usr/share/xscreensaver/config/vadrel.xml /usr/share/man/man6/vadrel.6
  /usr/share/applications/screensavers/vadrel.desktop)
for name in "$build"/data/*; do expected+=("/usr/share/vadrel/${name##*/}"); done
for file in "${expected[@]}"; do
  grep -qxF "$file" "$work/files" || fail "the package lacks $file"
done

depends=$(dpkg-deb -f "$deb" Depends)
for package in libsdl2-2.0-0 libgl1 libglu1-mesa libjpeg62-turbo libpng16-16 libx11-6 \
  libegl1 libegl-mesa0 libgl1-mesa-dri; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "xscreensaver" ] || fail "xscreensaver is not recommended"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
