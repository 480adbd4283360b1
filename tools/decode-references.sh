#!/bin/sh
# What the reference decoder (vorbis-tools' oggdec) makes of each audio test stream, for
# the tests to compare with: ref/<name>.raw, the samples in the decoder's own order of
# channels, and ref/<name>.wav, whose header gives their rate and count (its samples are
# not used: oggdec writes 5.1 into a WAV in another order than the file's, FL FR C RR LFE
# RL), its exit code in ref/<name>.status and what it said in ref/<name>.log. oggdec gives up on a chain whose links differ in rate or channels
# (a WAV of no frames), so with oggmux each link of a chain is also decoded on its own, as
# ref/<name>.<link>.wav. A cut stream is decoded as far as it goes: whatever oggdec answers
# is recorded, never a failure of the build, as long as it wrote its WAV.
# usage: decode-references.sh <oggdec> <oggmux or ""> <fixture folder> <name>...
set -eu
OGGDEC=$1
OGGMUX=$2
cd "$3"
shift 3
mkdir -p ref links
decode() {
    status=0
    "$OGGDEC" --quiet -o "ref/$2.wav" "$1" 2> "ref/$2.log" || status=$?
    "$OGGDEC" --quiet --raw -o "ref/$2.raw" "$1" 2>> "ref/$2.log" || status=$?
    echo "$status" > "ref/$2.status"
    test -f "ref/$2.wav" && test -f "ref/$2.raw"
}
for name in "$@"; do
    decode "$name.ogg" "$name"
    case $name in chained*)
        if [ -n "$OGGMUX" ]; then
            rm -f "links/$name".*.ogg
            "$OGGMUX" split-links "$name.ogg" "links/$name"
            for link in "links/$name".*.ogg; do
                base=${link#links/}
                decode "$link" "${base%.ogg}"
            done
        fi
    esac
done
