#!/bin/sh
# Runs the portable tests of the 64-bit Windows build and the shader checker over the
# media's effect sources under Wine, headless: a fresh Wine prefix in the build folder, and
# a virtual X server (Mesa's software GL) for what needs a display. With WINDOWS_BUILD set
# to windows-x86 it runs the portable tests of the product's own build instead, under
# 32-bit Wine in a 32-bit prefix (tools/wine-env.sh); the shaders are the same there.
#   usage: [WINDOWS_BUILD=windows-x86] tools/run-wine-tests.sh [gtest arguments...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != "--inside-display" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inside-display "$@"
fi
[ "${1:-}" = "--inside-display" ] && shift
. "$ROOT/tools/wine-env.sh"
. "$ROOT/tools/time-limit.sh"
cd "$BUILD"
status=0
# Each program under a time limit of its own (a few times what it takes on a loaded machine),
# so that one that hangs is named.
within 900 "corvane_tests.exe of $WINDOWS_BUILD" "$WINE" ./corvane_tests.exe --gtest_brief=1 "$@" || status=$?
# Every shader of the media's effect sources through the system's HLSL compiler.
if [ "$WINDOWS_BUILD" != windows-x86 ]; then
  within 300 "shadercheck.exe" "$WINE" ./tools/shadercheck.exe "Z:$ROOT/Media/Shaders" || status=$?
fi
# Stop the Wine server while the display is still there.
[ -x "$WINESERVER" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
if [ "$status" -ne 0 ]; then
  echo "the Windows tests of $WINDOWS_BUILD failed under Wine (exit status $status)"
  exit "$status"
fi
