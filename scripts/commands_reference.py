#!/usr/bin/env python3
"""Writes the command reference (docs/commands.md) from the subsystem indexes.

The indexes are the headers that include/corvane/corvane.h includes, in its order and
under its banners. From each index it takes the namespace-level declarations, grouped
by the index's own banners ("// ------ title"), each with its arguments, its result
and its trailing comment. Banners whose title says "internal" are left out, and so
are class and struct bodies, type aliases and the implementation's constants (named
kSomething); named constants (KeyLeft) are listed with their values.

    commands_reference.py [--root DIR] [--output FILE]   write the reference (stdout without --output)
    commands_reference.py [--root DIR] --check FILE      exit 1 when FILE differs from a fresh one, or when an
                                                         installed header declares a name the reference does
                                                         not list (plumbing belongs in an internal header)
    commands_reference.py [--root DIR] --unlisted        print what the installed headers declare unlisted
"""
import argparse
import os
import re
import sys

UMBRELLA = "include/corvane/corvane.h"
# "// ------ title" or "// ==== title ====".
BANNER = re.compile(r"^//\s*(?:-{4,}|={4,})\s*(.*?)\s*[-=]*\s*$")
INCLUDE = re.compile(r'^\s*#\s*include\s*"(runtime/[^"]+)"')
# Runtime folders that are not part of the language's command set.
NOT_SUBSYSTEMS = {"platform"}


def split_comment(line):
    """(code, comment) of one line; '//' inside a string literal is code."""
    in_string = False
    i = 0
    while i < len(line):
        c = line[i]
        if c == '"' and (i == 0 or line[i - 1] != "\\"):
            in_string = not in_string
        elif not in_string and line.startswith("//", i):
            return line[:i], line[i + 2:].strip()
        i += 1
    return line, ""


def matching_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def parse_declaration(code, comment):
    """One namespace-level declaration as a dict, or None when it is not a command."""
    code = " ".join(code.split())
    code = re.sub(r"\[\[[^\]]*\]\]\s*", "", code)
    constant = re.match(r"^(?:inline\s+)?constexpr\s+(.+?)\s+(\w+)\s*=\s*(.+)$", code)
    if constant:
        if re.match(r"^k[A-Z0-9]", constant.group(2)):
            return None
        return {"name": constant.group(2), "args": "(constant)", "result": constant.group(1),
                "value": constant.group(3).strip(), "comment": comment}
    if code.startswith("constexpr ") and "(" in code:  # a constexpr function
        code = code[len("constexpr "):]
    if not code or code.startswith(("using ", "typedef ", "template", "static_assert", "constexpr ",
                                     "class ", "struct ", "enum ", "union ", "friend ")):
        return None
    macro = re.match(r"^[A-Z][A-Z0-9_]*\((.*)\)$", code)
    if macro:  # a declaring macro: its arguments say what it declares
        return {"name": macro.group(1), "args": "", "result": "", "comment": comment}
    code = re.sub(r"^(inline|extern|static)\s+", "", code)
    paren = code.find("(")
    if code.startswith("operator") or re.search(r"\boperator\s*\S*\s*\(", code):
        m = re.search(r"\boperator\s*(\(\)|[^\s(]+)\s*\(", code)
        if not m:
            return None
        paren = m.end() - 1
        name_start = m.start()
    elif paren < 0:  # a variable
        m = re.match(r"^(.*?)\b(\w+)$", code)
        if not m:
            return None
        return {"name": m.group(2), "args": "(variable)", "result": m.group(1).strip(), "comment": comment}
    else:
        m = re.search(r"(\w+)\s*$", code[:paren])
        if not m:
            return None
        name_start = m.start()
    close = matching_paren(code, paren)
    if close < 0:
        return None
    name = code[name_start:paren].strip()
    result = code[:name_start].strip()
    args = code[paren + 1:close].strip()
    return {"name": name, "args": args, "result": result, "comment": comment}


TYPE = re.compile(r"^\s*(?:template\s*<[^>]*>\s*)?(struct|class|enum(?:\s+class)?|union)\s+(\w+)")
USING = re.compile(r"^\s*using\s+(\w+)\s*=")


def declared_name(code):
    """The name a namespace-level declaration introduces, or None (nothing named)."""
    m = TYPE.match(code) or USING.match(code)
    if m:
        return m.group(m.lastindex)
    m = re.match(r"^\s*(?:inline\s+)?(?:static\s+)?constexpr\s+[^(]+?\s+(\w+)\s*(?:=|\{|$)", code)
    if m:
        return m.group(1)
    d = parse_declaration(code, "")
    return d["name"] if d else None


def type_declaration(head, comment):
    """A struct, class or enum with a body, listed as a type; None for anything else."""
    m = TYPE.match(" ".join(head.split()))
    if not m:
        return None
    return {"name": m.group(2), "args": "(type)", "result": m.group(1), "comment": comment}


