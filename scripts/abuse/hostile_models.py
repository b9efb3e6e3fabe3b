#!/usr/bin/env python3
"""Writes hostile model files, one per case, into a folder, and prints one line
per case: "NAME<TAB>FILE<TAB>EXTRA ARGS". Each file is small (the largest, an MD2
with 60,000 frames, is 3 MB) and made from the formats' public layouts.

Usage: hostile_models.py OUTDIR
"""
import json
import base64
import os
import random
import struct
import sys


def md2(frames, tris=1, verts=3, shift=0.001, header=None, tri_index=None):
    frame_size = 40 + 4 * verts
    ofs_st = 68
    ofs_tris = ofs_st + 4 * 3
    ofs_frames = ofs_tris + 12 * tris
    ofs_cmd = ofs_frames + frames * frame_size
    fields = [8, 64, 64, frame_size, 0, verts, 3, tris, 1, frames, ofs_st, ofs_st, ofs_tris, ofs_frames,
              ofs_cmd, ofs_cmd + 4]
    for k, v in (header or {}).items():
        fields[k] = v
    out = bytearray(b"IDP2" + struct.pack("<16i", *fields))
    out += struct.pack("<6h", 0, 0, 63, 0, 0, 63)
    for t in range(tris):
        out += struct.pack("<6H", *(tri_index or (0, 1, 2)), 0, 1, 2)
    body = bytes([0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0] + [7, 7, 7, 0] * (verts - 3))
    for k in range(frames):
        out += struct.pack("<6f", 1 / 255, 1 / 255, 1 / 255, k * shift, 0, 0) + b"frame".ljust(16, b"\0") + body
    out += struct.pack("<i", 0)
    return bytes(out)


def md3(frames=2, surfaces=1, cut=None, surface_override=None):
    verts, tris = 3, 1
    surf = bytearray(b"IDP3" + b"s".ljust(64, b"\0"))
    ofs_tris = 108
    ofs_shaders = ofs_tris + 12 * tris
    ofs_st = ofs_shaders
    ofs_xyz = ofs_st + 8 * verts
    ofs_end = ofs_xyz + 8 * verts * frames
    fields = [0, frames, 0, verts, tris, ofs_tris, ofs_shaders, ofs_st, ofs_xyz, ofs_end]
    for k, v in (surface_override or {}).items():
        fields[k] = v
    surf += struct.pack("<10i", *fields)
    surf += struct.pack("<3i", 0, 1, 2)
    surf += struct.pack("<6f", 0, 0, 1, 0, 0, 1)
    for k in range(frames):
        for p in ((0, 0, 0), (64, 0, 0), (0, 64, k)):
            surf += struct.pack("<3hH", *p, 0)
    ofs_frames = 108
    ofs_tags = ofs_frames + 56 * frames
    ofs_surfaces = ofs_tags
    head = b"IDP3" + struct.pack("<i", 15) + b"m".ljust(64, b"\0")
    head += struct.pack("<10i", 0, frames, 0, surfaces, 0, ofs_frames, ofs_tags, ofs_surfaces,
                        ofs_surfaces + len(surf), 0)[:40]
    head = head[:108]
    frames_block = b"".join(struct.pack("<10f", -1, -1, -1, 1, 1, 1, 0, 0, 0, 1) + b"f".ljust(16, b"\0")
                            for _ in range(frames))
    data = head + frames_block + bytes(surf)
    return data[:cut] if cut else data


