#!/bin/sh
# Builds every fuzz target in tests/fuzz (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them on their seeds: tests/fuzz/seeds/<target>/
# where present, the inputs under tests/fuzz/regressions/<target>/, and seeds made here
# from the sample data and our tools (the same bytes on every run).
#
#   sh tools/run-fuzz.sh --check [target...]
#     What tools/run-tests.sh runs (about two minutes). First every input under
#     tests/fuzz/regressions/<target>/ once, then each target for a fixed number of inputs
#     from a fixed random seed, starting from the seeds alone: nothing is carried over
#     from an earlier run, so every run on every machine tries the same inputs, and a
#     finding fails every check until it is mended.
#   sh tools/run-fuzz.sh SECONDS [target...]
#     Exploration: each target for SECONDS seconds (default 5) from a fresh random seed,
#     on a corpus that grows from run to run in build/fuzz/corpus/<target>/. Different
#     targets may run at the same time, each in a process of its own.
#
# A failing input is written to build/fuzz/work/<target>/ (build/fuzz/check/<target>/ in
# a check) and named in the output, the run's log beside it as <target>.log. Once
# the fault is mended, commit the input under tests/fuzz/regressions/<target>/ so that
# every check replays it.
set -eu
MODE=explore
SECONDS_TO_RUN=5
if [ "${1:-}" = "--check" ]; then
  MODE=check
  shift
elif [ $# -gt 0 ]; then
  SECONDS_TO_RUN=$1
  shift
fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
. "$ROOT/tools/time-limit.sh"
OUT=$ROOT/build/fuzz
TARGETS=${*:-$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')}

# The check's fixed random seed, and the inputs it tries per target: about five seconds
# each on one core of the machine they were timed on. A run of a target that takes longer
# than its limit (in seconds) fails by name: it hangs.
CHECK_SEED=1
CHECK_LIMIT=300
check_runs() {
  case $1 in
    fuzz_audio_sample) echo 3500 ;;
    fuzz_camera_path) echo 45000 ;;
    fuzz_command_line) echo 1200000 ;;
    fuzz_dialog_template) echo 500000 ;;
    fuzz_effect_compiled) echo 240000 ;;
    fuzz_effect_source) echo 16000 ;;
    fuzz_font) echo 2000 ;;
    fuzz_image_any) echo 200000 ;;
    fuzz_image_bmp) echo 550000 ;;
    fuzz_image_dds) echo 470000 ;;
    fuzz_image_tga) echo 540000 ;;
    fuzz_markup) echo 90000 ;;
    fuzz_mesh_optimize) echo 125000 ;;
    fuzz_model_load) echo 80000 ;;
    fuzz_rar_archive) echo 3200 ;;
    fuzz_rar_unpack) echo 2500 ;;
    fuzz_rich_text_input) echo 25000 ;;
    fuzz_text_parser) echo 30000 ;;
    fuzz_texture_script) echo 160000 ;;
    fuzz_tokenizer) echo 48000 ;;
    fuzz_udf_reader) echo 700000 ;;
    fuzz_window_input) echo 120000 ;;
    fuzz_window_loading) echo 52000 ;;
    fuzz_window_skin) echo 80000 ;;
    *) echo 20000 ;;
  esac
}

# One build at a time: explorations started side by side share the build folder.
mkdir -p build
if command -v flock >/dev/null 2>&1; then
  exec 9>build/fuzz.lock
  flock 9
fi
within 300 "fuzz configuration" cmake --preset fuzz >/dev/null
within 1800 "fuzz build" cmake --build --preset fuzz
exec 9>&-

# $1 bytes of a fixed pseudo-random sequence from seed $2 (the minimal standard generator
# of Park and Miller, exact in awk's arithmetic), where a seed wants noise.
noise() {
  # shellcheck disable=SC2059
  printf "$(awk -v n="$1" -v x="$2" 'BEGIN {
    for (i = 0; i < n; ++i) { x = (x * 16807) % 2147483647; printf "\\%03o", int(x / 8388608) % 256 }
  }')"
}

# The seeds this process makes, in a folder of its own that goes when it ends.
SEEDS=$(mktemp -d "$OUT/seeds.XXXXXX")
trap 'rm -rf "$SEEDS"' EXIT
trap 'exit 1' INT TERM

