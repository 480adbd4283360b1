#!/bin/sh
# Builds a document from text with udftool, dumps it, builds the dump again and checks
# that both documents are the same bytes and both dumps the same text.
# usage: check-udftool.sh <udftool> <work folder> <sample text>
set -eu
UDFTOOL=$1
WORK=$2
SAMPLE=$3
mkdir -p "$WORK"
cp "$SAMPLE" "$WORK/source.txt"
"$UDFTOOL" build "$WORK/source.txt" "$WORK/a.udf"
"$UDFTOOL" dump "$WORK/a.udf" "$WORK/a.txt"
"$UDFTOOL" build "$WORK/a.txt" "$WORK/b.udf"
"$UDFTOOL" dump "$WORK/b.udf" "$WORK/b.txt"
cmp "$WORK/a.udf" "$WORK/b.udf"
cmp "$WORK/a.txt" "$WORK/b.txt"
"$UDFTOOL" check "$WORK/a.udf"
# A file that is not a document is refused with a message, not a crash.
printf 'not a document at all' > "$WORK/bad.udf"
if "$UDFTOOL" dump "$WORK/bad.udf" > /dev/null 2>&1; then
  echo "FAILED: a file without the magic was accepted"
  exit 1
fi
echo "udftool round trip: OK"
