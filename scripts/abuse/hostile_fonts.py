#!/usr/bin/env python3
"""Writes hostile fonts, made by damaging a real TrueType font in known ways, into a
folder, and prints one line per case: "NAME<TAB>FILE<TAB>EXTRA ARGS" (the size and
other options corvane-font is run with).

Usage: hostile_fonts.py FONT.ttf OUTDIR
"""
import os
import random
import struct
import sys


def tables(data):
    count = struct.unpack_from(">H", data, 4)[0]
    found = {}
    for i in range(count):
        tag, _, offset, length = struct.unpack_from(">4sIII", data, 12 + 16 * i)
        found[tag.decode("latin-1")] = (offset, length, 12 + 16 * i)
    return found


def patch(data, table, at, fmt, *values):
    out = bytearray(data)
    offset = tables(data)[table][0]
    struct.pack_into(fmt, out, offset + at, *values)
    return bytes(out)


def flip(data, table, count, seed):
    rng = random.Random(seed)
    out = bytearray(data)
    offset, length, _ = tables(data)[table]
    for _ in range(count):
        out[offset + rng.randrange(length)] = rng.randrange(256)
    return bytes(out)


def cases(font):
    t = tables(font)
    hmtx_count = struct.unpack_from(">H", font, t["hhea"][0] + 34)[0]
    size = ["--size", "20"]
    yield "ascender-minus-32768", patch(font, "hhea", 4, ">h", -32768), size
    yield "descender-plus-32767", patch(font, "hhea", 6, ">h", 32767), size
    yield "ascender-and-descender-swapped-extremes", patch(patch(font, "hhea", 4, ">h", -32768), "hhea", 6, ">h", 32767), size
    yield "line-height-65535-units", patch(patch(font, "hhea", 4, ">h", 32767), "hhea", 6, ">h", -32768), size
    typo = patch(patch(font, "OS/2", 68, ">h", -32768), "OS/2", 62, ">H", 0x80)   # USE_TYPO_METRICS
    yield "typo-ascender-minus-32768", typo, size
    yield "units-per-em-16-size-64", patch(font, "head", 18, ">H", 16), ["--size", "64"]
    yield "units-per-em-16-size-20", patch(font, "head", 18, ">H", 16), size
    yield "units-per-em-0", patch(font, "head", 18, ">H", 0), size
    yield "units-per-em-1", patch(font, "head", 18, ">H", 1), size
    yield "units-per-em-65535", patch(font, "head", 18, ">H", 65535), size
    wide = bytearray(font)
    for i in range(hmtx_count):
        struct.pack_into(">H", wide, t["hmtx"][0] + 4 * i, 65535)
    yield "every-advance-65535", bytes(wide), size
    yield "metrics-count-0", patch(font, "hhea", 34, ">H", 0), size
    yield "glyph-count-0", patch(font, "maxp", 4, ">H", 0), size
    yield "glyph-count-65535", patch(font, "maxp", 4, ">H", 65535), size
    yield "table-past-the-end", patch_record(font, "glyf", 1 << 30), size
    yield "loca-past-the-end", patch_record(font, "loca", len(font) - 8), size
    for cut in (0, 12, 100, 1000, 20000, len(font) // 2, len(font) - 1):
        yield "cut-at-%d" % cut, font[:cut], size
    for seed in range(5):
        yield "glyf-bytes-changed-%d" % seed, flip(font, "glyf", 400, seed), size
    yield "cmap-bytes-changed", flip(font, "cmap", 60, 7), size
    yield "loca-bytes-changed", flip(font, "loca", 60, 8), size
    yield "head-bytes-changed", flip(font, "head", 12, 9), size
    yield "text-named-ttf", b"this is not a font\n" * 10, size
    yield "outline-64-at-size-64", font, ["--size", "64", "--outline", "64"]
    yield "256-characters-outline-8", font, ["--size", "40", "--chars", "256", "--outline", "8"]


def patch_record(data, table, offset):
    out = bytearray(data)
    record = tables(data)[table][2]
    struct.pack_into(">I", out, record + 8, offset)
    return bytes(out)


def main():
    font = open(sys.argv[1], "rb").read()
    out = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name, data, args in cases(font):
        path = os.path.join(out, name + ".ttf")
        with open(path, "wb") as f:
            f.write(data)
        print("\t".join([name, path] + args))


if __name__ == "__main__":
    main()