rar_archive_seeds() {
  dir=$1
  tree=$SEEDS/rar-tree
  mkdir -p "$tree/one" "$tree/nested/Fonts/deeper" "$tree/nested/Empty" "$tree/empty"
  printf 'first member' > "$tree/one/a.txt"
  printf 'font bytes\000\001\002' > "$tree/nested/Fonts/64font.fs"
  printf '' > "$tree/nested/zero"
  noise 300 1 > "$tree/nested/Fonts/deeper/noise.bin"
  printf 'x' > "$tree/nested/A.TXT"
  rarpack=$OUT/tools/rarpack
  "$rarpack" "$tree/one" "$dir/one.rar"
  "$rarpack" "$tree/nested" "$dir/nested.rar"
  "$rarpack" "$tree/nested" "$dir/media.rar" --prefix 'Media\'
  "$rarpack" "$tree/empty" "$dir/empty.rar"
  # Packed archives: compressed, solid with every mode, encrypted (the target tries the
  # password "fuzz"), with comments in their headers.
  "$rarpack" "$tree/nested" "$dir/compressed.rar" --compress --block 64
  "$rarpack" "$tree/nested" "$dir/solid-mixed.rar" --solid --mixed --block 50
  "$rarpack" "$tree/one" "$dir/encrypted.rar" --compress --password fuzz
  "$rarpack" "$tree/nested" "$dir/solid-encrypted.rar" --solid --password fuzz
  "$rarpack" "$tree/one" "$dir/comments.rar" --compress --comment seed --file-comment member
  cp "$dir/one.rar" "$dir/old-signature.rar"
  printf 'UniquE!' | dd of="$dir/old-signature.rar" bs=1 seek=0 conv=notrunc 2>/dev/null
}

