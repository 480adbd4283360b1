#!/bin/sh
# Makes a fixture of each kind with imagetool and checks what imagetool's reader says of
# it. Where ImageMagick is installed, its reading of every lossless fixture must give the
# same texels as ours, byte for byte: an independent reader of what our writers make.
# usage: check-imagetool.sh <imagetool> <work folder>
set -eu
TOOL=$1
WORK=$2
rm -rf "$WORK"
mkdir -p "$WORK"
MAGICK=
if convert -version 2>/dev/null | grep -q 'Version: ImageMagick'; then MAGICK=convert; fi
failed=0

# name, expected info line, then the make arguments after the file name.
check() {
  name=$1
  expected=$2
  compare=$3
  shift 3
  "$TOOL" make "$WORK/$name" "$@"
  got=$("$TOOL" info "$WORK/$name")
  if [ "$got" != "$expected" ]; then
    echo "FAILED: $name: info '$got', expected '$expected'"
    failed=1
  fi
  if [ -n "$MAGICK" ] && [ "$compare" = compare ]; then
    "$TOOL" dump "$WORK/$name" "$WORK/$name.ours"
    # -auto-orient: ImageMagick keeps a TGA's rows in stored order unless asked to turn them.
    "$MAGICK" "$WORK/$name" -auto-orient -depth 8 "RGBA:$WORK/$name.theirs"
    if ! cmp -s "$WORK/$name.ours" "$WORK/$name.theirs"; then
      echo "FAILED: $name: ImageMagick reads other texels"
      failed=1
    fi
  fi
}

check g24.bmp "BMP 33x17 depth 1 levels 1 format R8G8B8 texture" compare 33 17 gradient
check g32.bmp "BMP 33x17 depth 1 levels 1 format A8R8G8B8 texture" compare 33 17 gradient --alpha --header 124
check p8.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 gradient --bits 8 --top-down
check p4.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 checker --bits 4 --cell 3
check p1.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 checker --bits 1 --header 12
check rle.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 checker --rle --cell 5
check rle4.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 gradient --rle --bits 4
# Rows that end early; then rows of colour 0 jumped over and an early end of the bitmap,
# which ImageMagick reads as we do but reports as an unexpected end of the file.
check ends4.bmp "BMP 33x17 depth 1 levels 1 format P8 texture" compare 33 17 checker --rle --bits 4 --jumps --cell 5
check jumps4.bmp "BMP 10x30 depth 1 levels 1 format P8 texture" none 10 30 checker --rle --bits 4 --jumps --cell 12
check jumps8.bmp "BMP 10x30 depth 1 levels 1 format P8 texture" none 10 30 checker --rle --jumps --cell 12
check r565.bmp "BMP 33x17 depth 1 levels 1 format R5G6B5 texture" none 33 17 gradient --bits 16 --565
check g.tga "TGA 33x17 depth 1 levels 1 format A8R8G8B8 texture" compare 33 17 gradient --alpha
check rle.tga "TGA 33x17 depth 1 levels 1 format R8G8B8 texture" compare 33 17 checker --rle --format R8G8B8
check top.tga "TGA 33x17 depth 1 levels 1 format A8R8G8B8 texture" compare 33 17 gradient --top-down --rle
check grey.tga "TGA 33x17 depth 1 levels 1 format L8 texture" compare 33 17 ramp --format L8
check map.tga "TGA 33x17 depth 1 levels 1 format P8 texture" compare 33 17 gradient --palette
check x555.tga "TGA 33x17 depth 1 levels 1 format X1R5G5B5 texture" none 33 17 gradient --format X1R5G5B5
check rgb.png "PNG 33x17 depth 1 levels 1 format X8R8G8B8 texture" compare 33 17 gradient
check rgba.png "PNG 33x17 depth 1 levels 1 format A8R8G8B8 texture" compare 33 17 gradient --alpha --interlace
check pal.png "PNG 33x17 depth 1 levels 1 format P8 texture" compare 33 17 gradient --palette
check grey.png "PNG 33x17 depth 1 levels 1 format L8 texture" compare 33 17 ramp --png grey
check deep.png "PNG 33x17 depth 1 levels 1 format A16B16G16R16 texture" compare 33 17 gradient --png rgba --depth 16
check photo.jpg "JPG 33x17 depth 1 levels 1 format X8R8G8B8 texture" none 33 17 gradient --quality 80
check grey.jpg "JPG 33x17 depth 1 levels 1 format L8 texture" none 33 17 ramp --grey --progressive
check argb.dds "DDS 32x16 depth 1 levels 6 format A8R8G8B8 texture" compare 32 16 gradient --alpha --mips 0
check xrgb.dds "DDS 32x16 depth 1 levels 1 format X8R8G8B8 texture" compare 32 16 checker --format X8R8G8B8
check r565.dds "DDS 32x16 depth 1 levels 3 format R5G6B5 texture" none 32 16 gradient --format R5G6B5 --mips 3
check l8.dds "DDS 32x16 depth 1 levels 1 format L8 texture" none 32 16 ramp --format L8
check dxt1.dds "DDS 32x16 depth 1 levels 6 format DXT1 texture" none 32 16 gradient --format DXT1 --mips 0
check dxt5.dds "DDS 32x16 depth 1 levels 1 format DXT5 texture" none 32 16 gradient --alpha --format DXT5
check cube.dds "DDS 16x16 depth 1 levels 5 format A8R8G8B8 cube" none 16 16 checker --cube --mips 0

# What is not an image, or asks for what cannot be written, is refused with a message.
printf 'not an image at all, not even a TGA' > "$WORK/bad.bin"
if "$TOOL" info "$WORK/bad.bin" > /dev/null 2>&1; then
  echo "FAILED: text was taken for an image"
  failed=1
fi
if "$TOOL" make "$WORK/x.gif" 4 4 solid > /dev/null 2>&1; then
  echo "FAILED: an unknown extension was accepted"
  failed=1
fi
if "$TOOL" make "$WORK/x.dds" 4 4 solid --format P8 > /dev/null 2>&1; then
  echo "FAILED: a DDS of P8 was accepted"
  failed=1
fi
[ "$failed" = 0 ] || exit 1
echo "imagetool fixtures: OK${MAGICK:+ (and ImageMagick reads them alike)}"
