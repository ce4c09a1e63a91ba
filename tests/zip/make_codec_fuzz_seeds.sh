#!/usr/bin/env bash
# Writes seeds for the codec fuzzer (CodecFuzzer.cpp) into the directory given: the data of every
# unencrypted entry of the ZIP fuzzer's seeds (make_fuzz_seeds.sh: each method we read, made by
# the usual tools) and of the real archives in tests/zip/data, each behind the header the fuzzer
# reads (method, declared size, flags, split seed). Data longer than the fuzzer's -max_len
# (16 KiB) is cut, with a declared size that ends the output within what is left, so that the
# longer real streams of the methods that end at the declared size (shrink, reduce, implode,
# PPMd) still decode whole.
set -euo pipefail
out="$(cd "${1:?usage: make_codec_fuzz_seeds.sh <output directory>}" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash "$here/make_fuzz_seeds.sh" "$work"

python3 - "$out" "$work" "$here/data" <<'PY'
import glob, hashlib, struct, sys, zipfile
out, archives = sys.argv[1], glob.glob(f'{sys.argv[2]}/*') + glob.glob(f'{sys.argv[3]}/*.[zZ][iI][pP]')
# The fuzzer's method byte is an index into this list (zip/codecs/Codecs.h).
methods = [0, 1, 2, 3, 4, 5, 6, 8, 9, 12, 14, 97, 98]
header_size, max_len = 11, 16384
written = set()
for path in sorted(archives):
    with open(path, 'rb') as file:
        raw = file.read()
    try:
        # zipfile finds the archive behind the ZIP fuzzer's leading byte as it would behind a
        # self-extractor's code.
        archive = zipfile.ZipFile(path)
    except zipfile.BadZipFile:
        continue
    for entry in archive.infolist():
        if entry.flag_bits & 1 or entry.compress_type not in methods or entry.is_dir():
            continue
        name_length, extra_length = struct.unpack_from('<HH', raw, entry.header_offset + 26)
        start = entry.header_offset + 30 + name_length + extra_length
        data = raw[start:start + entry.compress_size]
        size = entry.file_size
        room = max_len - header_size
        if len(data) > room:
            # Stored data ends with the input; the others' output is declared at half of what
            # the data left gives at the entry's average ratio, since the ratio varies along it.
            size = room if entry.compress_type == 0 else size * room // len(data) // 2
            data = data[:room]
        seed = struct.pack('<BIHI', methods.index(entry.compress_type), size, entry.flag_bits,
                           len(written) + 1) + data
        digest = hashlib.sha1(seed[header_size:] + seed[:7]).hexdigest()
        if digest not in written:
            written.add(digest)
            with open(f'{out}/method{entry.compress_type}-{digest[:12]}', 'wb') as file:
                file.write(seed)
PY