# Text seeds: the corpus documents, UTF-8 in the statement form (first byte 1) and in the
# line form (first byte 0x81), and documents that include the fuzz target's own folder of
# documents (some of which include themselves and each other) and a name that is not there.
text_parser_seeds() {
  dir=$1
  for doc in tests/data/text/*; do
    base=$(basename "$doc")
    { printf '\001'; cat "$doc"; } > "$dir/statement-$base"
    { printf '\201'; cat "$doc"; } > "$dir/line-$base"
  done
  printf '\001include("a.txt"); include("d.txt"); N = array(include("self.txt"), include("gone.txt"));' \
    > "$dir/statement-includes"
  printf '\201using Top\ninclude("e.txt")\ninclude("zero.txt")\nV = "a;b"\ninclude("none.txt")\n' \
    > "$dir/line-includes"
}

# For the tokenizer, the corpus documents as UTF-16 under both tables.
tokenizer_seeds() {
  dir=$1
  command -v iconv >/dev/null 2>&1 || return 0
  for doc in tests/data/text/*; do
    base=$(basename "$doc")
    { printf '\001'; iconv -f UTF-8 -t UTF-16LE "$doc" 2>/dev/null || true; } > "$dir/script-$base"
    { printf '\000'; iconv -f UTF-8 -t UTF-16LE "$doc" 2>/dev/null || true; } > "$dir/markup-$base"
  done
}

# Font seeds: charset and font structure files rendered by fontgen (first byte 0: a
# charset, 1: a font file), when this machine has the tool and a face.
font_seeds() {
  dir=$1
  face=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
  if [ -x "$OUT/tools/fontgen" ] && [ -f "$face" ]; then
    fonts=$SEEDS/fonts
    mkdir -p "$fonts"
    "$OUT/tools/fontgen" "$face" "$fonts" seed 32 126 10 16
    for css in "$fonts"/*.css; do { printf '\000'; cat "$css"; } > "$dir/$(basename "$css")"; done
    { printf '\001'; cat "$fonts/seed.fs"; } > "$dir/seed.fs"
  fi
  printf '\000Name = "x.tga"; CharWidth = 8; CharHeight = 8; CharsPerLine = 4; StartChar = 65; EndChar = 70; Sizes[2] = 3; Rects["B"] = array(1, 2, 3, 4);' \
    > "$dir/small.css"
  printf '\001Styles[0].Size = 14; Styles[1].Size = 14; Styles[1].Bold = 1; Styles[2].Size = 28; Styles[2].FontName = "F";' \
    > "$dir/styles.fs"
}

# Binary documents built by udftool from the text samples in tests/data/$2.
udf_seeds() {
  dir=$1
  for sample in tests/data/"$2"/*.txt; do
    "$OUT/tools/udftool" build "$sample" "$dir/$(basename "$sample" .txt).udf"
  done
}

# Camera-path seeds: the media's flights through campath and udftool.
camera_path_seeds() {
  dir=$1
  text=$SEEDS/camera-path-text
  mkdir -p "$text"
  for flight in tools/camera-paths/*.flight; do
    name=$(basename "$flight" .flight)
    "$OUT/tools/campath" "$flight" "$text/$name.txt"
    "$OUT/tools/udftool" build "$text/$name.txt" "$dir/$name.cam"
  done
}

# Image seeds, small files of each kind written by imagetool.
img() { name=$1; shift; "$OUT/tools/imagetool" make "$name" "$@"; }
image_tga_seeds() {
  img "$1/argb.tga" 7 5 gradient --alpha
  img "$1/rle.tga" 9 4 checker --rle --cell 3
  img "$1/top.tga" 6 3 gradient --top-down --format R8G8B8
  img "$1/grey.tga" 5 5 ramp --format L8 --rle
  img "$1/map.tga" 8 4 checker --palette --rle
  img "$1/x555.tga" 4 4 gradient --format X1R5G5B5
}
image_bmp_seeds() {
  img "$1/g24.bmp" 7 5 gradient
  img "$1/g32.bmp" 5 3 gradient --alpha --header 124
  img "$1/p8.bmp" 9 4 gradient --bits 8 --top-down
  img "$1/p4.bmp" 9 4 checker --bits 4 --cell 2 --header 108
  img "$1/p1.bmp" 17 3 checker --bits 1 --header 12
  img "$1/rle.bmp" 12 6 checker --rle --cell 4
  img "$1/rle4.bmp" 9 6 gradient --rle --bits 4
  img "$1/jumps4.bmp" 6 20 checker --rle --bits 4 --jumps --cell 8
  img "$1/r565.bmp" 6 6 gradient --bits 16 --565
}
image_dds_seeds() {
  img "$1/argb.dds" 8 8 gradient --alpha --mips 0
  img "$1/r565.dds" 8 4 gradient --format R5G6B5 --mips 2
  img "$1/l8.dds" 4 4 ramp --format L8
  img "$1/v8u8.dds" 4 4 gradient --format V8U8
  img "$1/dxt1.dds" 8 8 gradient --format DXT1 --mips 0
  img "$1/dxt5.dds" 8 4 gradient --alpha --format DXT5
  img "$1/cube.dds" 4 4 checker --cube --cell 2 --mips 0
}
# Any kind the loader tells by its contents: PNG and JPEG, and one of each other kind.
image_any_seeds() {
  img "$1/a.png" 6 4 gradient --alpha --interlace
  img "$1/p.png" 6 4 checker --palette --cell 2
  img "$1/g.png" 6 4 ramp --png grey --depth 4
  img "$1/a.jpg" 16 8 gradient
  img "$1/p.jpg" 16 16 ramp --grey --progressive
  img "$1/rle.tga" 9 4 checker --rle --cell 3
  img "$1/rle.bmp" 12 6 checker --rle --cell 4
  img "$1/dxt1.dds" 8 8 gradient --format DXT1 --mips 0
}

# Audio seeds: short tones from musicgen, as WAV and, when oggenc is there, as OGG Vorbis
# (with a fixed stream serial number, which oggenc otherwise draws at random).
audio_sample_seeds() {
  dir=$1
  "$OUT/tools/musicgen" tone "$dir/tone.wav" 0.05 441
  "$OUT/tools/musicgen" tone "$dir/high.wav" 0.02 5000
  if command -v oggenc >/dev/null 2>&1; then
    oggenc --quiet --serial 1 -q 0 -o "$dir/tone.ogg" "$dir/tone.wav"
    oggenc --quiet --serial 2 -q 0 --downmix -o "$dir/mono.ogg" "$dir/high.wav"
    # A chained stream (two links of other rates and channel counts) and six channels.
    oggenc --quiet --serial 3 -q 0 --downmix --resample 8000 -o "$SEEDS/low.ogg" "$dir/high.wav"
    cat "$dir/tone.ogg" "$SEEDS/low.ogg" > "$dir/chained.ogg"
    "$OUT/tools/musicgen" surround "$SEEDS/surround.wav" 0.02 441
    oggenc --quiet --serial 4 -q 0 -o "$dir/surround.ogg" "$SEEDS/surround.wav"
  fi
  # A stream whose set-up uses floor type 0, which no encoder here writes.
  cp "$ROOT/tests/data/audio/floor0-ball.ogg" "$dir/floor0.ogg"
}

# Writes the seeds made here for target $1 into folder $2.
make_seeds() {
  mkdir -p "$2"
  case $1 in
    fuzz_rar_archive) rar_archive_seeds "$2" ;;
    # The packed streams of the sample members, alone, in solid pairs and encrypted.
    fuzz_rar_unpack) "$OUT/tools/rarpack" --unpack-seeds "$2" ;;
    fuzz_text_parser) text_parser_seeds "$2" ;;
    fuzz_tokenizer) tokenizer_seeds "$2" ;;
    fuzz_font) font_seeds "$2" ;;
    fuzz_udf_reader) udf_seeds "$2" udf ;;
    fuzz_model_load) udf_seeds "$2" model ;;
    fuzz_camera_path) camera_path_seeds "$2" ;;
    fuzz_image_tga) image_tga_seeds "$2" ;;
    fuzz_image_bmp) image_bmp_seeds "$2" ;;
    fuzz_image_dds) image_dds_seeds "$2" ;;
    fuzz_image_any) image_any_seeds "$2" ;;
    fuzz_audio_sample) audio_sample_seeds "$2" ;;
  esac
}

# Every seed of target $1, one path a line in a fixed order, so that libFuzzer reads them
# in the same order whatever order the file system lists them in.
seed_list() {
  for dir in "$SEEDS/$1" "$ROOT/tests/fuzz/seeds/$1" "$ROOT/tests/fuzz/regressions/$1"; do
    [ -d "$dir" ] && find "$dir" -type f
  done | LC_ALL=C sort
}

# The figures of a finished run: inputs tried, coverage and corpus at the end.
summary() {
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$1")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$1")
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$1" | tail -n 1 | sed 's/.*DONE *//; s/ *lim:.*//')
  echo "  executed units: $units, new units: $added, $done_line"
}

