#!/bin/sh
# Builds the RAR archive reader's fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, makes a seed corpus of archives with rarpack, and fuzzes.
# usage: tools/run-fuzz.sh [seconds, default 5]
set -eu
SECONDS_TO_RUN=${1:-5}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${CORVANE_FUZZ_DIR:-$ROOT/build/rar-fuzz}
CXX=${CXX_FUZZ:-clang++}
mkdir -p "$OUT/corpus" "$OUT/seeds"

"$CXX" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$ROOT" "$ROOT/tests/fuzz/fuzz_rar_archive.cpp" "$ROOT/Core/RarArchive.cpp" "$ROOT/Core/Crc32.cpp" \
  -o "$OUT/fuzz_rar_archive"
"$CXX" -std=c++20 -O1 -I"$ROOT" "$ROOT/tools/rarpack.cpp" "$ROOT/tools/RarWriter.cpp" "$ROOT/Core/Crc32.cpp" \
  -o "$OUT/rarpack"

# Seeds: a few small trees, packed plain and with a prefix, and one with the old signature.
TREE=$OUT/seed-tree
rm -rf "$TREE"
mkdir -p "$TREE/one" "$TREE/nested/Fonts/deeper" "$TREE/nested/Empty" "$TREE/empty"
printf 'first member' > "$TREE/one/a.txt"
printf 'font bytes\000\001\002' > "$TREE/nested/Fonts/64font.fs"
printf '' > "$TREE/nested/zero"
head -c 300 /dev/urandom > "$TREE/nested/Fonts/deeper/noise.bin"
printf 'x' > "$TREE/nested/A.TXT"
"$OUT/rarpack" "$TREE/one" "$OUT/seeds/one.rar"
"$OUT/rarpack" "$TREE/nested" "$OUT/seeds/nested.rar"
"$OUT/rarpack" "$TREE/nested" "$OUT/seeds/media.rar" --prefix 'Media\'
"$OUT/rarpack" "$TREE/empty" "$OUT/seeds/empty.rar"
cp "$OUT/seeds/one.rar" "$OUT/seeds/old-signature.rar"
printf 'UniquE!' | dd of="$OUT/seeds/old-signature.rar" bs=1 seek=0 conv=notrunc 2>/dev/null

"$OUT/fuzz_rar_archive" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 \
  "$OUT/corpus" "$OUT/seeds"
