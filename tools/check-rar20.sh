#!/bin/sh
# Checks the archives of rarpack's RAR 2.0 compressor with an independent reader: every
# archive is listed by lsar and extracted by unar (Debian package unar), byte for byte,
# before our own reader is trusted with the same archives. Covered: the sample members
# (every code of the format, multimedia with one to four channels, mode changes) plain,
# solid, encrypted and both; comments in headers with either header checksum; and a
# folder packed in each mode of the command line.
# usage: check-rar20.sh <rarpack> <work folder>
# Exits 77 (skipped) when unar or lsar is not installed.
set -eu
RARPACK=$1
WORK=$2

if ! command -v unar >/dev/null 2>&1 || ! command -v lsar >/dev/null 2>&1; then
  echo "SKIPPED: unar and lsar are not installed (Debian: unar)"
  exit 77
fi

rm -rf "$WORK"
mkdir -p "$WORK"
SRC=$WORK/samples
"$RARPACK" --write-samples "$SRC"
# lsar lists the files (and the folders the archive holds as entries); compare the files.
(cd "$SRC" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) > "$WORK/expected.txt"

fail=0
n=0
# check <name> <password or -> <rarpack arguments...>
check() {
  name=$1
  password=$2
  shift 2
  n=$((n + 1))
  archive=$WORK/$name.rar
  if ! "$RARPACK" "$@" "$archive" > "$WORK/$name.stats"; then
    echo "FAIL: rarpack $* did not write $name.rar"; fail=1; return
  fi
  lsar "$archive" | tail -n +2 | grep -v '/$' | LC_ALL=C sort > "$WORK/$name.list"
  if ! cmp -s "$WORK/expected.txt" "$WORK/$name.list"; then
    echo "FAIL: lsar lists $name.rar differently:"; diff "$WORK/expected.txt" "$WORK/$name.list" || true; fail=1
  fi
  out=$WORK/$name.out
  mkdir -p "$out"
  if [ "$password" = "-" ]; then
    (cd "$out" && unar -D -q -o . "$archive") > "$WORK/$name.log" 2>&1 || true
  else
    (cd "$out" && unar -D -q -o . -p "$password" "$archive") > "$WORK/$name.log" 2>&1 || true
  fi
  if diff -rq "$SRC" "$out" > "$WORK/$name.diff" 2>&1; then
    echo "ok: $name.rar ($(wc -c < "$archive") bytes) lists and extracts byte for byte"
  else
    echo "FAIL: unar extracts $name.rar differently:"; head -n 20 "$WORK/$name.log" "$WORK/$name.diff"; fail=1
  fi
}

# comment <name> <text>: lsar shows the archive comment.
comment() {
  if lsar -L "$WORK/$1.rar" | grep -a -A1 'Archive comment:' | tail -n 1 | grep -q -F "$2"; then
    echo "ok: $1.rar carries its comment"
  else
    echo "FAIL: lsar does not show the comment of $1.rar"; fail=1
  fi
}

check samples - --samples --stats
if ! grep -q 'codes never written: none' "$WORK/samples.stats" || grep -v 'none' "$WORK/samples.stats" | grep -q 'never written'; then
  echo "FAIL: the samples do not write every code:"; cat "$WORK/samples.stats"; fail=1
fi
check samples-solid - --samples --solid
check samples-encrypted 'pass word' --samples --password 'pass word'
check samples-solid-encrypted 'Secret!' --samples --solid --password 'Secret!'
check samples-comments - --samples --comment 'Corvane samples' --file-comment 'one member'
comment samples-comments 'Corvane samples'
check samples-comments-whole - --samples --comment 'Whole header' --file-comment 'x' --whole-header-crc
comment samples-comments-whole 'Whole header'
check folder-compress - "$SRC" --compress --block 700
check folder-stored-encrypted key "$SRC" --password key
for channels in 1 2 3 4; do
  check "folder-multimedia-$channels" - "$SRC" --multimedia "$channels" --block 3000
done
check folder-mixed-solid - "$SRC" --mixed --solid --block 900
check folder-mixed-solid-encrypted k "$SRC" --mixed --solid --block 5000 --password k

echo "$n archives checked"
exit $fail
