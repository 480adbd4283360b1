# The Wine set-up of the scripts that run a Windows build (tools/run-wine-tests.sh,
# tools/check-product.sh), sourced with ROOT set to the checkout and WINDOWS_BUILD naming
# the build: windows-x64 (the default) under 64-bit Wine, or windows-x86, the product,
# under 32-bit Wine in a 32-bit prefix, as a 32-bit Windows runs it. A prefix of the build's
# own, made on first use, and a home folder of its own whose ALSA default device is a
# "file" device over "null" that writes what is played to a file (16-bit stereo at 44.1
# kHz, faster than real time), so that what the program plays can be read back and nothing
# of the machine's own sound set-up is touched or used.
WINDOWS_BUILD=${WINDOWS_BUILD:-windows-x64}
BUILD=$ROOT/build/$WINDOWS_BUILD
if [ "$WINDOWS_BUILD" = windows-x86 ]; then
  WINE=/usr/lib/wine/wine
  [ -x "$WINE" ] || WINE=$(command -v wine)
  export WINEARCH=win32
else
  WINE=/usr/lib/wine/wine64
  [ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
fi
WINESERVER=$(dirname "$WINE")/wineserver
export WINELOADER="$WINE"
export WINEPREFIX="$BUILD/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1 || true
fi
AUDIO_HOME=$BUILD/wine-audio-home
mkdir -p "$AUDIO_HOME"
cat > "$AUDIO_HOME/.asoundrc" <<ASOUND
pcm.!default {
    type file
    slave.pcm "null"
    file "$AUDIO_HOME/capture.raw"
    format "raw"
}
ASOUND
export HOME="$AUDIO_HOME"
export CORVANE_AUDIO_CAPTURE="Z:$AUDIO_HOME/capture.raw"
