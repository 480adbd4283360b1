#!/bin/sh
# Checks the constants of our platform headers against the real headers of the mingw-w64
# cross-compiler. One generated program prints every object-like macro the given headers
# define; it is built once against Platform/include and run here, and once against the real
# headers and run under Wine. The two lists must be the same, name for name and value for
# value; a name one side lacks prints as MISSING.
#   usage: tools/check-platform-constants.sh [header ...]
#   (default: windef.h winerror.h winuser.h wingdi.h winbase_resources.h)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- windef.h winerror.h winuser.h wingdi.h winbase_resources.h
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
{
  echo '#include <windows.h>'
  echo '#include <stdint.h>'
  echo '#include <stdio.h>'
  echo 'int main() {'
  for header in "$@"; do
    # Object-like macros only; MAKEINTRESOURCE names a function-like macro.
    sed -n 's/^#define \([A-Za-z_][A-Za-z0-9_]*\)[ 	].*/\1/p' "$ROOT/Platform/include/$header" |
      grep -v '^MAKEINTRESOURCE$' |
      while read -r name; do
        printf '#ifdef %s\nprintf("%s %%lld\\n", (long long)(intptr_t)(%s));\n#else\nprintf("%s MISSING\\n");\n#endif\n' \
          "$name" "$name" "$name" "$name"
      done
  done
  echo 'return 0; }'
} > "$WORK/constants.cpp"
g++ -std=c++20 -I"$ROOT/Platform/include" "$WORK/constants.cpp" -o "$WORK/ours"
x86_64-w64-mingw32-g++ -std=c++20 -static "$WORK/constants.cpp" -o "$WORK/real.exe"
"$WORK/ours" | sort > "$WORK/ours.txt"
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
WINEPREFIX=${WINEPREFIX:-$WORK/prefix} WINEDEBUG=-all "$WINE" "$WORK/real.exe" 2>/dev/null | tr -d '\r' | sort > "$WORK/real.txt"
if diff "$WORK/ours.txt" "$WORK/real.txt"; then
  echo "$(wc -l < "$WORK/ours.txt") constants agree with the real headers"
else
  echo "our headers differ from the real ones (< ours, > real)"
  exit 1
fi
