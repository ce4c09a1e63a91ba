#!/usr/bin/env bash
# Writes small archives into the directory given, as seeds for the ZIP fuzzer: every method
# we read, encryption, data descriptors, ZIP64, directories, a comment, names of each kind.
set -euo pipefail
out="$(cd "${1:?usage: make_fuzz_seeds.sh <output directory>}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p tree/sub/empty
printf 'Factura 0001 importe 12,50\r\n%.0s' {1..20} > tree/text.txt
head -c 300 /dev/urandom > tree/noise.bin
: > tree/empty.txt
printf 'nested' > tree/sub/nested.txt

python3 - "$out" <<'PY'
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
  (cd tree && zip -q -r -P 'Quelbratzun%7' "$out/infozip-encrypted.zip" .)
  (cd tree && zip -q -r -Z bzip2 -P 'Quelbratzun%7' "$out/infozip-bzip2-encrypted.zip" .)
  (cd tree && zip -q -r -P 'Quelbratzun%7' - . > "$out/infozip-streamed-encrypted.zip")
  (cd tree && zip -q -r -fz "$out/infozip-zip64.zip" .)
fi
if command -v 7zz > /dev/null; then
  (cd tree && 7zz a -bd -tzip -mm=LZMA:eos -mem=ZipCrypto -p'Quelbratzun%7' \
    "$out/7z-lzma-encrypted.zip" . > /dev/null)
fi