def unlisted(root):
    """["header: name", ...]: what the installed headers (everything corvane.h reaches)
    declare that the reference does not list."""
    indexes = [p for _, paths in read_umbrella(root) for p in paths]
    queue, installed = [UMBRELLA], []
    while queue:
        with open(os.path.join(root, queue.pop(0)), encoding="utf-8") as f:
            for line in f:
                m = INCLUDE.match(line)
                if m and m.group(1) not in installed:
                    installed.append(m.group(1))
                    queue.append(m.group(1))
    listed = set()
    for path in indexes:
        with open(os.path.join(root, path), encoding="utf-8") as f:
            listed |= {d["name"] for _, decls in parse_index(f.read())[1] for d in decls}
    found = []
    for path in installed:
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        hidden = []
        _, groups = parse_index(text, hidden)
        if path not in indexes:  # nothing of a header that is no index is listed
            hidden += [d["name"] for _, decls in groups for d in decls]
        # A forward declaration of a type the reference lists names nothing new.
        found += [f"{path}: {name}" for name in hidden if name not in listed]
    return sorted(set(found))


def unlisted_problems(root):
    """One message for each name an installed header declares but the reference does
    not list."""
    return [f"commands: {entry}: declared in an installed header but not in the reference "
            f"(list it in an index, or move it to an internal header the index does not include)"
            for entry in unlisted(root)]


def parse_index(text, hidden=None):
    """(intro, [(banner, [declaration, ...]), ...]) of one index header. Names declared
    at namespace level that the reference does not list are added to hidden."""
    lines = text.splitlines()
    intro = []
    for line in lines:
        if line.startswith("//"):
            intro.append(line[2:].strip())
        elif line.strip():
            break
    paragraphs = " ".join(part if part else "\n\n" for part in intro)
    intro = [p.strip() for p in paragraphs.split("\n\n") if p.strip()]
    groups = []
    current = None
    skipping = False      # inside an internal banner
    depth = 0             # braces of classes, structs and bodies (not namespaces)
    namespaces = []       # open namespaces; the language's own and its *_detail ones are listed
    enum = None           # the listed enum whose body is open: its enumerators are listed too
    pending_code, pending_comment = "", ""
    above = []            # the comment block just above the next declaration
    continuation = False  # a preprocessor line ended with '\'

    def group(title):
        nonlocal current
        current = (title, [])
        groups.append(current)

    def scope():
        """"" or "name_detail::" where declarations are listed (the detail namespaces hold
        what inline commands expand to, so the reader meets them too), else None."""
        if not namespaces or namespaces[0] != "corvane":
            return None
        if not all(n.endswith("_detail") for n in namespaces[1:]):
            return None
        return "".join(n + "::" for n in namespaces[1:])

    def note(code, declaration):
        # A name the reader of the installed header meets but the reference leaves out.
        if hidden is None or (declaration and not skipping and scope() is not None):
            return
        name = declared_name(code)
        if name:
            hidden.append(name)

    def add(declaration):
        if not declaration or skipping or scope() is None:
            return
        declaration["name"] = scope() + declaration["name"]
        if not declaration["comment"] and above:
            declaration["comment"] = " ".join(above)
        if current is None:
            group("")
        current[1].append(declaration)

    for raw in lines:
        if continuation:
            continuation = raw.rstrip().endswith("\\")
            continue
        if raw.lstrip().startswith("#"):
            continuation = raw.rstrip().endswith("\\")
            continue
        code, comment = split_comment(raw)
        stripped = code.strip()
        if depth == 0 and not pending_code and not stripped:
            m = BANNER.match(raw.strip())
            if m:
                skipping = "internal" in m.group(1).lower()
                group(m.group(1))
                above = []
            elif comment:
                above.append(comment)
            else:
                above = []
            continue
        m = re.match(r"^namespace\s+([\w:]+)\s*\{$", stripped)
        if depth == 0 and not pending_code and m:
            namespaces.append(m.group(1))
            above = []
            continue
        if depth == 0 and not pending_code and stripped.startswith("}") and namespaces:
            namespaces.pop()
            continue
        if depth > 0:
            if enum and depth == 1:
                m = re.match(r"^\s*(\w+)\s*(?:=\s*([^,}]+?))?\s*,?\s*(?:\}.*)?$", code)
                if m and m.group(1):
                    current[1].append({"name": f"{enum}::{m.group(1)}", "args": "(constant)", "result": enum,
                                       "value": (m.group(2) or "").strip(), "comment": comment})
            depth += code.count("{") - code.count("}")
            if depth == 0:
                enum = None
            continue
        pending_code += " " + code
        if comment:
            pending_comment = (pending_comment + " " + comment).strip()
        brace = pending_code.find("{")
        semi = pending_code.find(";")
        if brace >= 0 and (semi < 0 or brace < semi):
            head = pending_code[:brace]
            depth = pending_code.count("{") - pending_code.count("}")
            if "(" in head and not TYPE.match(head):
                declaration = parse_declaration(head, pending_comment)
            else:
                declaration = type_declaration(head, pending_comment or " ".join(above))
            note(head, declaration)
            add(declaration)
            if declaration and declaration["result"].startswith("enum") and not skipping and scope() is not None \
                    and depth > 0:
                enum = declaration["name"]
            pending_code, pending_comment, above = "", "", []
            continue
        if semi >= 0 or re.match(r"^[A-Z][A-Z0-9_]*\(.*\)$", pending_code.strip()):
            code = pending_code[:semi] if semi >= 0 else pending_code
            declaration = parse_declaration(code, pending_comment)
            note(code, declaration)
            add(declaration)
            pending_code, pending_comment, above = "", "", []
    return intro, [(title, decls) for title, decls in groups if decls]


