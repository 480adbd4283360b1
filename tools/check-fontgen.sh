#!/bin/sh
# Renders the same fonts twice and checks that the files are the same bytes, that the atlas
# is a TGA of power-of-two sides, and that bad arguments and a missing face are refused.
# usage: check-fontgen.sh <fontgen> <imagetool> <work folder> <face.ttf>
set -eu
FONTGEN=$1
IMAGETOOL=$2
WORK=$3
FACE=$4
[ -f "$FACE" ] || { echo "no face $FACE"; exit 77; }
rm -rf "$WORK"
mkdir -p "$WORK/a" "$WORK/b"
"$FONTGEN" "$FACE" "$WORK/a" demo 32 126 12 18
"$FONTGEN" "$FACE" "$WORK/b" demo 32 126 12 18
for f in demo.fs demo12.css demo12.tga demo18.css demo18.tga; do
  cmp "$WORK/a/$f" "$WORK/b/$f"
done
"$FONTGEN" "$FACE" "$WORK/a" single 0 255 20 --font-name Single
for f in single.fs single.css single.tga; do [ -s "$WORK/a/$f" ]; done
grep -q 'Name = "Single";' "$WORK/a/single.fs"
grep -q '^CharsPerLine = [1-9]' "$WORK/a/single.css"
grep -q '^Rects\["a"\] = array(' "$WORK/a/single.css"
"$IMAGETOOL" info "$WORK/a/single.tga" | grep -Eq '^TGA (16|32|64|128|256|512|1024|2048)x(16|32|64|128|256|512|1024|2048) '
refuse() {
  if "$FONTGEN" "$@" > /dev/null 2>&1; then echo "accepted: $*"; exit 1; fi
}
refuse "$FACE" "$WORK/a" bad 10 5 12            # last before first
refuse "$FACE" "$WORK/a" bad 0 300 12           # past one byte
refuse "$FACE" "$WORK/a" bad 0 255 0            # no such size
refuse "$FACE" "$WORK/a" bad 0 255              # no size at all
refuse "$WORK/no-such-face.ttf" "$WORK/a" bad 0 255 12
refuse "$FACE" "$WORK/no/such/folder" bad 32 126 12
echo "fontgen: ok"