def gltf(times=(0.0, 1.0), node_count=1, nodes=None, accessor_count=None, index=None, extra_buffer=None):
    """A triangle with a translation animation whose key times are `times`."""
    positions = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)
    indices = struct.pack("<3H", *(index or (0, 1, 2))) + b"\0\0"
    key_times = struct.pack("<%df" % len(times), *times)
    key_values = struct.pack("<%df" % (3 * len(times)), *([0.0, 0.0, 0.0] * len(times)))
    buf = positions + indices + key_times + key_values
    views = [(0, len(positions)), (len(positions), 6), (len(positions) + 8, len(key_times)),
             (len(positions) + 8 + len(key_times), len(key_values))]
    finite = [t for t in times if t == t and abs(t) != float("inf")] or [0.0]
    doc = {
        "asset": {"version": "2.0"}, "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": nodes if nodes is not None else [{"mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": accessor_count or 3, "type": "VEC3",
             "min": [0, 0, 0], "max": [1, 1, 0]},
            {"bufferView": 1, "componentType": 5123, "count": 3, "type": "SCALAR"},
            {"bufferView": 2, "componentType": 5126, "count": len(times), "type": "SCALAR",
             "min": [min(finite)], "max": [max(finite)]},
            {"bufferView": 3, "componentType": 5126, "count": len(times), "type": "VEC3"}],
        "bufferViews": [{"buffer": 0, "byteOffset": o, "byteLength": n} for o, n in views],
        "buffers": [{"byteLength": len(buf),
                     "uri": "data:application/octet-stream;base64," + base64.b64encode(buf).decode()}],
        "animations": [{"channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}}],
                        "samplers": [{"input": 2, "output": 3}]}],
    }
    if extra_buffer:
        doc["buffers"].append(extra_buffer)
    return json.dumps(doc).encode()


def deep_gltf(depth):
    nodes = [{"children": [i + 1]} for i in range(depth - 1)] + [{"mesh": 0}]
    return gltf(nodes=nodes)


def ply_ascii(vertices=3, faces=1, face_count=None, body_cut=None, index=(0, 1, 2)):
    head = ("ply\nformat ascii 1.0\nelement vertex %d\nproperty float x\nproperty float y\nproperty float z\n"
            "element face %d\nproperty list uchar int vertex_indices\nend_header\n"
            % (vertices, face_count if face_count is not None else faces))
    body = "".join("%d 0 0\n" % i for i in range(vertices)) + "".join("3 %d %d %d\n" % index for _ in range(faces))
    data = (head + body).encode()
    return data[:body_cut] if body_cut else data


def ply_binary(vertices=3, faces=1, cut=None, face_count=None):
    head = ("ply\nformat binary_little_endian 1.0\nelement vertex %d\nproperty float x\nproperty float y\n"
            "property float z\nelement face %d\nproperty list uchar int vertex_indices\nend_header\n"
            % (vertices, face_count if face_count is not None else faces)).encode()
    body = b"".join(struct.pack("<3f", i, 0, 0) for i in range(vertices))
    body += b"".join(struct.pack("<B3i", 3, 0, 1, 2) for _ in range(faces))
    data = head + body
    return data[:cut] if cut else data


def obj_big_face(corners):
    import math
    lines = ["v %f %f 0" % (math.cos(i * 6.283 / corners), math.sin(i * 6.283 / corners)) for i in range(corners)]
    lines.append("f " + " ".join(str(i + 1) for i in range(corners)))
    return ("\n".join(lines) + "\n").encode()


def stl_binary(count, real=1):
    tri = struct.pack("<12fH", 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0)
    return b"\0" * 80 + struct.pack("<I", count) + tri * real


def collada_deep(depth):
    opening = "".join('<node id="n%d">' % i for i in range(depth))
    closing = "</node>" * depth
    return ('<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">'
            '<library_visual_scenes><visual_scene id="s">%s%s</visual_scene></library_visual_scenes>'
            '<scene><instance_visual_scene url="#s"/></scene></COLLADA>' % (opening, closing)).encode()


