#!/usr/bin/env python3
"""Writes res/jotwell.ico: a 16-colour note (a page with a folded corner and
ruled lines, and a pencil) at the sizes Windows asks for from 100 % to 300 %
(16, 20, 24, 32, 40, 48, 64 and 96 pixels) and for Explorer's largest views
(256 pixels, stored as PNG as Windows does it), each drawn from the 16x16
picture pixel by pixel. Run it again after changing the picture; the icon file
is committed."""
import struct
import sys
import zlib

PALETTE = [  # the standard 16 colours, as (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
INK = {'K': 0, 'S': 7, 'G': 8, 'R': 9, 'Y': 11, 'B': 12, 'W': 15, 'N': 4}

PICTURE_16 = """\
................
.KKKKKKKKK......
.KWWWWWWWSK.....
.KWWWWWWWSSK....
.KWBBBBBWKKKK...
.KWWWWWWWWWWK...
.KWBBBBBBBBWK..R
.KWWWWWWWWWWK.RY
.KWBBBBBBBBWKRYK
.KWWWWWWWWWWRYK.
.KWBBBBBBBWRYK..
.KWWWWWWWWWGK...
.KWWWWWWWWGGK...
.KKKKKKKKKKKK...
................
................"""


SIZES = (256, 96, 64, 48, 40, 32, 24, 20, 16)
PNG_FROM = 256  # this size and larger are stored as PNG


def scale(rows, size):
    """Nearest neighbour: each target pixel takes the source pixel it falls on."""
    n = len(rows)
    return [''.join(rows[y * n // size][x * n // size] for x in range(size))
            for y in range(size)]


def image(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
                index = 0
            else:
                index = INK[c]
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def png(rows):
    size = len(rows)
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = bytearray()
    for row in rows:  # top-down, each row after a filter byte of 0
        raw.append(0)
        for c in row:
            raw += bytes((0, 0, 0, 0)) if c == '.' else bytes(PALETTE[INK[c]] + (255,))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def main(path):
    rows16 = PICTURE_16.splitlines()
    assert len(rows16) == 16 and all(len(r) == 16 for r in rows16)
    images = [(size, (png if size >= PNG_FROM else image)(scale(rows16, size)))
              for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = size % 256  # 0 stands for 256
        colours, bits = (0, 32) if size >= PNG_FROM else (16, 4)
        out += struct.pack('<BBBBHHII', side, side, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/jotwell.ico')
