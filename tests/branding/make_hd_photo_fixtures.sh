#!/bin/bash
# Makes the HD Photo fixtures of HdPhotoImageTest in the given folder, with ImageMagick and
# libjxr's encoder, on the build machine: under Wine the test reads them from there.
#
# pattern.jxr: 40 x 30, 24-bit BGR, blocks of red, a blue band (columns 10-19), lime (columns
#   20-29, top half) and white (columns 30-39, bottom half).
# alpha.jxr: the pattern at half opacity, 32-bit BGRA.
# grey.jxr: 40 x 30, 8-bit grey, 20% with an 80% band in columns 10-19.
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
pattern=(-size 40x30 xc:red -fill blue -draw 'rectangle 10,0 19,29' -fill lime
         -draw 'rectangle 20,0 29,14' -fill white -draw 'rectangle 30,15 39,29')
convert "${pattern[@]}" -type TrueColor BMP3:pattern.bmp
JxrEncApp -i pattern.bmp -o pattern.jxr > /dev/null
convert "${pattern[@]}" -alpha set -channel A -evaluate set 50% +channel -depth 8 \
  -compress none alpha.tif
JxrEncApp -i alpha.tif -o alpha.jxr -a 3 > /dev/null
convert -size 40x30 xc:'gray(20%)' -fill 'gray(80%)' -draw 'rectangle 10,0 19,29' -depth 8 \
  grey.pgm
mv grey.pgm grey.pnm  # JxrEncApp knows the extension .pnm only
JxrEncApp -i grey.pnm -o grey.jxr > /dev/null
mkdir -p "$out"
cp pattern.jxr alpha.jxr grey.jxr "$out"/
