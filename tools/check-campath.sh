#!/bin/sh
# Writes every flight of tools/camera-paths with campath and builds it with udftool; checks
# that each key pair sits on the 5000 ms grid from 0, and that descriptions too short, too
# long or with a stray word are refused with a message.
# usage: check-campath.sh <campath> <udftool> <work folder> <camera-paths folder>
set -eu
CAMPATH=$1
UDFTOOL=$2
WORK=$3
FLIGHTS=$4
mkdir -p "$WORK"
for flight in "$FLIGHTS"/*.flight; do
  name=$(basename "$flight" .flight)
  "$CAMPATH" "$flight" "$WORK/$name.txt"
  "$UDFTOOL" build "$WORK/$name.txt" "$WORK/$name.cam"
  "$UDFTOOL" check "$WORK/$name.cam"
  pos=$(grep -c '^value "pos[0-9]*" "pos"' "$WORK/$name.txt")
  rot=$(grep -c '^value "rot[0-9]*" "rot"' "$WORK/$name.txt")
  [ "$pos" = "$rot" ] || { echo "$name: $pos position and $rot rotation keys"; exit 1; }
  grep -q '^value "pos0" "pos" = real 0 ' "$WORK/$name.txt" || { echo "$name: the first key is not at 0 ms"; exit 1; }
done

refused() {
  printf "$1" > "$WORK/bad.flight"
  if "$CAMPATH" "$WORK/bad.flight" "$WORK/bad.txt" 2> "$WORK/bad.err"; then
    echo "accepted: $1"; exit 1
  fi
  grep -q "campath:" "$WORK/bad.err" || { echo "no message for: $1"; exit 1; }
}
# 6 points: 25 s.
refused 'look 0 0 0\npoint 1 0 0\npoint 2 0 0\npoint 3 0 0\npoint 4 0 0\npoint 5 0 0\npoint 6 0 0\n'
# 18 points: 85 s.
refused "look 0 0 0\n$(for i in $(seq 1 18); do printf 'point %s 0 1\\n' "$i"; done)"
refused 'step 5000 extra\n'
refused 'jump 1 2 3\n'
refused 'point 1 2\n'
# Looking straight down has no up vector to keep.
refused "look 0 0 0\n$(for i in $(seq 1 8); do printf 'point 0 %s 0\\n' "$i"; done)"
echo "campath: all flights written and checked"
