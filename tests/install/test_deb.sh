#!/usr/bin/env bash
# The Debian package cpack builds: the install tree under /usr, in its Depends Debian's names for
# the libraries the program links and for those it loads at run time (EGL and Mesa's drivers), a
# changelog whose latest entry is this version's and names the maintainer, and Debian's package
# checker (lintian) finding no error and no warning; where the build has Debian's hardening
# flags, it finds the program hardened too.
#
# usage: test_deb.sh BUILD_DIR   (with VADREL_DEB_OUT=DIR the package is copied into DIR)
set -euo pipefail
build=$1

fail() { echo "FAIL: $*" >&2; exit 1; }
command -v lintian >/dev/null || fail "lintian is not installed (scripts/common.sh lists it)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/vadrel_*_"$(dpkg --print-architecture)".deb)
[ -f "${debs[0]}" ] || fail "no vadrel_*_$(dpkg --print-architecture).deb: $(ls "$work")"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expected=(/usr/libexec/xscreensaver/vadrel /usr/bin/vadrel /usr/libexec/vadrel/vadrel-idle
  /usr/lib/systemd/user/vadrel-idle.service
  /usr/share/xscreensaver/config/vadrel.xml /usr/share/man/man6/vadrel.6.gz
  /usr/share/applications/screensavers/vadrel.desktop
  /usr/share/doc/vadrel/copyright /usr/share/doc/vadrel/changelog.gz)
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

dpkg-deb -x "$deb" "$work/root"
zcat "$work/root/usr/share/doc/vadrel/changelog.gz" >"$work/changelog"
for field in Version Maintainer; do
  latest=$(dpkg-parsechangelog -l "$work/changelog" -S "$field")
  packaged=$(dpkg-deb -f "$deb" "$field")
  [ "$latest" = "$packaged" ] || fail "the changelog's latest $field is '$latest', not '$packaged'"
done

# Info tags are shown, not failed on, but for the hardening ones where the build is meant to have
# Debian's flags (the sanitized and fuzzing builds are not, nor one configured without
# dpkg-buildflags).
lintian --display-info --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.log")"
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
if [ "$(cached VADREL_HARDENING)" = ON ] && [ "$(cached VADREL_SANITIZE)" != ON ] &&
  [ "$(cached VADREL_FUZZ)" != ON ] && [ -x "$(cached VADREL_DPKG_BUILDFLAGS)" ]; then
  ! grep -E ": hardening-" "$work/lintian.log" || fail "the program lacks Debian's hardening"
fi
grep -E "^[EWI]: " "$work/lintian.log" || true
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
# The package, checked, for whoever asked for it (scripts/fresh-root.sh installs it elsewhere).
if [ -n "${VADREL_DEB_OUT:-}" ]; then cp "$deb" "$VADREL_DEB_OUT/"; fi
