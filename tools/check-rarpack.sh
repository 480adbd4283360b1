#!/bin/sh
# Packs a generated folder tree with rarpack and checks that independent RAR readers
# (7z with its Rar format, bsdtar) list every entry and extract every file byte for byte.
# usage: check-rarpack.sh <rarpack> <work folder>
# Exits 77 (skipped) when neither reader is installed.
set -eu
RARPACK=$1
WORK=$2

SEVENZ=""
for tool in 7z 7za 7zz; do
  if command -v "$tool" >/dev/null 2>&1 && "$tool" i 2>/dev/null | grep -q ' Rar '; then
    SEVENZ=$tool
    break
  fi
done
BSDTAR=""
command -v bsdtar >/dev/null 2>&1 && BSDTAR=bsdtar
if [ -z "$SEVENZ" ] && [ -z "$BSDTAR" ]; then
  echo "SKIPPED: neither 7z with RAR support (Debian: p7zip-full) nor bsdtar (libarchive-tools) is installed"
  exit 77
fi
[ -n "$SEVENZ" ] || echo "NOTE: no 7z with RAR support found (Debian: p7zip-full); checking with bsdtar only"
[ -n "$BSDTAR" ] || echo "NOTE: bsdtar not found (Debian: libarchive-tools); checking with 7z only"

rm -rf "$WORK"
mkdir -p "$WORK/src/Fonts" "$WORK/src/Models/Cars/Wheels" "$WORK/src/Empty Folder" "$WORK/src/Shaders"
SRC=$WORK/src
: > "$SRC/empty.txt"
printf 'hello\r\nworld\n' > "$SRC/Models/readme.txt"
head -c 4096 /dev/urandom > "$SRC/Fonts/64font.fs"
head -c 70001 /dev/urandom > "$SRC/Models/Cars/car.bin"
head -c 1 /dev/urandom > "$SRC/Models/Cars/Wheels/one byte"
head -c 12345 /dev/urandom > "$SRC/Shaders/fog.fx"
i=0
while [ $i -lt 256 ]; do printf "\\$(printf %03o $i)"; i=$((i + 1)); done > "$SRC/Shaders/all bytes.bin"
for n in 1 2 3 4 5 6 7 8; do head -c $((n * 1000 + n)) /dev/urandom > "$SRC/Models/part$n.dat"; done

"$RARPACK" "$SRC" "$WORK/plain.rar"
"$RARPACK" "$SRC" "$WORK/again.rar"
cmp "$WORK/plain.rar" "$WORK/again.rar" || { echo "FAIL: rarpack output is not reproducible"; exit 1; }
"$RARPACK" "$SRC" "$WORK/prefixed.rar" --prefix 'Media\'

# Every file and folder below src, as relative paths.
(cd "$SRC" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) > "$WORK/expected.txt"
(cd "$SRC" && find . -mindepth 1 | sed 's|^\./|Media/|' | LC_ALL=C sort) > "$WORK/expected-media.txt"
echo Media >> "$WORK/expected-media.txt"
LC_ALL=C sort -o "$WORK/expected-media.txt" "$WORK/expected-media.txt"

fail=0
check_tree() {  # <reader> <expected tree> <extracted tree>
  if diff -r "$2" "$3" >"$WORK/diff.txt" 2>&1; then
    echo "ok: $1 extracts every file byte for byte"
  else
    echo "FAIL: $1 extraction differs:"; cat "$WORK/diff.txt"; fail=1
  fi
}
check_list() {  # <reader> <expected list> <listed>
  LC_ALL=C sort -o "$3" "$3"
  if cmp -s "$2" "$3"; then
    echo "ok: $1 lists every entry"
  else
    echo "FAIL: $1 listing differs:"; diff "$2" "$3" || true; fail=1
  fi
}

if [ -n "$SEVENZ" ]; then
  "$SEVENZ" t "$WORK/plain.rar" >"$WORK/7z-test.txt" 2>&1 || { echo "FAIL: $SEVENZ t"; cat "$WORK/7z-test.txt"; fail=1; }
  "$SEVENZ" l -slt "$WORK/plain.rar" | sed -n 's/^Path = //p' | grep -v -x -F "$WORK/plain.rar" > "$WORK/7z-list.txt"
  check_list "$SEVENZ l" "$WORK/expected.txt" "$WORK/7z-list.txt"
  mkdir "$WORK/7z-out" "$WORK/7z-media"
  (cd "$WORK/7z-out" && "$SEVENZ" x -bd "$WORK/plain.rar" >/dev/null)
  check_tree "$SEVENZ x" "$SRC" "$WORK/7z-out"
  (cd "$WORK/7z-media" && "$SEVENZ" x -bd "$WORK/prefixed.rar" >/dev/null)
  check_tree "$SEVENZ x (prefixed)" "$SRC" "$WORK/7z-media/Media"
fi

if [ -n "$BSDTAR" ]; then
  bsdtar -tf "$WORK/plain.rar" | sed 's|/$||' > "$WORK/bsdtar-list.txt"
  check_list "bsdtar -tf" "$WORK/expected.txt" "$WORK/bsdtar-list.txt"
  bsdtar -tf "$WORK/prefixed.rar" | sed 's|/$||' > "$WORK/bsdtar-media.txt"
  echo Media >> "$WORK/bsdtar-media.txt"
  check_list "bsdtar -tf (prefixed)" "$WORK/expected-media.txt" "$WORK/bsdtar-media.txt"
  mkdir "$WORK/bsdtar-out" "$WORK/bsdtar-media"
  bsdtar -xf "$WORK/plain.rar" -C "$WORK/bsdtar-out"
  check_tree "bsdtar -xf" "$SRC" "$WORK/bsdtar-out"
  bsdtar -xf "$WORK/prefixed.rar" -C "$WORK/bsdtar-media"
  check_tree "bsdtar -xf (prefixed)" "$SRC" "$WORK/bsdtar-media/Media"
fi

exit $fail
