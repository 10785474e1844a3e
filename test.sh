#!/usr/bin/env bash
# Builds everything and runs every test: unit and GL tests (SDL's offscreen driver) and the
# end-to-end tests of the real program, each on a server or desktop of its own. DISPLAY names a
# private Xvfb that this script starts and stops, so that nothing of the suite can reach the
# display of whoever runs it.
# With --sanitize first, the same suite runs on a build of its own (build-sanitize/, or
# $VADREL_SANITIZE_BUILD) with
# AddressSanitizer, LeakSanitizer and UBSan, the program of the end-to-end tests included; any
# report fails the test it happened in. Other arguments go to ctest. With VADREL_WERROR=1 in the
# environment (as CI runs it) every compiler warning fails the build; without, warnings are shown.
set -euo pipefail
Sanitize=0
if [ "${1:-}" = --sanitize ]; then
  Sanitize=1
  shift
  export VADREL_BUILD="${VADREL_SANITIZE_BUILD:-$(cd "$(dirname "$0")" && pwd)/build-sanitize}"
  export VADREL_BUILD_TYPE=RelWithDebInfo
fi
source "$(dirname "$0")/scripts/common.sh"

packages=("${VADREL_BUILD_PACKAGES[@]}" "${VADREL_TEST_PACKAGES[@]}")
[ $Sanitize = 1 ] && packages+=("${VADREL_SANITIZE_PACKAGES[@]}")
vadrel_install_packages "${packages[@]}"
# Explicitly on: run.sh may have configured the same folder without them.
if [ $Sanitize = 1 ]; then
  # The benchmarks measure speed, which a sanitized build does not tell.
  vadrel_configure -DVADREL_TESTS=ON -DVADREL_BENCH=OFF -DVADREL_SANITIZE=ON
  # Leaks are ours to fix, the libraries' (Mesa, LLVM, SDL, X) are not: they are suppressed by
  # library. Every report ends the process with a failure.
  # The preloaded dlclose keeps the GL drivers loaded until the end, so that their leaks can be
  # told apart (the sanitizer runtime then no longer comes first, which is harmless here).
  # intercept_tls_get_addr=0: this compiler's runtime, following the libraries' dynamic
  # thread-local blocks through __tls_get_addr, recorded a block with a bogus range (0x90d to
  # 0x1800001a0f) once EGL had loaded its X11 platform, and the leak checker's tracer crashed
  # scanning it at exit. Without that bookkeeping the blocks are still found, through each thread's
  # block table, which the static thread-local area points to; leaks are reported as before.
  export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:verify_asan_link_order=0:intercept_tls_get_addr=0"
  export LSAN_OPTIONS="suppressions=$VADREL_ROOT/tests/sanitize.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
else
  vadrel_configure -DVADREL_TESTS=ON -DVADREL_BENCH=ON
fi
vadrel_compile

# Without it a test that forgot to name its own server would draw on the user's display: stop
# here and say why.
if ! vadrel_start_xvfb "$VADREL_BUILD/xvfb.log" -screen 0 1280x800x24; then
  echo "test.sh: the suite does not run without it." >&2
  exit 1
fi
trap 'kill "$VADREL_XVFB_PID" 2>/dev/null; wait "$VADREL_XVFB_PID" 2>/dev/null || true' EXIT

export DISPLAY="$VADREL_XVFB_DISPLAY"
# The tests never reach the session bus of whoever runs them, and nothing they start launches one
# (libdbus would, with dbus-launch, where no address is given): tests that need a bus start their
# own.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vadrel-tests-bus
# Everything the suite starts inherits this mark, whatever it was started through, so that what
# outlives the suite is found below.
export VADREL_TEST_RUN="test.sh-$$-$RANDOM"
mapfile -t mounts_before < <(findmnt -rn -o TARGET)
preload=()
[ $Sanitize = 1 ] && preload=(env "LD_PRELOAD=$VADREL_BUILD/tests/libvadrel_keep_libraries_loaded.so")
status=0
"${preload[@]}" ctest --test-dir "$VADREL_BUILD" --output-on-failure -j "$(nproc)" "$@" || status=$?
vadrel_end_leftovers "$VADREL_TEST_RUN" "${mounts_before[@]}" || status=1
exit $status