def cases():
    rng = random.Random(26)
    good_obj = b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
    yield "gltf-lasting-1e7-s", "long7.gltf", gltf(times=(0.0, 1e7)), []
    yield "gltf-lasting-3e8-s", "long8.gltf", gltf(times=(0.0, 3e8)), []
    yield "gltf-infinite-time", "inf.gltf", gltf(times=(0.0, float("inf"))), []
    yield "gltf-nan-time", "nan.gltf", gltf(times=(0.0, float("nan"))), []
    yield "gltf-negative-time", "neg.gltf", gltf(times=(-5.0, -1.0)), []
    yield "gltf-1e7-s-with-frames", "long7f.gltf", gltf(times=(0.0, 1e7)), ["--frames", "20"]
    yield "gltf-nodes-100000-deep", "deep.gltf", deep_gltf(100000), []
    yield "gltf-node-own-child", "cycle.gltf", gltf(nodes=[{"mesh": 0, "children": [0]}]), []
    yield "gltf-accessor-count-1e9", "count.gltf", gltf(accessor_count=1000000000), []
    yield "gltf-index-out-of-range", "index.gltf", gltf(index=(0, 1, 60000)), []
    yield "gltf-missing-buffer-file", "buffer.gltf", gltf(extra_buffer={"byteLength": 1 << 30, "uri": "nothere.bin"}), []
    yield "gltf-cut-json", "cut.gltf", gltf()[:300], []
    yield "glb-huge-length", "huge.glb", b"glTF" + struct.pack("<II", 2, 0xFFFFFFF0) + struct.pack("<I4s", 0xFFFFFF00, b"JSON"), []
    yield "off-truncated", "cut.off", b"OFF\n8 6 0\n-0.5 -0.5 -0.5\n0.5 -0.5", []
    yield "off-face-count-huge", "huge.off", b"OFF\n3 2000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", []
    yield "ply-face-count-huge", "faces.ply", ply_ascii(face_count=2000000000), []
    yield "ply-ascii-cut-in-header", "cut1.ply", ply_ascii(body_cut=60), []
    yield "ply-ascii-cut-in-vertices", "cut2.ply", ply_ascii(vertices=50, faces=20, body_cut=250), []
    yield "ply-binary-cut-in-faces", "cut3.ply", ply_binary(vertices=50, faces=40, cut=900), []
    yield "ply-binary-face-count-huge", "cut4.ply", ply_binary(face_count=1 << 30), []
    yield "ply-index-out-of-range", "index.ply", ply_ascii(index=(0, 1, 99999)), []
    yield "obj-100000-corner-face", "bigface.obj", obj_big_face(100000), []
    yield "obj-index-out-of-range", "index.obj", b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 999999\n", []
    yield "obj-negative-index", "negative.obj", b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf -1 -2 -99999\n", []
    yield "obj-nan-positions", "nan.obj", b"v nan nan nan\nv inf 0 0\nv 0 -inf 0\nf 1 2 3\n", []
    yield "obj-cut-mid-line", "cut.obj", good_obj[:-3], []
    yield "stl-count-4-billion", "huge.stl", stl_binary(0xFFFFFFFF), []
    yield "stl-ascii-cut", "cut.stl", b"solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1", []
    yield "md2-frames-in-header-2e9", "frames.md2", md2(2, header={9: 0x7FFFFFFF}), []
    yield "md2-60000-frames", "many.md2", md2(60000), []
    yield "md2-60000-frames-kept-50", "many50.md2", md2(60000), ["--frames", "50"]
    yield "md2-frames-past-the-end", "past.md2", md2(2, header={13: 1 << 30}), []
    yield "md2-vertex-index-out-of-range", "vindex.md2", md2(2, tri_index=(0, 1, 40000)), []
    yield "md2-frame-size-zero", "fsize.md2", md2(3, header={3: 0}), []
    yield "md3-five-frames", "five.md3", md3(frames=5), []
    yield "md3-cut", "cut.md3", md3(cut=150), []
    yield "md3-surfaces-2e9", "surf.md3", md3(surfaces=0x7FFFFFFF), []
    yield "md3-vertex-count-huge", "verts.md3", md3(surface_override={3: 1 << 28}), []
    yield "dae-nodes-100000-deep", "deep.dae", collada_deep(100000), []
    for ext in ("3ds", "fbx", "dae", "glb", "md2", "ply", "obj", "x", "lwo", "ms3d"):
        yield "random-bytes-" + ext, "random." + ext, bytes(rng.randrange(256) for _ in range(2048)), []


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, file, data, args in cases():
        path = os.path.join(out, file)
        with open(path, "wb") as f:
            f.write(data)
        print("\t".join([name, path] + args))


if __name__ == "__main__":
    main()
