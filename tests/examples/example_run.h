// Runs an example program headless for a bounded number of frames with a script of
// input, and reads back what it showed: the last frame as an image, text in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"

namespace example_test {

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;                  // top row first
    std::uint32_t Pixel(int x, int y) const;         // 0xRRGGBB; 0 outside
};

struct ExampleRun {
    corvane::testing::ProcessResult process;
    Image screen;                                    // the last frame
    std::string shotPath;                            // where it was written (PPM)
    std::string dir;                                 // the run's own folder (scripts, shots, TMPDIR)
};

bool ReadPpm(const std::string& path, Image& image);
std::string ScreenText(const std::string& ppm, int x, int y);  // the built-in-font line at (x, y)
bool ExampleBuilt(const std::string& name);                  // its executable is there
std::string ExamplePath(const std::string& name);              // build/examples/NAME/NAME

// Runs NAME with ARGS, the hook's --frames, --script (written from scriptText) and
// --shot of the last frame, headless, killed after timeoutSeconds.
ExampleRun RunExample(const std::string& name, const std::vector<std::string>& args, const std::string& scriptText,
               int frames, double timeoutSeconds = 60, const std::vector<std::string>& extraEnv = {});
// The same for an example's executable copied elsewhere.
ExampleRun RunExampleAt(const std::string& program, const std::vector<std::string>& args, const std::string& scriptText,
                 int frames, double timeoutSeconds = 60, const std::vector<std::string>& extraEnv = {});
std::string NewRunDir(const std::string& name);                // a fresh folder under the test's temporary one

} // namespace example_test
