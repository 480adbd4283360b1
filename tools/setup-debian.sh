#!/bin/sh
# Installs what building and testing Corvane needs on a Debian machine (run as root).
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libjpeg-dev libpng-dev zlib1g-dev clang libclang-rt-14-dev p7zip-full libarchive-tools unar rapidjson-dev googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-i686-dev mingw-w64-x86-64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 xvfb xauth x11-apps libgl1-mesa-dri imagemagick libfreetype-dev fonts-dejavu-core libsdl2-dev libvorbis-dev libogg-dev dpkg-dev vorbis-tools glslang-tools"
# The product is a 32-bit program: its build is tested under 32-bit Wine, with 32-bit Mesa
# behind Wine's Direct3D, where the kernel runs 32-bit programs (tools/can-run-i386.sh).
PACKAGES="$PACKAGES wine32:i386 libgl1-mesa-dri:i386 libgl1:i386 libglx-mesa0:i386"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends $missing
fi

# The Windows builds compile the Vorbis decoder from the very sources of the Linux one:
# Debian's source packages of the installed libvorbis and libogg, with Debian's patches
# applied as apt-get source applies them, unpacked into a fixed folder outside the checkout
# (the build reads them from CORVANE_DEBIAN_SOURCES, this folder by default).
SOURCES=${CORVANE_DEBIAN_SOURCES:-/usr/local/src/corvane}
debian_sources_present() {
  for p in libogg libvorbis; do
    v=$(dpkg-query -W -f='${source:Upstream-Version}' "$p-dev")
    [ -f "$SOURCES/$p-$v/.corvane-unpacked" ] || return 1
  done
}
# A deb-src entry for every Debian entry of the machine, where it has none: the same mirror,
# suites and components, read from the machine's own lists, so that no host is named here.
add_deb_src() {
  if grep -qs '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
     grep -qsi '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources; then
    return 0
  fi
  # One-line entries: a Debian archive is one whose address ends in /debian or
  # /debian-security and that carries the main component.
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    grep -E '^[[:space:]]*deb[[:space:]]' "$f" | grep -E '/debian(-security)?/?[[:space:]].*[[:space:]]main([[:space:]]|$)' |
      sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /'
  done > /etc/apt/sources.list.d/corvane-deb-src.list
  [ -s /etc/apt/sources.list.d/corvane-deb-src.list ] || rm -f /etc/apt/sources.list.d/corvane-deb-src.list
  # deb822 stanzas, the same test on their URIs and Components.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != /etc/apt/sources.list.d/corvane-deb-src.sources ] || continue
    awk 'function flush() {
           if (stanza != "" && deb && uris ~ /\/debian(-security)?\/?( |$)/ && comps ~ /(^| )main( |$)/)
             printf "%s\n", stanza
           stanza = ""; deb = 0; uris = ""; comps = ""
         }
         /^[ \t]*$/ { flush(); next }
         /^#/ { next }
         /^Types:/ { deb = ($0 ~ /[ \t]deb([ \t]|$)/); stanza = stanza "Types: deb-src\n"; next }
         /^URIs:/ { uris = $0; sub(/^URIs:[ \t]*/, "", uris) }
         /^Components:/ { comps = $0; sub(/^Components:[ \t]*/, "", comps) }
         { stanza = stanza $0 "\n" }
         END { flush() }' "$f"
  done > /etc/apt/sources.list.d/corvane-deb-src.sources
  [ -s /etc/apt/sources.list.d/corvane-deb-src.sources ] || rm -f /etc/apt/sources.list.d/corvane-deb-src.sources
  # A plain update: one restricted to the new file would drop the other lists.
  apt-get update
}
if ! debian_sources_present; then
  add_deb_src
  mkdir -p "$SOURCES"
  for p in libogg libvorbis; do
    v=$(dpkg-query -W -f='${source:Version}' "$p-dev")
    u=$(dpkg-query -W -f='${source:Upstream-Version}' "$p-dev")
    rm -rf "$SOURCES/$p-$u"
    (cd "$SOURCES" && apt-get source "$p=$v")
    touch "$SOURCES/$p-$u/.corvane-unpacked"
  done
fi
