#!/usr/bin/env python3
"""Which subsystems' state each runtime file reaches into.

A file "touches" a subsystem's record when it names the record's type or reaches it
through the engine record (engine.renderer, engine.input, ...). A subsystem naming its
own record is not counted; frame/ is the top layer and may reach every record.
Also tells how many .cpp files include engine_state.h (directly or through another
header), which is how many rebuild when it changes.

Usage: state_use.py [ROOT] [--all]   (--all lists files that touch nothing foreign too)
Exit status 1 when a file outside frame/ touches another subsystem's record.
"""
import os
import re
import sys

# Record names per owner; both the engine-record paths and the record types count.
RECORDS = {
    "gfx2d": r"\bengine\.renderer\b|\bOpenGLRainbows\b|\bRenderer\b|\bTheRenderer\(",
    "gfx3d": r"\bengine\.scene\b|\bRainbows3D\b|\bScene3D\b|\bTheScene\(|\bObjectSlot\b",
    "input": r"\bengine\.input\b|\bInputDevices\b|\bTheInput\(",
    "sound": r"\bengine\.(soundDevice|soundSlots|mediaWindow)\b|\bSoundSlot\b|\bSoundDevice\b|\bTheSound\(",
    "net": r"\bengine\.network\b|\bNetSession\b",
    "values": r"\bengine\.mediaSources\b|\bMediaContext\b|\bcommandLine\.",
    "engine": r"\bengine\.[a-zA-Z]+|\bEngineState\b",
}
OWNER_OF_FOLDER = {"input_sound": ("input", "sound")}
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/|^\s*#\s*include[^\n]*", re.S | re.M)
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def owners(rel):
    folder = rel.split("/")[1]
    return OWNER_OF_FOLDER.get(folder, (folder,))


def included(root, path, seen):
    if path in seen:
        return
    seen.add(path)
    try:
        text = open(path, errors="ignore").read()
    except OSError:
        return
    for name in INCLUDE.findall(text):
        for base in (root, os.path.dirname(path), os.path.join(root, "include")):
            candidate = os.path.normpath(os.path.join(base, name))
            if os.path.exists(candidate):
                included(root, candidate, seen)
                break


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))
    show_all = "--all" in sys.argv
    rows, bad = [], 0
    for folder, _, files in sorted(os.walk(os.path.join(root, "runtime"))):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            rel = os.path.relpath(os.path.join(folder, name), root)
            if rel.startswith("runtime/platform/"):
                continue
            code = COMMENT.sub("", open(os.path.join(root, rel), errors="ignore").read())
            mine = owners(rel)
            touched = [s for s, pattern in RECORDS.items()
                       if s not in mine and s != "engine" and re.search(pattern, code)]
            uses_engine = "engine" not in mine and re.search(RECORDS["engine"], code)
            if touched and not rel.startswith("runtime/frame/"):
                bad += 1
            if touched or uses_engine or show_all:
                rows.append((rel, touched, bool(uses_engine)))
    print(f"{'file':44} {'other subsystems touched':32} engine record")
    for rel, touched, uses_engine in rows:
        print(f"{rel:44} {', '.join(touched) or '-':32} {'yes' if uses_engine else '-'}")
    target = os.path.join(root, "runtime/engine/engine_state.h")
    count = 0
    for base in ("runtime", "program", "tests", "bench", "tools", "fuzz", "examples"):
        for folder, _, files in os.walk(os.path.join(root, base)):
            for name in files:
                if name.endswith(".cpp"):
                    seen = set()
                    included(root, os.path.join(folder, name), seen)
                    count += target in seen
    print(f"\nfiles outside frame/ touching another subsystem's record: {bad}")
    print(f".cpp files that include engine_state.h (directly or not): {count}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
