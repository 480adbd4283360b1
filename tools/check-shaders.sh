#!/bin/sh
# Compiles every shader of the effect sources with glslang, an HLSL compiler that owes
# nothing to the system's: for every definition set the engine compiles a source with
# (tools/ShaderVariants.h), each pass's entry, as vertex or pixel shader, in Direct3D 9
# compatibility. glslang preprocesses the source with the set's definitions; shadersplit
# (a tool of the release build) reads the passes and leaves plain HLSL, one file per entry
# with the source's line numbers. One message per entry that does not compile, with the
# compiler's errors under it; any failure fails the check.
#
# It judges types and syntax, not what the shader models allow beyond them: glslang
# compiles to SPIR-V, so the instruction-slot and register limits of vs_1_1 or ps_2_0 are
# not checked.
#
# Before the folder, the check proves it can fail: a copy of the media's own Distort.fx
# with a constant of the wrong type must fail each of its entries, with messages naming
# the file, the set, the entry and the line.
#   usage: tools/check-shaders.sh [folder of the effect sources, default Media/Shaders]
# Needs the release build (SHADERSPLIT names another shadersplit) and glslang-tools.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
FOLDER=${1:-$ROOT/Media/Shaders}
SPLIT=${SHADERSPLIT:-$ROOT/build/release/tools/shadersplit}
if ! command -v glslangValidator >/dev/null 2>&1; then
  echo "FAIL shader check: glslangValidator is missing (tools/setup-debian.sh installs glslang-tools)"
  exit 1
fi
if [ ! -x "$SPLIT" ]; then
  echo "FAIL shader check: $SPLIT is missing (build the release preset first)"
  exit 1
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
TAB=$(printf '\t')

# Prints the compiler's errors of one run (file $1) under a failure, the checked file ($2)
# named as the source ($3).
show_errors() {
  if grep -q '^ERROR: ' "$1"; then
    grep '^ERROR: ' "$1" | grep -v 'compilation errors\.' | sed "s|$2|$3|g; s/^/    /"
  else
    tail -n 5 "$1" | sed 's/^/    /'
  fi
}

# check <folder> <work folder> [source]: every set of every source (or of that one) in the
# folder; prints a line per failure and leaves the counts in $checked and $failed.
check() {
  folder=$1 work=$2 only=${3:-}
  checked=0 failed=0 set=0
  "$SPLIT" sets > "$work/sets"
  while IFS="$TAB" read -r file description definitions; do
    [ -z "$only" ] || [ "$file" = "$only" ] || continue
    set=$((set + 1))
    where="$file [$description]"
    out=$work/$set
    mkdir -p "$out"
    if [ ! -r "$folder/$file" ]; then
      echo "FAILED $where: cannot read $folder/$file"
      failed=$((failed + 1))
      continue
    fi
    # The definitions are split into their arguments on purpose.
    # shellcheck disable=SC2086
    if ! glslangValidator -D -E -S vert $definitions "$folder/$file" > "$out/source" 2> "$out/messages" < /dev/null; then
      echo "FAILED $where: the preprocessor refuses it"
      show_errors "$out/messages" "$folder/$file" "$folder/$file"
      failed=$((failed + 1))
      continue
    fi
    if ! "$SPLIT" split "$out/source" "$out" > "$out/stages" 2> "$out/messages" < /dev/null; then
      echo "FAILED $where: $(cat "$out/messages")"
      failed=$((failed + 1))
      continue
    fi
    while IFS="$TAB" read -r stage entry shader compiled technique; do
      checked=$((checked + 1))
      if ! glslangValidator -V -o /dev/null -D --hlsl-dx9-compatible -S "$stage" -e "$entry" "$shader" \
          > "$out/messages" 2>&1 < /dev/null; then
        echo "FAILED $where: $compiled (technique $technique) does not compile"
        show_errors "$out/messages" "$shader" "$folder/$file"
        failed=$((failed + 1))
      fi
    done < "$out/stages"
  done < "$work/sets"
}

# The planted error: a float4 where a float3x3 belongs, in a static constant, which the
# separation keeps and every entry of the source compiles.
mkdir -p "$WORK/planted/sources" "$WORK/planted/work"
cp "$ROOT/Media/Shaders/Distort.fx" "$WORK/planted/sources/Distort.fx"
echo "static const float3x3 kPlanted = float4(1, 2, 3, 4);" >> "$WORK/planted/sources/Distort.fx"
line=$(wc -l < "$WORK/planted/sources/Distort.fx")
if (check "$WORK/planted/sources" "$WORK/planted/work" Distort.fx; echo "checked $checked"; [ "$failed" -eq 0 ]) \
    > "$WORK/planted/log"; then
  echo "FAIL shader check: a copy of Distort.fx with a type error compiles"
  exit 1
fi
planted_checked=$(sed -n 's/^checked //p' "$WORK/planted/log")
planted_failed=$(grep -c '^FAILED Distort\.fx \[.*\]: [vp]s_[0-9]_[0-9] .* (technique .*) does not compile$' \
  "$WORK/planted/log" || true)
if [ "$planted_failed" -eq 0 ] || [ "$planted_failed" -ne "${planted_checked:-0}" ] ||
    ! grep -q "Distort\.fx:$line: " "$WORK/planted/log"; then
  echo "FAIL shader check: a copy of Distort.fx with a type error on line $line was not refused by each entry:"
  cat "$WORK/planted/log"
  exit 1
fi

mkdir -p "$WORK/check"
check "$FOLDER" "$WORK/check"
echo "check-shaders: $checked entries through glslang, $failed failed (a planted type error was refused)"
[ "$failed" -eq 0 ]