def read_umbrella(root):
    """[(subsystem, [header path, ...]), ...] in the umbrella's order."""
    sections = []
    with open(os.path.join(root, UMBRELLA), encoding="utf-8") as f:
        for line in f:
            m = BANNER.match(line.strip())
            if m:
                sections.append((m.group(1), []))
                continue
            m = INCLUDE.match(line)
            if m:
                if not sections:
                    sections.append(("Corvane", []))
                sections[-1][1].append(m.group(1))
    return sections


def unlisted_subsystems(root, sections):
    """Runtime folders with no index in the umbrella."""
    listed = {path.split("/")[1] for _, paths in sections for path in paths}
    runtime = os.path.join(root, "runtime")
    folders = sorted(d for d in os.listdir(runtime) if os.path.isdir(os.path.join(runtime, d)))
    return [d for d in folders if d not in listed and d not in NOT_SUBSYSTEMS]


def cell(text):
    return text.replace("|", "\\|") if text else "–"


def anchor(title):
    return re.sub(r"[^a-z0-9 -]", "", title.lower()).replace(" ", "-")


def render(root):
    sections = read_umbrella(root)
    out = ["# Corvane command reference", "",
           "Generated from the subsystem indexes that `include/corvane/corvane.h` lists, by",
           "`scripts/commands_reference.py`; do not edit by hand. Every command is in namespace",
           "`corvane`; `#include <corvane/corvane.h>` brings in all of them. Numbers are doubles:",
           "integer arguments (slots, counts, colours, flags) are truncated toward zero, truth",
           "values are 1 and 0, colours are 0xBBGGRR.", ""]
    for title, _ in sections:
        out.append(f"- [{title}](#{anchor(title)})")
    for title, paths in sections:
        out += ["", f"## {title}"]
        for path in paths:
            with open(os.path.join(root, path), encoding="utf-8") as f:
                intro, groups = parse_index(f.read())
            out += ["", f"### `{path}`", ""]
            for paragraph in intro:
                out += [paragraph, ""]
            if not groups:
                out.append("(types only)")
            for banner, decls in groups:
                if banner:
                    out += [f"**{banner[0].upper() + banner[1:]}**", ""]
                if all("value" in d for d in decls):
                    out += ["| name | value | what it names |", "|---|---|---|"]
                    for d in decls:
                        out.append(f"| `{d['name']}` | `{d['value']}` | {cell(d['comment'])} |")
                    out.append("")
                    continue
                out += ["| command | arguments | result | what it does |", "|---|---|---|---|"]
                for d in decls:
                    args = f"= {d['value']}" if d.get("value") else d["args"]
                    out.append(f"| `{d['name']}` | {cell(args and '`' + args + '`')} | "
                               f"{cell(d['result'] and '`' + d['result'] + '`')} | {cell(d['comment'])} |")
                out.append("")
            if out[-1] == "":
                out.pop()
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    parser.add_argument("--output")
    parser.add_argument("--check")
    parser.add_argument("--unlisted", action="store_true")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    missing = unlisted_subsystems(root, read_umbrella(root))
    if missing:
        for d in missing:
            print(f"commands: runtime/{d}/ has no index listed in {UMBRELLA}", file=sys.stderr)
        return 1
    if args.unlisted:
        print("\n".join(unlisted(root)))
        return 0
    text = render(root)
    if args.check:
        problems = unlisted_problems(root)
        for problem in problems:
            print(problem, file=sys.stderr)
        try:
            with open(args.check, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print(f"commands: {args.check} is stale; run scripts/commands_reference.py "
                  f"--output docs/commands.md", file=sys.stderr)
            return 1
        if problems:
            return 1
        print(f"commands: {args.check} is current")
        return 0
    if args.output:
        os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
