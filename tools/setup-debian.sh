#!/bin/sh
# Installs what building and testing Corvane needs on a Debian machine (run as root).
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libjpeg-dev libpng-dev zlib1g-dev clang libclang-rt-14-dev p7zip-full libarchive-tools unar rapidjson-dev googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-i686-dev mingw-w64-x86-64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 xvfb xauth x11-apps libgl1-mesa-dri imagemagick libfreetype-dev fonts-dejavu-core libsdl2-dev libstb-dev vorbis-tools glslang-tools"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends $missing
fi
