#!/usr/bin/env python3
"""Pack extraction attacks on corvane-pack, one line per case.

Each case writes a pack (names that climb out, links planted in the extraction
folder, lying sizes, control bytes, thousands of entries ...) into a fresh folder,
runs `corvane-pack extract` (and `list`) on it, and checks the exit status, that
nothing outside the extraction folder appeared or changed, that no raw control
byte reached the terminal, and that the run ended in time.

Usage: packs.py BIN_DIR        (BIN_DIR holds corvane-pack; exit 1 when a case fails)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time


def block(data, stated=None):
    """A packed block: the unpacked size, then an LZO1X stream of one literal run."""
    assert len(data) <= 238
    stream = (bytes([17 + len(data)]) + data if data else b"") + b"\x11\x00\x00"
    return struct.pack("<I", len(data) if stated is None else stated) + stream


def pack(entries, directory_at=None, raw_entries=None):
    """entries: [(name bytes, data bytes)], or raw_entries: [(name, position, packed size)]."""
    data = b""
    listed = []
    for name, content in entries:
        b = block(content)
        listed.append((name, len(data), len(b)))
        data += b
    listed += raw_entries or []
    directory = b"".join(bytes([len(n)]) + n + struct.pack("<iI", p, s) for n, p, s in listed) + b"\0"
    d = len(data) if directory_at is None else directory_at
    return data + directory + struct.pack("<i", d)


def snapshot(root, skip):
    """Every path under root but `skip`, with what it holds or points at."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        if os.path.abspath(folder) == os.path.abspath(skip):
            dirs[:] = []
            continue
        for name in dirs + files:
            path = os.path.join(folder, name)
            if os.path.abspath(path) == os.path.abspath(skip):
                continue
            if os.path.islink(path):
                seen[path] = "-> " + os.readlink(path)
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    seen[path] = f.read()
            else:
                seen[path] = "folder"
    return seen


def cases():
    # (name, entries, setup(links under out/), expected exit status, list too)
    yield "dot-dot-name", [(b"../escape.txt", b"e"), (b"ok.txt", b"k")], [], 1
    yield "dot-dot-deep", [(b"a/b/../../../escape.txt", b"e")], [], 1
    yield "backslash-dot-dot", [(b"..\\..\\escape.txt", b"e")], [], 1
    yield "absolute-name", [(b"/tmp/corvane-abuse-absolute.txt", b"a")], [], 0
    yield "nul-in-name", [(b"nul\0/../../escape.txt", b"e")], [], 1
    yield "folder-name", [(b"folder/", b"f")], [], 1
    yield "empty-name-ends-the-directory", [(b"", b"e"), (b"after.txt", b"a")], [], 0
    yield "dot-only-name", [(b"./.", b"e")], [], 1
    yield "link-to-outside-folder", [(b"lnk/evil.txt", b"e")], [("lnk", "../outside")], 1
    yield "link-two-levels-up", [(b"sub/up/evil.txt", b"e")], [("sub/up", "../..")], 1
    yield "link-absolute", [(b"abs/evil.txt", b"e")], [("abs", "@OUTSIDE")], 1
    yield "link-dangling", [(b"gone/new/evil.txt", b"e")], [("gone", "../outside/new")], 1
    yield "link-deep-in-path", [(b"a/b/c/d/evil.txt", b"e")], [("a/b", "../../outside")], 1
    yield "link-at-file-name", [(b"f.txt", b"replaced")], [("f.txt", "../outside/kept.txt")], 0
    yield "link-loop", [(b"loop/evil.txt", b"e")], [("loop", "loop")], 1
    yield "backslash-through-link", [(b"lnk\\evil.txt", b"e")], [("lnk", "../outside")], 1
    yield "control-bytes-in-name", [(b"red\x1b[31m\x07bell\r.txt", b"c")], [], 0
    yield "many-control-bytes", [(bytes(range(1, 32)).replace(b"/", b"") + b".txt", b"c")], [], 0
    yield "name-255-bytes", [(b"n" * 251 + b".txt", b"n")], [], 0
    yield "folders-120-deep", [(b"d/" * 120 + b"x.txt", b"x")], [], 0
    yield "same-name-twice", [(b"twice.txt", b"one"), (b"TWICE.txt", b"two"), (b"twice.txt", b"three")], [], 0
    yield "name-is-existing-folder", [(b"sub", b"s")], [], 1
    yield "2000-entries", [(b"many/%05d.txt" % i, b"%d" % i) for i in range(2000)], [], 0


