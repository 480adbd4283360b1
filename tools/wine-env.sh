# The Wine set-up of the scripts that run the 64-bit Windows build (tools/run-wine-tests.sh,
# tools/check-product.sh), sourced with ROOT set to the checkout: a prefix of the build's
# own, made on first use, and a home folder of its own whose ALSA default device is a
# "file" device over "null" that writes what is played to a file (16-bit stereo at 44.1
# kHz, faster than real time), so that what the program plays can be read back and nothing
# of the machine's own sound set-up is touched or used.
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
