#!/usr/bin/env python3
"""Writes the seed corpus of the BMP reader's fuzzing target into the folder given (default:
corpus/ beside this script) and the inputs of past faults into the second
folder given (default: regressions/): every bit count, run-length files with deltas and
early ends, top-down rows, OS/2, V4 and V5 headers, 1 x 1 and odd widths.

Files named same-* are complete, ordinary files that any BMP reader decodes to
the same pixels; rle-* files skip pixels on purpose; hdr* files use info
headers that only some readers know."""
import os
import struct
import sys


def file_header(total, offset):
    return b"BM" + struct.pack("<IHHI", total, 0, 0, offset)


def info_header(size, width, height, bits, compression=0, image_size=0, colours=0,
                masks=None, ppm=(2835, 2835)):
    if size == 12:
        return struct.pack("<IHHHH", 12, width, height, 1, bits)
    body = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_size,
                       ppm[0], ppm[1], colours, 0)
    if size >= 52:
        m = list(masks or (0, 0, 0, 0))
        body += struct.pack("<III", *m[:3])
        if size >= 56:
            body += struct.pack("<I", m[3] if len(m) > 3 else 0)
    return body.ljust(size, b"\0")


def bmp(width, height, bits, rows, palette=None, size=40, compression=0, top_down=False,
        masks=None, trailing_masks=None, colours=0, offset=None, data=None):
    """rows: list (top row first) of lists of raw pixel values."""
    entry = 3 if size == 12 else 4
    pal = b""
    for r, g, b in palette or []:
        pal += bytes((b, g, r)) + (b"" if entry == 3 else b"\0")
    extra = b"" if trailing_masks is None else struct.pack("<III", *trailing_masks)
    if data is None:
        data = b""
        stored = rows if top_down else list(reversed(rows))
        for row in stored:
            line = b""
            if bits == 1 or bits == 4:
                acc, n = 0, 0
                per = 8 // bits
                for v in row:
                    acc = (acc << bits) | v
                    n += 1
                    if n == per:
                        line += bytes((acc,))
                        acc, n = 0, 0
                if n:
                    line += bytes((acc << (bits * (per - n)),))
            elif bits == 8:
                line = bytes(row)
            elif bits == 16:
                line = b"".join(struct.pack("<H", v) for v in row)
            elif bits == 24:
                line = b"".join(struct.pack("<I", v)[:3] for v in row)
            else:
                line = b"".join(struct.pack("<I", v) for v in row)
            data += line.ljust((len(line) + 3) // 4 * 4, b"\0")
    heads = 14 + size + len(extra) + len(pal)
    if offset is None:
        offset = heads
    h = -height if top_down else height
    info = info_header(size, width, h, bits, compression, len(data), colours, masks)
    body = info + extra + pal
    gap = b"\0" * max(0, offset - heads)
    total = 14 + len(body) + len(gap) + len(data)
    return file_header(total, offset) + body + gap + data


def grays(n):
    return [(i * 255 // max(1, n - 1),) * 3 for i in range(n)]


def colourful(n):
    return [((i * 97) % 256, (i * 31) % 256, 255 - i) for i in range(n)]


def pattern(width, height, modulo):
    return [[(x * 3 + y * 7 + x * y) % modulo for x in range(width)] for y in range(height)]


def files():
    out = {}
    # Palette pictures.
    out["same-1bit-1x1"] = bmp(1, 1, 1, [[1]], [(0, 0, 0), (255, 255, 255)])
    out["same-1bit-dark-first-13x3"] = bmp(13, 3, 1, pattern(13, 3, 2), [(0, 0, 0), (250, 250, 250)])
    out["same-1bit-light-first-9x4"] = bmp(9, 4, 1, pattern(9, 4, 2), [(255, 255, 255), (20, 0, 40)])
    out["same-1bit-topdown-17x2"] = bmp(17, 2, 1, pattern(17, 2, 2), [(0, 0, 0), (255, 255, 255)], top_down=True)
    out["same-1bit-os2-11x3"] = bmp(11, 3, 1, pattern(11, 3, 2), [(9, 9, 9), (200, 100, 50)], size=12)
    out["same-4bit-5x3"] = bmp(5, 3, 4, pattern(5, 3, 16), colourful(16))
    out["same-4bit-os2-7x2"] = bmp(7, 2, 4, pattern(7, 2, 16), grays(16), size=12)
    out["same-4bit-5-colours-3x3"] = bmp(3, 3, 4, pattern(3, 3, 5), colourful(5), colours=5)
    out["same-8bit-1x1"] = bmp(1, 1, 8, [[200]], grays(256))
    out["same-8bit-7x5"] = bmp(7, 5, 8, pattern(7, 5, 256), grays(256))
    out["same-8bit-topdown-6x4"] = bmp(6, 4, 8, pattern(6, 4, 256), grays(256), top_down=True)
    out["same-8bit-v4-5x3"] = bmp(5, 3, 8, pattern(5, 3, 256), colourful(256), size=108)
    out["same-8bit-v5-3x5"] = bmp(3, 5, 8, pattern(3, 5, 256), grays(256), size=124)
    out["same-8bit-os22-4x4"] = bmp(4, 4, 8, pattern(4, 4, 256), grays(256), size=64)
    out["same-8bit-os2-5x2"] = bmp(5, 2, 8, pattern(5, 2, 256), grays(256), size=12)
    out["same-8bit-20-colours-9x2"] = bmp(9, 2, 8, pattern(9, 2, 20), colourful(20), colours=20)
    out["same-8bit-gap-4x3"] = bmp(4, 3, 8, pattern(4, 3, 256), grays(256), offset=14 + 40 + 1024 + 10)
    # Colour pictures.
    out["same-16bit-555-5x3"] = bmp(5, 3, 16, [[(x * 4099 + y * 977) & 0x7fff for x in range(5)] for y in range(3)])
    out["same-16bit-565-7x2"] = bmp(7, 2, 16, [[(x * 9151 + y * 1237) & 0xffff for x in range(7)] for y in range(2)],
                                    compression=3, trailing_masks=(0xf800, 0x07e0, 0x001f))
    out["same-16bit-565-v4-3x3"] = bmp(3, 3, 16, [[(x * 20011 + y * 333) & 0xffff for x in range(3)] for y in range(3)],
                                       size=108, compression=3, masks=(0xf800, 0x07e0, 0x001f, 0))
    out["same-16bit-topdown-3x2"] = bmp(3, 2, 16, [[x * 1000 + y * 31 for x in range(3)] for y in range(2)], top_down=True)
    out["same-24bit-1x1"] = bmp(1, 1, 24, [[0x123456]])
    out["same-24bit-5x3"] = bmp(5, 3, 24, [[(x * 0x1f3a71 + y * 0x0b0c0d) & 0xffffff for x in range(5)] for y in range(3)])
    out["same-24bit-topdown-3x4"] = bmp(3, 4, 24, [[(x * 0x331122 + y * 0x10203) & 0xffffff for x in range(3)] for y in range(4)], top_down=True)
    out["same-32bit-3x3"] = bmp(3, 3, 32, [[(x * 0x1f3a71 + y * 0x0b0c0d) & 0xffffffff for x in range(3)] for y in range(3)])
    out["same-32bit-fields-2x3"] = bmp(2, 3, 32, [[(x * 0x01f3a71 + y * 0x90b0c0d) & 0xffffffff for x in range(2)] for y in range(3)],
                                       compression=3, trailing_masks=(0xff0000, 0xff00, 0xff))
    out["same-32bit-v5-4x2"] = bmp(4, 2, 32, [[(x * 0x7f3a71 + y * 0x0b0c0d) & 0xffffff for x in range(4)] for y in range(2)],
                                   size=124)
    # Info headers of 52 and 56 bytes: masks inside the header.
    out["hdr52-16bit-565-3x2"] = bmp(3, 2, 16, [[x * 5000 + y for x in range(3)] for y in range(2)], size=52,
                                     compression=3, masks=(0xf800, 0x07e0, 0x001f))
    out["hdr56-8bit-3x2"] = bmp(3, 2, 8, pattern(3, 2, 256), grays(256), size=56)
    # Run-length files: complete ones, then ones that skip pixels.
    rle8 = bytes([3, 10, 0, 3, 1, 2, 3, 0, 0, 0,  # row 0: run + odd literal, then end of line
                  2, 20, 0, 4, 5, 6, 7, 8, 0, 0,  # row 1
                  6, 30, 0, 1])                   # row 2, end of bitmap
    out["same-rle8-6x3"] = bmp(6, 3, 8, None, grays(256), compression=1, data=rle8)
    rle4 = bytes([5, 0x12, 0, 0,
                  0, 3, 0x34, 0x50, 2, 0x67, 0, 0,
                  4, 0x89, 1, 0xab, 0, 1])
    out["same-rle4-5x3"] = bmp(5, 3, 4, None, colourful(16), compression=2, data=rle4)
    out["rle8-delta-8x6"] = bmp(8, 6, 8, None, colourful(256), compression=1,
                                data=bytes([2, 7, 0, 2, 3, 2, 2, 9, 0, 0, 1, 4, 0, 1]))
    out["rle8-early-end-9x9"] = bmp(9, 9, 8, None, grays(256), compression=1, data=bytes([4, 200, 0, 1]))
    out["rle8-nothing-set-64x64"] = bmp(64, 64, 8, None, grays(256), compression=1, data=bytes([0, 1]))
    out["rle4-delta-7x4"] = bmp(7, 4, 4, None, grays(16), compression=2,
                                data=bytes([3, 0xf1, 0, 2, 1, 1, 0, 5, 0x9a, 0xbc, 0xd0, 0, 0, 0, 4, 0, 2, 0x77, 0, 1]))
    out["rle4-early-end-5x5"] = bmp(5, 5, 4, None, colourful(16), compression=2, data=bytes([0, 0, 3, 0x4e, 0, 1]))
    return out


def regressions():
    """The smallest inputs of the faults that opening files once had."""
    out = {}
    # An info header of 16 bytes, read by one reader in the 12-byte layout
    # (2000 x 2000, 8 bits) while a length check took bytes 30-33 as a
    # compression: 1,074 bytes opened as a whole picture.
    head = struct.pack("<IHHHH", 16, 2000, 2000, 1, 8) + bytes(4)
    palette = bytes([1, 0, 0]) + bytes(765)  # its first bytes read as compression 1
    body = head + palette + bytes(276)
    out["fault1-info-size-16"] = file_header(14 + len(body), 14 + 16 + 768) + body
    # A data offset inside the headers: the length check counted from it, the
    # rows were read from after the palette.
    full = bmp(100, 100, 8, [[0] * 100] * 100, grays(256), offset=0)
    out["fault1-offset-inside-headers"] = full[:10000]
    # The last rows missing from a plain file.
    out["fault1-rows-missing"] = bmp(40, 30, 24, [[0x406080] * 40] * 30)[:-40 * 3 * 7]
    # A run-length file that sets no pixel, and one that jumps over most.
    out["fault2-rle8-sets-nothing-64x64"] = bmp(64, 64, 8, None, grays(256), compression=1, data=bytes([0, 1]))
    out["fault2-rle4-delta-32x32"] = bmp(32, 32, 4, None, grays(16), compression=2,
                                         data=bytes([4, 0xff, 0, 2, 9, 20, 3, 0x81, 0, 1]))
    # A run-length stream cut short, inside a literal run.
    out["fault2-rle8-cut"] = bmp(16, 16, 8, None, grays(256), compression=1, data=bytes([5, 9, 0, 9, 1, 2]))
    # 54 bytes claiming width 2^31 - 1 and height -2^31 at 32 bits: signed overflow.
    info = struct.pack("<IiiHHIIiiII", 40, 0x7fffffff, -0x80000000, 1, 32, 0, 0, 0, 0, 0, 0)
    out["fault3-overflow-54-bytes"] = file_header(54, 54) + info
    # 34 bytes claiming 2.4 GB (30000 x 20000 at 24 bits, OS/2 header).
    out["fault3-34-bytes-claiming-2gb"] = file_header(34, 26) + struct.pack("<IHHHH", 12, 30000, 20000, 1, 24) + bytes(8)
    return out


def write_all(folder, named):
    os.makedirs(folder, exist_ok=True)
    for name, data in named.items():
        with open(os.path.join(folder, name + ".bmp"), "wb") as f:
            f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_all(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus"), files())
    write_all(sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "regressions"), regressions())


if __name__ == "__main__":
    main()
