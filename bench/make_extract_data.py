#!/usr/bin/env python3
"""Writes the extraction benchmark's source tree: about 300 MB of what an update holds.

Text (invoice-like lines and program text), executables-like binary (a small vocabulary of
machine words with random operands: compressible, but not much), and random bytes (images,
already compressed resources), in files from a few KB to tens of MB, in a few directories.
Deterministic: the same tree every time.
"""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(1234)
WORDS = ("factura cliente importe total iva base descuento fecha serie numero albaran "
         "proveedor linea cantidad precio unidad almacen cobro pago vencimiento").split()


def text(size):
    lines = []
    length = 0
    while length < size:
        if rng.random() < 0.5:
            line = "%s %06d %s %8.2f EUR %s\n" % (rng.choice(WORDS), rng.randrange(10**6),
                                                rng.choice(WORDS), rng.random() * 10000,
                                                " ".join(rng.choices(WORDS, k=rng.randrange(2, 9))))
        else:
            line = "    if (%s_%d > %d) { %s(%s, %d); }\n" % (rng.choice(WORDS), rng.randrange(50),
                                                           rng.randrange(1000), rng.choice(WORDS),
                                                           rng.choice(WORDS), rng.randrange(99))
        lines.append(line)
        length += len(line)
    return "".join(lines).encode()[:size]


def machine(size):
    vocabulary = [os.urandom(4) for _ in range(512)]
    out = bytearray()
    while len(out) < size:
        out += b"".join(rng.choices(vocabulary, k=2048))
        out += os.urandom(rng.randrange(64, 1024))
    return bytes(out[:size])


def write(path, data):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)


MB = 1 << 20
for i in range(30):
    write("docs/informe%02d.txt" % i, text(rng.randrange(2 * MB, 5 * MB)))
for i in range(400):
    write("Plantillas/p%03d/plantilla.rtf" % i, text(rng.randrange(8 << 10, 90 << 10)))
for i in range(12):
    write("Lib/modulo%02d.dll" % i, machine(rng.randrange(4 * MB, 12 * MB)))
write("Quendral.exe", machine(25 * MB))
for i in range(10):
    write("Recursos/imagen%02d.jpg" % i, os.urandom(rng.randrange(3 * MB, 9 * MB)))
for i in range(200):
    write("Recursos/iconos/i%03d.png" % i, os.urandom(rng.randrange(2 << 10, 60 << 10)))
