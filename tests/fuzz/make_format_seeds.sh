#!/usr/bin/env bash
# Writes the seed files of the formats other than BMP into tests/fuzz/corpus
# (tiny pictures made with ImageMagick from one 8 x 6 gray ramp, plus hand-made
# PNM files) and the minimal inputs of the faults found in them into
# tests/fuzz/regressions.
set -euo pipefail
cd "$(dirname "$0")"
scripts_deps="../../scripts/deps.sh"
"$scripts_deps" imagemagick python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/ramp.pgm" <<'PY'
import sys
w, h = 8, 6
open(sys.argv[1], "wb").write(b"P5 %d %d 255\n" % (w, h) + bytes((x * 31 + y * 7) % 256 for y in range(h) for x in range(w)))
PY
im() { convert "$work/ramp.pgm" -strip "$@"; }
im -define png:exclude-chunks=date,time corpus/seed-gray.png
im -colorspace sRGB -type TrueColor -define png:exclude-chunks=date,time corpus/seed-rgb.png
im -compress lzw corpus/seed-lzw.tif
im -compress zip -type TrueColor corpus/seed-zip-rgb.tif
im -type Palette -colors 6 -compress none corpus/seed-palette.tif
im -orient RightTop corpus/seed-orient6.tif
im -quality 80 corpus/seed-gray.jpg
im -type TrueColor -quality 80 corpus/seed-rgb.jpg
im -colors 8 corpus/seed.gif
im -define webp:lossless=true corpus/seed-lossless.webp
im -quality 50 corpus/seed-lossy.webp

python3 - <<'PY'
import struct
def put(name, data):
    open(name, "wb").write(data)
put("corpus/seed-plain.pgm", b"P2\n# plain gray\n4 2\n4095\n0 1 2048 4095\n17 300 4000 9\n")
put("corpus/seed-deep.pgm", b"P5 3 1 65535\n" + struct.pack(">3H", 0, 32896, 65535))
put("corpus/seed-plain.ppm", b"P3 2 1 255 255 0 0 0 128 255\n")
put("corpus/seed-raw.ppm", b"P6 2 2 255\n" + bytes(range(0, 240, 20)))
put("corpus/seed-packed.pbm", b"P1\n5 2\n0110110010\n")
put("corpus/seed-raw.pbm", b"P4 9 2\n\xa5\x80\x5a\x00")
# Faults: a sample above maxval; a strip cut short; a GIF cut inside its picture data; a palette
# TIFF whose colour map lies past the end; bit-fields with no mask bit; 10-bit
# bit-fields; an 8-bit BMP whose data starts after two palette entries.
put("regressions/fault4-pgm-above-maxval.pgm", b"P2 2 1 10 3 11\n")
gif = open("corpus/seed.gif", "rb").read()
put("regressions/fault4-gif-cut.gif", gif[: len(gif) - 8])
tags = [(256, 3, 1, 2), (257, 3, 1, 1), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 3),
        (273, 4, 1, 122), (278, 3, 1, 1), (279, 4, 1, 2), (320, 3, 768, 5000)]
tif = b"II*\0" + struct.pack("<IH", 8, len(tags))
for t in tags:
    tif += struct.pack("<HHII", *t)
put("regressions/fault4-tiff-colormap-past-end.tif", tif + struct.pack("<I", 0) + b"\x01\x02")
# A gray TIFF whose only strip promises 64 bytes and holds 30.
tags = [(256, 3, 1, 8), (257, 3, 1, 8), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 1),
        (273, 4, 1, 8 + 2 + 9 * 12 + 4), (278, 3, 1, 8), (279, 4, 1, 64)]
tif = b"II*\0" + struct.pack("<IH", 8, len(tags) + 1)
for t in tags + [(284, 3, 1, 1)]:
    tif += struct.pack("<HHII", *t)
put("regressions/fault4-tiff-short-strip.tif", tif + struct.pack("<I", 0) + bytes(range(0, 240, 8)))
def bmp(width, height, bits, extra, pixels, compression=0, offset=None):
    start = 54 + len(extra)
    head = b"BM" + struct.pack("<IHHI", start + len(pixels), 0, 0, start if offset is None else offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels), 0, 0, 0, 0)
    return head + info + extra + pixels
put("regressions/fault4-bmp-zero-masks.bmp", bmp(2, 1, 32, bytes(12), b"\xff" * 8, 3))
masks = struct.pack("<3I", 0x3FF00000, 0x000FFC00, 0x000003FF)
put("regressions/fault4-bmp-10bit-fields.bmp", bmp(2, 1, 32, masks, struct.pack("<2I", 0x3FFFFFFF, 0x20080200), 3))
put("regressions/fault4-bmp-short-palette.bmp", bmp(4, 1, 8, b"\x10\x20\x30\0\xf0\xe0\xd0\0", b"\x01\x00\x01\x01"))
PY
ls -la corpus/seed-* regressions/fault4-* | awk '{print $5, $9}'
