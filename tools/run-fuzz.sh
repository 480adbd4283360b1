#!/bin/sh
# Builds every fuzz target in tests/fuzz (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds (default 5)
# on a seed corpus: tests/fuzz/seeds/<target>/ where present, plus seeds made here.
#   usage: tools/run-fuzz.sh [seconds] [target...]
set -eu
SECONDS_TO_RUN=${1:-5}
[ $# -gt 0 ] && shift
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
OUT=$ROOT/build/fuzz
TARGETS=${*:-$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')}

# Archive seeds, packed by the writer from a small tree.
SEEDS=$OUT/generated-seeds
rm -rf "$SEEDS"
mkdir -p "$SEEDS/fuzz_rar_archive"
TREE=$OUT/seed-tree
rm -rf "$TREE"
mkdir -p "$TREE/one" "$TREE/nested/Fonts/deeper" "$TREE/nested/Empty" "$TREE/empty"
printf 'first member' > "$TREE/one/a.txt"
printf 'font bytes\000\001\002' > "$TREE/nested/Fonts/64font.fs"
printf '' > "$TREE/nested/zero"
head -c 300 /dev/urandom > "$TREE/nested/Fonts/deeper/noise.bin"
printf 'x' > "$TREE/nested/A.TXT"
RARPACK=$OUT/tools/rarpack
"$RARPACK" "$TREE/one" "$SEEDS/fuzz_rar_archive/one.rar"
"$RARPACK" "$TREE/nested" "$SEEDS/fuzz_rar_archive/nested.rar"
"$RARPACK" "$TREE/nested" "$SEEDS/fuzz_rar_archive/media.rar" --prefix 'Media\'
"$RARPACK" "$TREE/empty" "$SEEDS/fuzz_rar_archive/empty.rar"
# Packed archives: compressed, solid with every mode, encrypted (the target tries the
# password "fuzz"), with comments in their headers.
"$RARPACK" "$TREE/nested" "$SEEDS/fuzz_rar_archive/compressed.rar" --compress --block 64
"$RARPACK" "$TREE/nested" "$SEEDS/fuzz_rar_archive/solid-mixed.rar" --solid --mixed --block 50
"$RARPACK" "$TREE/one" "$SEEDS/fuzz_rar_archive/encrypted.rar" --compress --password fuzz
"$RARPACK" "$TREE/nested" "$SEEDS/fuzz_rar_archive/solid-encrypted.rar" --solid --password fuzz
"$RARPACK" "$TREE/one" "$SEEDS/fuzz_rar_archive/comments.rar" --compress --comment seed --file-comment member
cp "$SEEDS/fuzz_rar_archive/one.rar" "$SEEDS/fuzz_rar_archive/old-signature.rar"
printf 'UniquE!' | dd of="$SEEDS/fuzz_rar_archive/old-signature.rar" bs=1 seek=0 conv=notrunc 2>/dev/null

# Unpack seeds: the packed streams of the sample members, alone, in solid pairs and
# encrypted.
"$RARPACK" --unpack-seeds "$SEEDS/fuzz_rar_unpack"

# Text seeds: the corpus documents, UTF-8 in the statement form (first byte 1) and in the
# line form (first byte 0x81); for the tokenizer, as UTF-16 under both tables.
mkdir -p "$SEEDS/fuzz_text_parser" "$SEEDS/fuzz_tokenizer"
for doc in tests/data/text/*; do
  base=$(basename "$doc")
  { printf '\001'; cat "$doc"; } > "$SEEDS/fuzz_text_parser/statement-$base"
  { printf '\201'; cat "$doc"; } > "$SEEDS/fuzz_text_parser/line-$base"
  if command -v iconv >/dev/null 2>&1; then
    { printf '\001'; iconv -f UTF-8 -t UTF-16LE "$doc" 2>/dev/null || true; } > "$SEEDS/fuzz_tokenizer/script-$base"
    { printf '\000'; iconv -f UTF-8 -t UTF-16LE "$doc" 2>/dev/null || true; } > "$SEEDS/fuzz_tokenizer/markup-$base"
  fi
done

# Documents that include the fuzz target's own folder of documents (some of which include
# themselves and each other) and a name that is not there.
printf '\001include("a.txt"); include("d.txt"); N = array(include("self.txt"), include("gone.txt"));' \
  > "$SEEDS/fuzz_text_parser/statement-includes"
printf '\201using Top\ninclude("e.txt")\ninclude("zero.txt")\nV = "a;b"\ninclude("none.txt")\n' \
  > "$SEEDS/fuzz_text_parser/line-includes"

# Font seeds: charset and font structure files rendered by fontgen (first byte 0: a
# charset, 1: a font file), when this machine has the tool and a face.
mkdir -p "$SEEDS/fuzz_font"
FACE=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
if [ -x "$OUT/tools/fontgen" ] && [ -f "$FACE" ]; then
  FONTS=$OUT/seed-fonts
  rm -rf "$FONTS"
  mkdir -p "$FONTS"
  "$OUT/tools/fontgen" "$FACE" "$FONTS" seed 32 126 10 16
  for css in "$FONTS"/*.css; do { printf '\000'; cat "$css"; } > "$SEEDS/fuzz_font/$(basename "$css")"; done
  { printf '\001'; cat "$FONTS/seed.fs"; } > "$SEEDS/fuzz_font/seed.fs"
fi
printf '\000Name = "x.tga"; CharWidth = 8; CharHeight = 8; CharsPerLine = 4; StartChar = 65; EndChar = 70; Sizes[2] = 3; Rects["B"] = array(1, 2, 3, 4);' \
  > "$SEEDS/fuzz_font/small.css"
printf '\001Styles[0].Size = 14; Styles[1].Size = 14; Styles[1].Bold = 1; Styles[2].Size = 28; Styles[2].FontName = "F";' \
  > "$SEEDS/fuzz_font/styles.fs"

# Binary document seeds, built by udftool from the text samples.
mkdir -p "$SEEDS/fuzz_udf_reader"
for sample in tests/data/udf/*.txt; do
  "$OUT/tools/udftool" build "$sample" "$SEEDS/fuzz_udf_reader/$(basename "$sample" .txt).udf"
done

# Camera-path seeds: the media's flights through campath and udftool.
mkdir -p "$SEEDS/fuzz_camera_path" "$OUT/camera-path-text"
for flight in tools/camera-paths/*.flight; do
  name=$(basename "$flight" .flight)
  "$OUT/tools/campath" "$flight" "$OUT/camera-path-text/$name.txt"
  "$OUT/tools/udftool" build "$OUT/camera-path-text/$name.txt" "$SEEDS/fuzz_camera_path/$name.cam"
done

# Model seeds, built by udftool from the model samples.
mkdir -p "$SEEDS/fuzz_model_load"
for sample in tests/data/model/*.txt; do
  "$OUT/tools/udftool" build "$sample" "$SEEDS/fuzz_model_load/$(basename "$sample" .txt).udf"
done

# Image seeds, small files of each kind written by imagetool.
IMAGETOOL=$OUT/tools/imagetool
mkdir -p "$SEEDS/fuzz_image_tga" "$SEEDS/fuzz_image_bmp" "$SEEDS/fuzz_image_dds" "$SEEDS/fuzz_image_any"
img() { dir=$1; name=$2; shift 2; "$IMAGETOOL" make "$SEEDS/$dir/$name" "$@"; }
img fuzz_image_tga argb.tga 7 5 gradient --alpha
img fuzz_image_tga rle.tga 9 4 checker --rle --cell 3
img fuzz_image_tga top.tga 6 3 gradient --top-down --format R8G8B8
img fuzz_image_tga grey.tga 5 5 ramp --format L8 --rle
img fuzz_image_tga map.tga 8 4 checker --palette --rle
img fuzz_image_tga x555.tga 4 4 gradient --format X1R5G5B5
img fuzz_image_bmp g24.bmp 7 5 gradient
img fuzz_image_bmp g32.bmp 5 3 gradient --alpha --header 124
img fuzz_image_bmp p8.bmp 9 4 gradient --bits 8 --top-down
img fuzz_image_bmp p4.bmp 9 4 checker --bits 4 --cell 2 --header 108
img fuzz_image_bmp p1.bmp 17 3 checker --bits 1 --header 12
img fuzz_image_bmp rle.bmp 12 6 checker --rle --cell 4
img fuzz_image_bmp rle4.bmp 9 6 gradient --rle --bits 4
img fuzz_image_bmp jumps4.bmp 6 20 checker --rle --bits 4 --jumps --cell 8
img fuzz_image_bmp r565.bmp 6 6 gradient --bits 16 --565
img fuzz_image_dds argb.dds 8 8 gradient --alpha --mips 0
img fuzz_image_dds r565.dds 8 4 gradient --format R5G6B5 --mips 2
img fuzz_image_dds l8.dds 4 4 ramp --format L8
img fuzz_image_dds v8u8.dds 4 4 gradient --format V8U8
img fuzz_image_dds dxt1.dds 8 8 gradient --format DXT1 --mips 0
img fuzz_image_dds dxt5.dds 8 4 gradient --alpha --format DXT5
img fuzz_image_dds cube.dds 4 4 checker --cube --cell 2 --mips 0
img fuzz_image_any a.png 6 4 gradient --alpha --interlace
img fuzz_image_any p.png 6 4 checker --palette --cell 2
img fuzz_image_any g.png 6 4 ramp --png grey --depth 4
img fuzz_image_any a.jpg 16 8 gradient
img fuzz_image_any p.jpg 16 16 ramp --grey --progressive
cp "$SEEDS/fuzz_image_tga/rle.tga" "$SEEDS/fuzz_image_bmp/rle.bmp" "$SEEDS/fuzz_image_dds/dxt1.dds" "$SEEDS/fuzz_image_any/"

# Audio seeds: short tones from musicgen, as WAV and, when oggenc is there, as OGG Vorbis.
mkdir -p "$SEEDS/fuzz_audio_sample"
"$OUT/tools/musicgen" tone "$SEEDS/fuzz_audio_sample/tone.wav" 0.05 441
"$OUT/tools/musicgen" tone "$SEEDS/fuzz_audio_sample/high.wav" 0.02 5000
if command -v oggenc >/dev/null 2>&1; then
  oggenc --quiet -q 0 -o "$SEEDS/fuzz_audio_sample/tone.ogg" "$SEEDS/fuzz_audio_sample/tone.wav"
  oggenc --quiet -q 0 --downmix -o "$SEEDS/fuzz_audio_sample/mono.ogg" "$SEEDS/fuzz_audio_sample/high.wav"
fi

# The targets run in a folder of their own: what the engine writes to its working folder
# (its text log, caches) and the inputs that fail land there, not in the checkout.
WORK=$OUT/work
mkdir -p "$WORK"
for target in $TARGETS; do
  corpus=$OUT/corpus/$target
  mkdir -p "$corpus"
  dirs="$corpus"
  [ -d "$ROOT/tests/fuzz/seeds/$target" ] && dirs="$dirs $ROOT/tests/fuzz/seeds/$target"
  [ -d "$SEEDS/$target" ] && dirs="$dirs $SEEDS/$target"
  echo "== $target ($SECONDS_TO_RUN s)"
  log=$OUT/$target.log
  # shellcheck disable=SC2086
  if ! (cd "$WORK" && "$OUT/$target" -max_total_time="$SECONDS_TO_RUN" -max_len=65536 -print_final_stats=1 \
          -artifact_prefix="$WORK/" $dirs) >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; the input that failed is named in the log above"
    exit 1
  fi
  grep -E '^Done|number_of_executed_units' "$log"
done
