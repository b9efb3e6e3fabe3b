#!/usr/bin/env python3
"""Cases of the command-reference generator: declarations it reads, what it leaves out,
and the check that fails on a stale reference or an unlisted subsystem."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import commands_reference as ref  # noqa: E402

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "commands_reference.py")


class Declarations(unittest.TestCase):
    def test_declarations(self):
        # (code, expected (name, args, result)) ; None when it is no command
        cases = [
            ("void DrawPixel(double x, double y, double colour)", ("DrawPixel", "double x, double y, double colour", "void")),
            ("[[noreturn]] void EndProgram()", ("EndProgram", "", "void")),
            ("inline int LoadSound(const RtString& file, double slot, double voices) ",
             ("LoadSound", "const RtString& file, double slot, double voices", "int")),
            ("RtString operator+(const RtString& a, int b)", ("operator+", "const RtString& a, int b", "RtString")),
            ("double& ArrayElement(RtArray& a, double i1, double i2 = 0)", ("ArrayElement", "RtArray& a, double i1, double i2 = 0", "double&")),
            ("void Sort(void (*less)(int, int), int n)", ("Sort", "void (*less)(int, int), int n", "void")),
            ("extern RtString commandLine", ("commandLine", "(variable)", "RtString")),
            ("CORVANE_DECLARE(==, TextEqual)", ("==, TextEqual", "", "")),
            ("using LineSink = void (*)(void* user)", None),
            ("constexpr int kSoundSlotCount = 128", None),
            ("constexpr int KeyLeft = 203", ("KeyLeft", "(constant)", "int")),
            ("constexpr double ErrorNumber(ErrorCode code) ", ("ErrorNumber", "ErrorCode code", "double")),
            ("struct InputDevices", None),
            ("", None),
        ]
        for code, want in cases:
            with self.subTest(code=code):
                got = ref.parse_declaration(code, "c")
                self.assertEqual(want, got and (got["name"], got["args"], got["result"]))

    def test_index(self):
        text = """// Demo: an index.
// Second line.
#pragma once
#include <cstdint>
#define LONG_MACRO(a) \\
    void Hidden(a);