def lying(kind):
    if kind == "stated-4-gib":
        b = block(b"x" * 10, stated=0xFFFFFFFF)
        return b + b"\x05big.t" + struct.pack("<iI", 0, len(b)) + b"\0" + struct.pack("<i", len(b))
    if kind == "block-past-end":
        return pack([], raw_entries=[(b"past.txt", 1 << 30, 100)])
    if kind == "negative-position":
        return pack([(b"a.txt", b"a")], raw_entries=[(b"neg.txt", -1 << 31, 10)])
    if kind == "directory-outside":
        return pack([(b"a.txt", b"a")], directory_at=1 << 30)
    if kind == "directory-cut":
        whole = pack([(b"one.txt", b"1"), (b"two.txt", b"2")])
        return whole[:-4 - 9] + whole[-4:]
    if kind == "zero-size-over-data":
        b = block(b"z" * 100, stated=0)
        return b + b"\x05z.txt" + struct.pack("<iI", 0, len(b)) + b"\0" + struct.pack("<i", len(b))
    raise ValueError(kind)


LYING = ["stated-4-gib", "block-past-end", "negative-position", "directory-outside", "directory-cut",
         "zero-size-over-data"]


def run(tool, args, cwd):
    start = time.monotonic()
    try:
        r = subprocess.run([tool] + args, cwd=cwd, capture_output=True, timeout=60)
        return r.returncode, r.stdout, r.stderr, time.monotonic() - start
    except subprocess.TimeoutExpired:
        return None, b"", b"", time.monotonic() - start


def check(tool, name, pack_bytes, links, expected, bound=30.0):
    work = tempfile.mkdtemp(prefix="corvane-abuse-pack-")
    try:
        out = os.path.join(work, "out")
        os.makedirs(os.path.join(out, "sub"))
        os.makedirs(os.path.join(out, "a"))
        os.makedirs(os.path.join(work, "outside"))
        with open(os.path.join(work, "outside", "kept.txt"), "wb") as f:
            f.write(b"kept")
        for link, target in links:
            os.symlink(os.path.join(work, "outside") if target == "@OUTSIDE" else target, os.path.join(out, link))
        with open(os.path.join(work, "attack.pak"), "wb") as f:
            f.write(pack_bytes)
        before = snapshot(work, out)
        problems = []
        status, stdout, stderr, seconds = run(tool, ["extract", "attack.pak", "-C", "out"], work)
        listed = run(tool, ["list", "attack.pak"], work)
        if status is None or listed[0] is None:
            problems.append("did not end within 60 s")
        elif status != expected:
            problems.append("exit %s, not %d" % (status, expected))
        if seconds > bound:
            problems.append("took %.1f s" % seconds)
        after = snapshot(work, out)
        if after != before:
            changed = sorted(set(after.items()) ^ set(before.items()), key=str)[:2]
            problems.append("changed outside the folder: %s" % [p for p, _ in changed])
        if os.path.exists("/tmp/corvane-abuse-absolute.txt"):
            problems.append("wrote an absolute path")
            os.remove("/tmp/corvane-abuse-absolute.txt")
        for text in (stdout, stderr, listed[1], listed[2]):
            raw = [c for c in text if c < 0x20 and c != 0x0A]
            if raw:
                problems.append("raw control byte 0x%02X on the terminal" % raw[0])
                break
        said = (stderr.decode("utf-8", "replace").strip().splitlines() or [""])[-1][:100]
        line = "%-4s pack %s: exit %s in %.2f s%s" % ("ok" if not problems else "FAIL", name, status, seconds,
                                                     ": " + "; ".join(problems) if problems else
                                                     (": " + said if said else ""))
        return not problems, line
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    tool = os.path.join(os.path.abspath(sys.argv[1]), "corvane-pack")
    passed = failed = 0
    results = [check(tool, name, pack(entries), links, expected) for name, entries, links, expected in cases()]
    results += [check(tool, kind, lying(kind), [], 1) for kind in LYING]
    for ok, line in results:
        print(line, flush=True)
        passed += ok
        failed += not ok
    print("abuse packs: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
