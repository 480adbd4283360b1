#!/bin/sh
# Installs what building and testing Corvane needs on a Debian machine (run as root).
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libjpeg-dev libpng-dev zlib1g-dev clang libclang-rt-14-dev p7zip-full libarchive-tools unar rapidjson-dev googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-i686-dev mingw-w64-x86-64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 xvfb xauth x11-apps libgl1-mesa-dri imagemagick libfreetype-dev fonts-dejavu-core libsdl2-dev libstb-dev vorbis-tools glslang-tools"
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