# A check runs the targets at fixed addresses where the system allows it: a few paths of
# the engine depend on where its objects lie (pointers ordered or hashed), and with the
# layout drawn at random each run would cover them differently and go its own way.
LAYOUT=""
if [ "$MODE" = check ]; then
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    LAYOUT="setarch $(uname -m) -R"
  else
    echo "(this system does not run programs at fixed addresses: the check may vary a little)"
  fi
fi

failed=""
for target in $TARGETS; do
  if [ ! -x "$OUT/$target" ]; then
    echo "no fuzz target $target"
    failed="$failed $target"
    continue
  fi
  make_seeds "$target" "$SEEDS/$target"
  list=$SEEDS/$target.list
  # One line of names split by commas, with no line end: libFuzzer would take it as part
  # of the last name.
  seed_list "$target" | paste -s -d, - | tr -d '\n' > "$list"
  # The target runs in a folder of its own: what the engine writes to its working folder
  # (its text log, caches) and the inputs that fail land there, not in the checkout. A
  # check has folders apart from the explorations' and starts them empty, so nothing an
  # earlier run left there changes what this one does.
  if [ "$MODE" = check ]; then
    work=$OUT/check/$target
    rm -rf "$work"
  else
    work=$OUT/work/$target
  fi
  mkdir -p "$work"
  log=$work.log
  if [ "$MODE" = check ]; then
    regressions=$ROOT/tests/fuzz/regressions/$target
    if [ -d "$regressions" ]; then
      echo "== $target: the inputs under tests/fuzz/regressions/$target"
      # shellcheck disable=SC2046
      if ! (cd "$work" && within "$CHECK_LIMIT" "fuzz $target, its regression inputs" \
          "$OUT/$target" $(find "$regressions" -type f | LC_ALL=C sort)) >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz target $target fails on a committed regression input (named in the log above)"
        failed="$failed $target"
        continue
      fi
    fi
    runs=$(check_runs "$target")
    echo "== $target: $runs inputs from seed $CHECK_SEED"
    # Without the values of compares as mutation hints: among them are addresses, and the
    # inputs tried would follow them.
    set -- -seed="$CHECK_SEED" -runs="$runs" -reload=0 -use_cmp=0
    limit=$CHECK_LIMIT
  else
    corpus=$OUT/corpus/$target
    mkdir -p "$corpus"
    echo "== $target ($SECONDS_TO_RUN s)"
    set -- -max_total_time="$SECONDS_TO_RUN" "$corpus"
    limit=$((SECONDS_TO_RUN + CHECK_LIMIT))
  fi
  if [ -s "$list" ]; then
    set -- -seed_inputs=@"$list" "$@"
  fi
  # shellcheck disable=SC2086
  if ! (cd "$work" && within "$limit" "fuzz $target" $LAYOUT "$OUT/$target" -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/" "$@") \
        >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; the input that failed is named in the log above"
    failed="$failed $target"
    continue
  fi
  summary "$log"
done
if [ -n "$failed" ]; then
  echo "fuzz targets that failed:$failed"
  exit 1
fi
