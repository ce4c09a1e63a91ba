#!/usr/bin/env bash
# Writes small archives into the directory given, as seeds for the ZIP fuzzer: every method
# we read, encryption, data descriptors, ZIP64, directories, a comment, names of each kind, and
# several encrypted entries whose decoding takes a while, so that with several threads some are
# decrypted together. Each archive is written twice, behind the fuzzer's thread byte: once for
# one thread, once for two. Seeds stay below the fuzzer's -max_len (16 KiB).
set -euo pipefail
out="$(cd "${1:?usage: make_fuzz_seeds.sh <output directory>}" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../../scripts/lib/constants.sh
source "$here/../../scripts/lib/constants.sh"
# The fuzzer decrypts with the zip tests' password.
password="$(zip_test_password)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
seeds="$work/seeds"
mkdir -p tree/sub/empty "$seeds"
printf 'Factura 0001 importe 12,50\r\n%.0s' {1..20} > tree/text.txt
# Bytes that do not compress, the same in every run.
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(1).randbytes(300))' \
  > tree/noise.bin
: > tree/empty.txt
printf 'nested' > tree/sub/nested.txt

python3 - "$seeds" <<'PY'
import sys, zipfile, io
out = sys.argv[1]
methods = {'stored': zipfile.ZIP_STORED, 'deflated': zipfile.ZIP_DEFLATED,
           'bzip2': zipfile.ZIP_BZIP2, 'lzma': zipfile.ZIP_LZMA}
for label, method in methods.items():
    with zipfile.ZipFile(f'{out}/py-{label}.zip', 'w', method) as z:
        z.write('tree/text.txt', 'text.txt')
        z.write('tree/noise.bin', 'dir/noise.bin')
        z.writestr('dir/', b'')
        z.writestr('empty.txt', b'')
    buffer = io.BytesIO()
    class Pipe(io.RawIOBase):  # unseekable: entries get data descriptors
        def writable(self): return True
        def write(self, b): return buffer.write(b)
    with zipfile.ZipFile(Pipe(), 'w', method) as z:
        z.writestr('streamed.txt', b'streamed ' * 20)
    open(f'{out}/py-{label}-streamed.zip', 'wb').write(buffer.getvalue())
with zipfile.ZipFile(f'{out}/py-names.zip', 'w') as z:
    dos = zipfile.ZipInfo('dir\\dos.txt'); dos.create_system = 0; dos.external_attr = 0x21
    z.writestr(dos, b'dos')
    z.writestr('\u00f1and\u00fa.txt', b'utf-8')
    z.comment = b'Actualizacion'
PY

if command -v zip > /dev/null; then
  (cd tree && zip -q -r -P "$password" "$seeds/infozip-encrypted.zip" .)
  (cd tree && zip -q -r -Z bzip2 -P "$password" "$seeds/infozip-bzip2-encrypted.zip" .)
  (cd tree && zip -q -r -P "$password" - . > "$seeds/infozip-streamed-encrypted.zip")
  (cd tree && zip -q -r -fz "$seeds/infozip-zip64.zip" .)
  # Eight entries of a quarter MiB that deflate to a few hundred bytes each, and four that do
  # not compress: while a thread decodes one of the large ones, the others wait in the queue, and
  # the next thread to take work takes several.
  mkdir many
  python3 - many <<'PY'
import random, sys
for i in range(8):
    open(f'{sys.argv[1]}/invoices{i}.txt', 'wb').write(f'Factura {i:04d} importe 12,50\r\n'.encode() * 9000)
for i in range(4):
    open(f'{sys.argv[1]}/noise{i}.bin', 'wb').write(random.Random(i).randbytes(1500))
PY
  (cd many && zip -q -r -P "$password" "$seeds/infozip-encrypted-many.zip" .)
fi
if command -v 7zz > /dev/null; then
  (cd tree && 7zz a -bd -tzip -mm=LZMA:eos -mem=ZipCrypto -p"$password" \
    "$seeds/7z-lzma-encrypted.zip" . > /dev/null)
