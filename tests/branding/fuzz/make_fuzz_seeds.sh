#!/usr/bin/env bash
# Writes small images into the directory given, as seeds for the image decoding fuzzer: every
# format the updater takes, several frames, alpha, grey, and formats it refuses.
set -euo pipefail
out="$(cd "${1:?usage: make_fuzz_seeds.sh <output directory>}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

convert -size 12x9 gradient:red-blue source.png
for format in BMP3:seed.bmp seed.jpg seed.png seed.gif seed.tif seed.ico seed.tga seed.ppm; do
  convert source.png "$format"
done
convert -size 8x8 xc:red xc:blue frames.gif
convert -size 8x8 xc:red xc:blue frames.tif
convert -size 16x16 xc:red -size 32x32 xc:blue frames.ico
convert -size 256x256 xc:red seed-png-inside.ico
convert source.png -set comment "a text chunk" seed-text.png
convert source.png -alpha on -channel A -evaluate set 50% -compress none alpha.tif
convert source.png -colorspace gray -depth 8 grey.pgm && mv grey.pgm grey.pnm
convert source.png BMP3:jxr.bmp
JxrEncApp -i jxr.bmp -o seed.jxr > /dev/null
JxrEncApp -i jxr.bmp -o seed-lossy.jxr -q 0.5 > /dev/null
JxrEncApp -i alpha.tif -o alpha-planar.jxr -a 2 > /dev/null
JxrEncApp -i alpha.tif -o alpha-interleaved.jxr -a 3 > /dev/null
JxrEncApp -i grey.pnm -o grey.jxr > /dev/null
cp seed.* frames.* alpha-*.jxr grey.jxr "$out"/
