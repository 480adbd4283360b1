#!/bin/sh
# Checks that the engine's folders include one another one way only, the way the build
# links them: Core, then D3d, then Effect, then Scene and Gui side by side (neither
# includes the other), then Screen, then Dunmerrow. A folder includes its own headers and
# those of the folders below it; an include of a folder above it would be a call the
# libraries below cannot link.
#
# Besides the order: the platform layer stands for the system and includes no engine
# header; the audio library is a module of its own and includes none either; the audio
# library's interface is the saver's, so only Screen and Dunmerrow include it; no engine
# folder reaches into the platform's own files, the tests or the tools; and the platform's
# test interface belongs to the tests, so nothing the program is made of includes it.
#
# Prints each offending include or name as file:line and exits 1 when there is one.
#   usage: sh tools/check-layers.sh
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

# The rank of each engine folder; a folder may include a folder of lower rank, or its own.
rank() {
  case $1 in
    Core) echo 0 ;;
    D3d) echo 1 ;;
    Effect) echo 2 ;;
    Scene | Gui) echo 3 ;;
    Screen) echo 4 ;;
    Dunmerrow) echo 5 ;;
    *) echo "" ;;
  esac
}

# Every quoted include of a folder-qualified header: file:line:folder.
includes() {
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]+/' "$1" |
    sed -E 's/^([^:]+:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*"([A-Za-z0-9_]+)\/.*/\1:\2/'
}

failed=0
refuse() {
  echo "$1: $2" >&2
  failed=1
}

for folder in Core D3d Effect Scene Gui Screen Dunmerrow; do
  own=$(rank "$folder")
  for hit in $(includes "$folder"); do
    place=${hit%:*}
    target=${hit##*:}
    case $target in
      Audio)
        [ "$own" -ge 4 ] || refuse "$place" "$folder includes the audio library's interface (only Screen and above do)"
        continue
        ;;
      Platform | tests | tools | bench)
        refuse "$place" "$folder includes $target/, which the program is not made of"
        continue
        ;;
    esac
    theirs=$(rank "$target")
    if [ -z "$theirs" ]; then
      refuse "$place" "$folder includes $target/, which is no engine folder"
    elif [ "$target" != "$folder" ] && [ "$theirs" -ge "$own" ]; then
      refuse "$place" "$folder includes $target/, which is not below it"
    fi
  done
done

for folder in Platform Audio; do
  for hit in $(includes "$folder"); do
    target=${hit##*:}
    case $target in
      Core | D3d | Effect | Scene | Gui | Screen | Dunmerrow | Audio | tests | tools)
        refuse "${hit%:*}" "$folder includes $target/: it includes no engine header" ;;
    esac
  done
done

# The platform's test interface: the platform implements it, the tests, benchmarks and
# fuzz targets use it; nothing else may.
for hit in $(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([A-Za-z0-9_]+/)*PlatformTest' \
  Core D3d Effect Scene Gui Screen Dunmerrow Audio tools | cut -d: -f1,2); do
  refuse "$hit" "includes the platform's test interface, which only tests may"
done

# Includes are not the only way to point up: a header of the foundation or the device
# layer that names a class of a folder above it, even through a forward declaration, makes
# the lower layer speak of a meaning it cannot hold (a drawable that draws "with a
# Material" lives where materials do). The classes each folder defines at file scope in
# its headers, as "Name Folder" lines, and every identifier of a Core or D3d header outside
# its comments is matched against those of the folders above; a forward declaration must
# also name a class that Core or D3d defines.
classes_of() {
  for header in "$1"/*.h; do
    sed -nE 's/^(template <[^>]*> )?(class|struct|union|enum( class)?) ([A-Za-z_][A-Za-z0-9_]*)( final)?[[:space:]]*[:{].*/\4/p' "$header"
    sed -nE 's/^(template <[^>]*> )?(class|struct|union|enum( class)?) ([A-Za-z_][A-Za-z0-9_]*)( final)?[[:space:]]*$/\4/p' "$header"
  done | sort -u | sed "s|\$| $1|"
}
higher=$(for folder in Effect Scene Gui Screen Dunmerrow; do classes_of "$folder"; done)
lower=$(for folder in Core D3d; do classes_of "$folder"; done)
for hit in $(printf '%s\n' "$higher" | awk -v lower="$lower" '
  BEGIN { n = split(lower, l, "\n"); for (i = 1; i <= n; i++) { split(l[i], f, " "); below[f[1]] = 1 } }
  FNR == 1 && FILENAME != "-" { file = FILENAME }
  FILENAME == "-" { if (!($1 in below)) above[$1] = $2; next }
  {
    line = $0
    sub(/\/\/.*/, "", line)
    forward = line ~ /^[[:space:]]*(class|struct|union|enum( class)?) [A-Za-z_][A-Za-z0-9_]*;/
    if (forward && line ~ /^(class|struct|union|enum)/) {
      name = line
      sub(/^(class|struct|union|enum( class)?) /, "", name)
      sub(/;.*/, "", name)
      if (!(name in above) && !(name in below)) print file ":" FNR ":" name ":nowhere"
    }
    gsub(/"([^"\\]|\\.)*"/, "", line)
    gsub(/[^A-Za-z0-9_]+/, " ", line)
    k = split(line, words, " ")
    for (i = 1; i <= k; i++)
      if (words[i] in above && !seen[FNR, words[i]]++) print file ":" FNR ":" words[i] ":" above[words[i]]
  }' - Core/*.h D3d/*.h); do
  place=${hit%:*:*}
  rest=${hit#"$place":}
  name=${rest%%:*}
  where=${rest#*:}
  if [ "$where" = nowhere ]; then
    refuse "$place" "declares $name, a class that neither Core nor D3d defines"
  else
    refuse "$place" "names $name, a class of $where/, which is above it"
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "check-layers: an include or a name above breaks the order Core < D3d < Effect < Scene, Gui < Screen < Dunmerrow" >&2
  exit 1
fi
echo "check-layers: every include and every name of Core and D3d points down"