fi
if command -v 7zz > /dev/null; then
  for method in Deflate64 PPMd; do
    (cd tree && 7zz a -bd -tzip -mm=$method "$seeds/7z-$method.zip" . > /dev/null)
    (cd tree && 7zz a -bd -tzip -mm=$method -mem=ZipCrypto -p"$password" \
      "$seeds/7z-$method-encrypted.zip" . > /dev/null)
  done
  # Our own sources at order 16 fill a PPMd model of 1 MiB twice within the seed's size: the
  # model restarts, or is cut off.
  # Not cat | head: once zip/ holds more than that, cat would die of SIGPIPE and, with
  # pipefail, end the script.
  cat "$here"/../../zip/*.cpp > source.txt
  truncate -s '<60000' source.txt
  for restoration in 0 1; do
    7zz a -bd -tzip -mm=PPMd:o=16:mem=1m:a=$restoration "$seeds/7z-PPMd-full-$restoration.zip" \
      source.txt > /dev/null
  done
fi
# Shrink and implode as PKZIP wrote them (the small archives of tests/zip/data).
cp "$here/data/cc_SHRUNK.ZIP" "$seeds/pkzip-shrink.zip"
cp "$here/data/cc_imploding-4Kdict-2trees.zip" "$seeds/pkzip-implode-4k-2trees.zip"
cp "$here/data/cc_imploding-8Kdict-3trees.zip" "$seeds/pkzip-implode-8k-3trees.zip"

# Reduce 1 to 4: no tool writes it any more, so a small stream is made here: empty follower
# sets (256 six-bit zero counts, 192 bytes), then the bytes as they are, with one copy
# (escape byte 144, the length and high distance bits, the low distance bits).
# WavPack: Debian's encoder makes the data, stored as method 97.
wav=""
if command -v wavpack > /dev/null; then
  python3 - tree/sound.wav <<'PY'
import math, struct, sys
samples = b''.join(struct.pack('<h', int(9000 * math.sin(i / 9))) for i in range(3000))
fmt = struct.pack('<HHIIHH', 1, 1, 8000, 16000, 2, 16)
body = b'WAVEfmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(samples)) + samples
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY
  wavpack -q -y tree/sound.wav -o sound.wv
  wav=tree/sound.wav
fi
python3 - "$seeds" "$wav" <<'PY'
import struct, sys, zlib
out, wav = sys.argv[1], sys.argv[2]

def archive(path, entries):
    local, central = b'', b''
    for name, method, flags, payload, data in entries:
        name = name.encode()
        fields = struct.pack('<HHHHHIIIHH', 20, flags, method, 0x6000, 0x5821, zlib.crc32(data),
                             len(payload), len(data), len(name), 0)
        central += b'PK\x01\x02' + struct.pack('<H', 20) + fields + struct.pack('<HHHII', 0, 0, 0, 0, len(local)) + name
        local += b'PK\x03\x04' + fields + name + payload
    end = struct.pack('<4sHHHHIIH', b'PK\x05\x06', 0, 0, len(entries), len(entries), len(central), len(local), 0)
    open(path, 'wb').write(local + central + end)

class Bits:
    def __init__(self): self.value, self.count = 0, 0
    def put(self, value, count): self.value |= value << self.count; self.count += count
    def bytes(self): return self.value.to_bytes((self.count + 7) // 8, 'little')

text = b'Factura 0001, importe 12,50 EUR. ' * 3
for factor in range(1, 5):
    bits = Bits()
    for _ in range(256): bits.put(0, 6)
    for byte in text[:33]: bits.put(byte, 8)
    # A copy of the 66 bytes that follow, from 33 back: length 66 - 3 in two steps when it does
    # not fit the length bits of this factor.
    mask = 0xFF >> factor
    length, distance = len(text) - 33 - 3, 33 - 1
    bits.put(144, 8)
    if length < mask:
        bits.put(length | (distance >> 8) << (8 - factor), 8)
    else:
        bits.put(mask | (distance >> 8) << (8 - factor), 8)
        bits.put(length - mask, 8)
    bits.put(distance & 0xFF, 8)
    archive(f'{out}/reduce{factor}.zip', [('text.txt', 1 + factor, 0, bits.bytes(), text)])
if wav:
    archive(f'{out}/wavpack.zip',
            [('sound.wav', 97, 0, open('sound.wv', 'rb').read(), open(wav, 'rb').read())])
PY

# The fuzzer's first byte chooses the decoding threads: 0 for one, 1 for two.
for seed in "$seeds"/*; do
  name="$(basename "$seed")"
  { printf '\x00'; cat "$seed"; } > "$out/$name"
  { printf '\x01'; cat "$seed"; } > "$out/threads2-$name"
done
