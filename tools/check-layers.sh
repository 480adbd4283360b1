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

# Includes are not the only way to point up: a file that names a class of a folder above
# it, even through a forward declaration, or one of that folder's program-wide objects (its
# The... accessors), makes the lower layer speak of a meaning it cannot hold (a drawable
# that draws "with a Material" lives where materials do; an effect that reads the
# application's record of render switches takes an option that is the application's to
# hand down). The classes and accessors each folder defines at file scope in its headers,
# as "Name Folder" lines; every identifier of every header and source of a folder, outside
# comments, strings and member accesses, is matched against those of the folders above it
# (and, for Scene and Gui, of the other). A forward declaration in a header of Core or D3d
# must also name a class that Core or D3d defines.
names_of() {
  for header in "$1"/*.h; do
    sed -nE 's/^(template <[^>]*> )?(class|struct|union|enum( class)?) ([A-Za-z_][A-Za-z0-9_]*)( final)?[[:space:]]*[:{].*/\4/p' "$header"
    sed -nE 's/^(template <[^>]*> )?(class|struct|union|enum( class)?) ([A-Za-z_][A-Za-z0-9_]*)( final)?[[:space:]]*$/\4/p' "$header"
    sed -nE 's/^[A-Za-z_][A-Za-z0-9_:<>, *&]*[ *&](The[A-Z][A-Za-z0-9_]*)\(.*/\1/p' "$header"
  done | sort -u | sed "s|\$| $1|"
}
folders="Core D3d Effect Scene Gui Screen Dunmerrow"
defined=$(for folder in $folders; do names_of "$folder"; done)
for folder in $folders; do
  own=$(rank "$folder")
  higher=""
  for other in $folders; do
    [ "$other" != "$folder" ] && [ "$(rank "$other")" -ge "$own" ] && higher="$higher $other"
  done
  [ -n "$higher" ] || continue
  for hit in $(printf '%s\n' "$defined" | awk -v higher="$higher" -v low="$own" '
    BEGIN { n = split(higher, h, " "); for (i = 1; i <= n; i++) up[h[i]] = 1 }
    FNR == 1 && FILENAME != "-" { file = FILENAME }
    FILENAME == "-" {
      if ($2 in up) { if (!($1 in mine)) above[$1] = $2 }
      else { mine[$1] = 1; delete above[$1] }
      if ($2 == "Core" || $2 == "D3d") foundation[$1] = 1
      next
    }
    {
      line = $0
      sub(/\/\/.*/, "", line)
      forward = line ~ /^(class|struct|union|enum( class)?) [A-Za-z_][A-Za-z0-9_]*;/
      if (forward && low <= 1 && file ~ /\.h$/) {
        name = line
        sub(/^(class|struct|union|enum( class)?) /, "", name)
        sub(/;.*/, "", name)
        if (!(name in above) && !(name in foundation)) print file ":" FNR ":" name ":nowhere"
      }
      gsub(/\047([^\047\\]|\\.)*\047/, "", line)
      gsub(/"([^"\\]|\\.)*"/, "", line)
      gsub(/(\.|->)[[:space:]]*[A-Za-z_][A-Za-z0-9_]*/, " ", line)
      gsub(/[^A-Za-z0-9_]+/, " ", line)
      k = split(line, words, " ")
      for (i = 1; i <= k; i++)
        if (words[i] in above && !seen[file, FNR, words[i]]++) print file ":" FNR ":" words[i] ":" above[words[i]]
    }' - "$folder"/*.h "$folder"/*.cpp); do
    place=${hit%:*:*}
    rest=${hit#"$place":}
    name=${rest%%:*}
    where=${rest#*:}
    if [ "$where" = nowhere ]; then
      refuse "$place" "declares $name, a class that neither Core nor D3d defines"
    else
      refuse "$place" "names $name, a name of $where/, which is not below it"
    fi
  done
done

if [ "$failed" -ne 0 ]; then
  echo "check-layers: an include or a name above breaks the order Core < D3d < Effect < Scene, Gui < Screen < Dunmerrow" >&2
  exit 1
fi
echo "check-layers: every include and every name of the engine's folders points down"
