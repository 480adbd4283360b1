#!/bin/sh
# Runs the portable tests of the 64-bit Windows build and the shader checker over the
# media's effect sources under Wine, headless: a fresh Wine prefix in the build folder, and
# a virtual X server (Mesa's software GL) for what needs a display. 32-bit code cannot run
# on these machines, so the x86 product is built only.
#   usage: tools/run-wine-tests.sh [gtest arguments...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != "--inside-display" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inside-display "$@"
fi
[ "${1:-}" = "--inside-display" ] && shift
BUILD=$ROOT/build/windows-x64
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
WINESERVER=$(dirname "$WINE")/wineserver
export WINELOADER="$WINE"
export WINEPREFIX="$BUILD/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1 || true
fi
# A sound output the audio tests can read back: ALSA's default device, as Wine's WinMM
# finds it, becomes a "file" device over "null" that writes what is played to a file (16-bit
# stereo at 44.1 kHz, faster than real time). It is set up in a home folder of the tests'
# own, so nothing of the machine's sound set-up is touched or used.
AUDIO_HOME=$BUILD/wine-audio-home
mkdir -p "$AUDIO_HOME"
cat > "$AUDIO_HOME/.asoundrc" <<EOF
pcm.!default {
    type file
    slave.pcm "null"
    file "$AUDIO_HOME/capture.raw"
    format "raw"
}
EOF
export HOME="$AUDIO_HOME"
export CORVANE_AUDIO_CAPTURE="Z:$AUDIO_HOME/capture.raw"
cd "$BUILD"
status=0
"$WINE" ./corvane_tests.exe --gtest_brief=1 "$@" || status=$?
# Every shader of the media's effect sources through the system's HLSL compiler.
"$WINE" ./tools/shadercheck.exe "Z:$ROOT/Media/Shaders" || status=$?
# Stop the Wine server while the display is still there.
[ -x "$WINESERVER" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
if [ "$status" -ne 0 ]; then
  echo "the Windows tests failed under Wine (exit status $status)"
  exit "$status"
fi