namespace corvane {
struct Record {
    int Field(int x);                 // a member, not a command
};
// ---------------------------------------------------------------- drawing
void DrawOne(double x);               // draws one
double Wide(double a,
            double b);                // two lines
// Reads the thing; the comment above stands when none trails.
inline int Body(int x) { return x; }
void AfterBody();                     // still listed
namespace detail {
void Helper();                        // not the language's
}
// ---------------------------------------------------------------- internal: slots
void FreeEverything();                // internal
// ==== more ====================================================
RtString Name();                      // a name
enum class Code : int {
    None = 0,                         // fine
    Broken = 3,                       // broken
};
namespace demo_detail {
inline int Clamp(int x) { return x; } // what an inline command expands to
}
} // namespace corvane
"""
        intro, groups = ref.parse_index(text)
        self.assertEqual(["Demo: an index. Second line."], intro)
        listed = [(title, [(d["name"], d["comment"]) for d in decls]) for title, decls in groups]
        self.assertEqual([
            ("", [("Record", "")]),   # a type is listed by its name; its members are not
            ("drawing", [("DrawOne", "draws one"), ("Wide", "two lines"),
                         ("Body", "Reads the thing; the comment above stands when none trails."),
                         ("AfterBody", "still listed")]),
            ("more", [("Name", "a name"), ("Code", ""), ("Code::None", "fine"), ("Code::Broken", "broken"),
                      ("demo_detail::Clamp", "what an inline command expands to")]),
        ], listed)
        self.assertEqual(["0", "3"], [d["value"] for d in groups[-1][1] if d["name"].startswith("Code::")])


class Tree(unittest.TestCase):
    """A small repository: umbrella, two subsystems, the platform folder."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        self.write("include/corvane/corvane.h",
                   "#pragma once\n// ------------------------------ Drawing\n#include \"runtime/draw/draw.h\"\n"
                   "// ------------------------------ Sound\n#include \"runtime/sound/sound.h\"\n")
        self.write("runtime/draw/draw.h", "// Drawing.\n#pragma once\nnamespace corvane {\n"
                   "// ------------------------------ shapes\nvoid DrawBox(double x, double y); // a box\n}\n")
        self.write("runtime/sound/sound.h", "// Sound.\n#pragma once\nnamespace corvane {\nint Beep(); // beeps\n}\n")
        self.write("runtime/platform/platform.h", "void Internal();\n")

    def tearDown(self):
        self.dir.cleanup()

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)

    @staticmethod
    def read(path):
        with open(path) as f:
            return f.read()

    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT, "--root", self.root, *args],
                              capture_output=True, text=True)

    def test_reference_follows_the_indexes(self):
        out = os.path.join(self.root, "docs/commands.md")
        self.assertEqual(0, self.run_script("--output", out).returncode)
        text = self.read(out)
        self.assertLess(text.index("## Drawing"), text.index("## Sound"))
        self.assertIn("| `DrawBox` | `double x, double y` | `void` | a box |", text)
        self.assertIn("| `Beep` | – | `int` | beeps |", text)
        self.assertNotIn("Internal", text)
        self.assertEqual(0, self.run_script("--check", out).returncode)

        # A command added to an index makes the checked-in reference stale, and a
        # fresh one lists it.
        self.write("runtime/sound/sound.h", "// Sound.\n#pragma once\nnamespace corvane {\nint Beep(); // beeps\n"
                   "void PlayTune(const RtString& name, double loops); // plays a tune\n}\n")
        stale = self.run_script("--check", out)
        self.assertEqual(1, stale.returncode)
        self.assertIn("stale", stale.stderr)
        self.assertEqual(0, self.run_script("--output", out).returncode)
        self.assertIn("| `PlayTune` | `const RtString& name, double loops` | `void` | plays a tune |", self.read(out))

    def test_a_public_declaration_the_reference_does_not_list_fails_the_check(self):
        out = os.path.join(self.root, "docs/commands.md")
        self.assertEqual(0, self.run_script("--output", out).returncode)
        self.assertEqual(0, self.run_script("--check", out).returncode)
        # Plumbing under an internal banner of an index, and a header the index pulls in.
        self.write("runtime/sound/sound.h", "// Sound.\n#pragma once\n#include \"runtime/sound/mixer.h\"\n"
                   "namespace corvane {\nint Beep(); // beeps\n"
                   "// ------------------------------ internal: voices\nvoid MixVoices(int n);\n}\n")
        self.write("runtime/sound/mixer.h", "#pragma once\nnamespace corvane {\nstruct Mixer { int voices; };\n}\n")
        self.assertEqual(0, self.run_script("--output", out).returncode)
        failed = self.run_script("--check", out)
        self.assertEqual(1, failed.returncode)
        self.assertIn("runtime/sound/sound.h: MixVoices", failed.stderr)
        self.assertIn("runtime/sound/mixer.h: Mixer", failed.stderr)
        # A namespace of the runtime's own that is no detail namespace is not listed either.
        self.write("runtime/sound/sound.h", "// Sound.\n#pragma once\nnamespace corvane {\nint Beep(); // beeps\n"
                   "namespace voices {\nvoid Mix();\n}\n}\n")
        self.assertEqual(0, self.run_script("--output", out).returncode)
        self.assertIn("runtime/sound/sound.h: Mix", self.run_script("--check", out).stderr)
        # Moved to an internal header the index does not include, the plumbing passes.
        self.write("runtime/sound/sound.h", "// Sound.\n#pragma once\nnamespace corvane {\nint Beep(); // beeps\n}\n")
        self.write("runtime/sound/sound_internal.h", "#pragma once\n#include \"runtime/sound/sound.h\"\n"
                   "namespace corvane {\nvoid MixVoices(int n);\nstruct Mixer { int voices; };\n}\n")
        self.assertEqual(0, self.run_script("--output", out).returncode)
        self.assertEqual(0, self.run_script("--check", out).returncode)
        self.assertEqual("", self.run_script("--unlisted").stdout.strip())

    def test_missing_reference_and_unlisted_subsystem_fail(self):
        self.assertEqual(1, self.run_script("--check", os.path.join(self.root, "none.md")).returncode)
        self.write("runtime/net/net.h", "namespace corvane {\nvoid HostGame(); // hosts\n}\n")
        result = self.run_script()
        self.assertEqual(1, result.returncode)
        self.assertIn("runtime/net/ has no index", result.stderr)


if __name__ == "__main__":
    unittest.main()
