#!/bin/sh
# Writes the scene's models twice with modelgen and checks that both runs make the same
# bytes, that udftool builds every text and reads each document back to the same bytes,
# and that a wrong command line or an output folder that cannot be written is refused
# with a message.
# usage: check-modelgen.sh <modelgen> <udftool> <work folder>
set -eu
MODELGEN=$1
UDFTOOL=$2
WORK=$3
rm -rf "$WORK"
mkdir -p "$WORK/first" "$WORK/second"
"$MODELGEN" "$WORK/first" > "$WORK/first.out"
"$MODELGEN" "$WORK/second" > /dev/null
for name in Ground Sky Box Quad Palm Flare1 Flare2 Flare3 Flare4; do
  [ -s "$WORK/first/$name.txt" ] || { echo "modelgen wrote no $name.txt"; exit 1; }
  cmp -s "$WORK/first/$name.txt" "$WORK/second/$name.txt" || { echo "$name.txt differs between runs"; exit 1; }
  "$UDFTOOL" build "$WORK/first/$name.txt" "$WORK/$name.udf"
  "$UDFTOOL" check "$WORK/$name.udf"
done
grep -q "^modelgen: Ground: [0-9]* triangles" "$WORK/first.out" || { echo "no triangle count of the ground"; exit 1; }
if "$MODELGEN" 2> "$WORK/usage.err"; then echo "accepted no arguments"; exit 1; fi
grep -q "usage:" "$WORK/usage.err" || { echo "no usage message"; exit 1; }
if "$MODELGEN" "$WORK/no/such/folder" 2> "$WORK/write.err"; then echo "wrote into a missing folder"; exit 1; fi
grep -q "modelgen: cannot write" "$WORK/write.err" || { echo "no message for a folder it cannot write"; exit 1; }
echo "modelgen: every model written, built and read back the same"
