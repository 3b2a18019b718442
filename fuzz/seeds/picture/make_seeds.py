#!/usr/bin/env python3
# Writes the tiny seed pictures of the picture header fuzzer into this directory.
import os
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(here, name), 'wb') as f:
        f.write(data)


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)


def segment(marker, data):
    return b'\xff' + bytes([marker]) + struct.pack('>H', len(data) + 2) + data


raw = b'\x00' + b'\xff\x00\x00' * 2
write('tiny.png', b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 2, 1, 8, 2, 0, 0, 0)) +
      chunk(b'pHYs', struct.pack('>IIB', 5906, 5906, 1)) + chunk(b'IDAT', zlib.compress(raw)) +
      chunk(b'IEND', b''))
jfif = segment(0xE0, b'JFIF\x00\x01\x02\x01' + struct.pack('>HH', 300, 300) + b'\x00\x00')
sof = segment(0xC0, b'\x08' + struct.pack('>HH', 1, 2) + b'\x01\x01\x11\x00')
write('tiny-jfif.jpg', b'\xff\xd8' + jfif + sof + b'\xff\xd9')
tiff = (b'II*\x00\x08\x00\x00\x00' + struct.pack('<H', 3) +
        struct.pack('<HHII', 0x011A, 5, 1, 50) + struct.pack('<HHII', 0x011B, 5, 1, 50) +
        struct.pack('<HHIHH', 0x0128, 3, 1, 2, 0) + struct.pack('<I', 0) + struct.pack('<II', 72, 1))
write('tiny-exif.jpg', b'\xff\xd8' + segment(0xE1, b'Exif\x00\x00' + tiff) + sof + b'\xff\xd9')
write('tiny.gif', b'GIF89a' + struct.pack('<HH', 2, 3) + b'\x00\x00\x00' +
      b',\x00\x00\x00\x00\x02\x00\x03\x00\x00\x02\x02D\x01\x00;')
info = struct.pack('<IiiHHIIiiII', 40, 1, -1, 1, 24, 0, 4, 3780, 3780, 0, 0)
write('tiny.bmp', b'BM' + struct.pack('<IHHI', 58, 0, 0, 54) + info + b'\x00\x00\xff\x00')
core = struct.pack('<IHHHH', 12, 1, 1, 1, 24)
write('tiny-core.bmp', b'BM' + struct.pack('<IHHI', 30, 0, 0, 26) + core + b'\x00\x00\xff\x00')
