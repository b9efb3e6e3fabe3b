#!/usr/bin/env python3
"""An independent writer and reader of the model formats, for the tests.

  model_files.py write DIR   writes the sample models into DIR
  model_files.py check FILE  parses a binary model, prints a summary, and fails
                             unless writing the parsed contents back gives the
                             same bytes
"""
import struct
import sys

MAGIC = bytes([0x17, 0xB3, 0xC6, 0x00])
FAN = 0xFFFFFFFD


def binary(colours, uvs, frames):
    """frames: (offset xyz, scale xyz, [(x, y, z, normal, colour index), ...])"""
    out = bytearray(MAGIC)
    out += struct.pack('<d', 1.02)
    out += struct.pack('<iii', len(frames), len(colours), len(uvs))
    for c in colours:
        out += struct.pack('<I', c)
    for u, v in uvs:
        out += struct.pack('<ff', u, v)
    for offset, scale, corners in frames:
        out += struct.pack('<i3f3f', len(corners), *offset, *scale)
        for corner in corners:
            out += bytes(corner)
    return bytes(out)


def parse(data):
    assert data[:4] == MAGIC, 'magic'
    (version,) = struct.unpack_from('<d', data, 4)
    assert version == 1.02, 'version'
    frame_count, colour_count, uv_count = struct.unpack_from('<iii', data, 12)
    pos = 24
    colours = list(struct.unpack_from('<%dI' % colour_count, data, pos))
    pos += 4 * colour_count
    flat = struct.unpack_from('<%df' % (2 * uv_count), data, pos)
    uvs = list(zip(flat[0::2], flat[1::2]))
    pos += 8 * uv_count
    frames = []
    for _ in range(frame_count):
        count, *rest = struct.unpack_from('<i3f3f', data, pos)
        pos += 28
        corners = [tuple(data[pos + 5 * k: pos + 5 * k + 5]) for k in range(count)]
        assert all(len(c) == 5 for c in corners), 'short corners'
        pos += 5 * count
        frames.append((tuple(rest[:3]), tuple(rest[3:]), corners))
    assert pos == len(data), 'trailing bytes'
    return colours, uvs, frames


def msha(tokens, separators):
    """The tokens joined by the separators in turn."""
    out = []
    for i, token in enumerate(tokens):
        out.append(str(token))
        if i + 1 < len(tokens):
            out.append(separators[i % len(separators)])
    return ''.join(out).encode()


def red_triangle():
    return msha(['MSHA', 1, 0, 1, 255, 0, 0, 3, 0, 0, 1, 0, 2, 0, 1, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0], [' '])


# Three frames of a quad of colour (10, 20, 30) and a triangle of (300, -1, 2.9)
# (the low bytes 44, 255, 2), uv pairs shared; frame k moves everything by k on x.
def three_frames():
    uvs = [(0, 0), (1, 0), (1, 1), (0, 1)]
    tokens = ['MSHA', '1.0', len(uvs)]
    for u, v in uvs:
        tokens += [u, v]
    tokens += [2, 10, 20, 30, 4, 0, 0, 1, 1, 2, 2, 3, 3]
    tokens += [300, -1, 2.9, 3, 1, 1, 4, 2, 2, 3]
    tokens += [3]
    for k in range(3):
        points = [(0, 0, 0), (2, 0, 0), (2, 2, 0), (0, 2, 0), (1, 3, -1)]
        tokens += [len(points)]
        for x, y, z in points:
            tokens += [x + k, y, z]
    separators = [' # a comment\r\n', '\t', '\r\n', '#' + 'x' * 600 + '\n', ' ', '\t#\n ', '#no space\n']
    return msha(tokens, separators)


def sample_binary():
    colours = [FAN, 0x0000FF, 0x00FF00, FAN]
    uvs = [(0, 0), (0.25, 0.5), (1, 0), (1, 1), (0, 1)]
    frames = []
    for k in range(2):
        corners = [(0, 0, 0, 0, 0), (0, 0, 128, 5, 1), (255, 0, 128, 6, 2), (255, 255, 128, 7, 1),
                   (0, 255 - k, 128, 161, 2)]
        frames.append(((0.0, 0.0, 128.0), (0.5, 0.25 * (k + 1), 1.0), corners))
    return binary(colours, uvs, frames)


def main():
    if sys.argv[1] == 'write':
        folder = sys.argv[2]
        for name, data in (('red.msha', red_triangle()), ('anim.msha', three_frames()),
                           ('sample.bin', sample_binary())):
            with open(folder + '/' + name, 'wb') as f:
                f.write(data)
        return 0
    with open(sys.argv[2], 'rb') as f:
        data = f.read()
    colours, uvs, frames = parse(data)
    if binary(colours, uvs, frames) != data:
        print('rewritten bytes differ')
        return 1
    print('frames %d colours %d uvs %d corners %s' % (len(frames), len(colours), len(uvs),
                                                      ','.join(str(len(f[2])) for f in frames)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
