#!/bin/sh
# Times unar extracting the archives bench/bench_rar_unpack.cpp unpacks (the bench corpus
# packed by rarpack: stored, LZ, the waveform in multimedia with 2 channels, LZ encrypted,
# solid), and prints its MB/s of unpacked bytes beside our reader's from the benchmark.
#   usage: tools/rar-vs-unar.sh [build folder, default build/release] [runs, default 5]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
RUNS=${2:-5}
RARPACK=$BUILD/tools/rarpack
BENCH=$BUILD/corvane_bench
command -v unar >/dev/null 2>&1 || { echo "unar is not installed (Debian: unar)"; exit 1; }
[ -x "$RARPACK" ] || { echo "no rarpack in $BUILD: build the release preset first"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$RARPACK" --write-bench "$WORK/corpus"
mkdir "$WORK/wave"
mv "$WORK/corpus/wave.raw" "$WORK/wave/"
"$RARPACK" "$WORK/wave" "$WORK/Multimedia.rar" --multimedia 2
mv "$WORK/wave/wave.raw" "$WORK/corpus/"
"$RARPACK" "$WORK/corpus" "$WORK/Stored.rar"
"$RARPACK" "$WORK/corpus" "$WORK/Lz.rar" --compress
"$RARPACK" "$WORK/corpus" "$WORK/Encrypted.rar" --compress --password bench
"$RARPACK" "$WORK/corpus" "$WORK/Solid.rar" --solid
BYTES=$(find "$WORK/corpus" -type f -exec cat {} + | wc -c)
WAVE=$(wc -c < "$WORK/corpus/wave.raw")

now() { date +%s.%N; }
echo "unpacked bytes: $BYTES ($WAVE for multimedia); unar: best of $RUNS runs (process start included)"
for kind in Stored Lz Multimedia Encrypted Solid; do
  best=""
  i=0
  while [ $i -lt "$RUNS" ]; do
    rm -rf "$WORK/out"
    mkdir "$WORK/out"
    start=$(now)
    if [ $kind = Encrypted ]; then
      unar -q -D -o "$WORK/out" -p bench "$WORK/$kind.rar" >/dev/null
    else
      unar -q -D -o "$WORK/out" "$WORK/$kind.rar" >/dev/null
    fi
    end=$(now)
    t=$(awk "BEGIN { print $end - $start }")
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
    i=$((i + 1))
  done
  size=$BYTES
  [ $kind = Multimedia ] && size=$WAVE
  awk "BEGIN { printf \"unar  %-11s %8.1f MB/s (%.3f s)\\n\", \"$kind\", $size / $best / 1000000, $best }"
done

if [ -x "$BENCH" ]; then
  "$BENCH" --benchmark_filter='BM_RarUnpack' --benchmark_format=console 2>/dev/null |
    sed -n 's/^BM_RarUnpack\([A-Za-z]*\) .*bytes_per_second=\([0-9.]*[kMG]\)\/s.*/ours  \1 \2iB\/s (in-process)/p'
else
  echo "no corvane_bench in $BUILD (needs Google Benchmark): our figures are missing"
fi
