// Test support: the real engine started headless, and child processes.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace corvane::testing {

// Starts the engine once per test binary: offscreen video, dummy audio (unless the
// environment already names drivers), a private temporary directory for the error
// log and temporary files. Later calls do nothing. Returns false when no window or
// GL context could be made.
bool StartHeadlessEngine();

// The private temporary directory of this test process (ends in '/').
std::string TestTempDir();

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Writes a whole file; false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);

// The video driver of a headless child program: offscreen GL, or on Windows (under
// Wine on Xvfb) SDL's windows driver, as its Windows build has no offscreen GL.
#ifdef _WIN32
inline constexpr const char* kHeadlessVideo = "SDL_VIDEODRIVER=windows";
#else
inline constexpr const char* kHeadlessVideo = "SDL_VIDEODRIVER=offscreen";
#endif

// The name StartHeadlessEngine starts the engine under, which names its log.
inline constexpr const char* kTestProgramName = "corvane_test";

// Splits a program's error log ("<program>.log" in tempDir) into its lines.
std::vector<std::string> ErrorLogLines(const std::string& tempDir = TestTempDir(),
                                       const std::string& program = kTestProgramName);

struct ProcessResult {
    bool started = false;      // the program could be started
    bool timedOut = false;     // killed after the time limit
    int exitStatus = -1;       // exit status when it exited normally
    int signal = 0;            // the signal that ended it, if any
    std::string output;        // standard output and standard error (line ends as '\n')
};

// Runs a program with extra environment entries ("NAME=value"), killing it after
// timeoutSeconds. Never waits longer.
// Setting *stop ends it early the same way (a test that has already failed need
// not wait out the limit). onlyStream 1 or 2 keeps standard output or standard
// error alone in the result (the other is thrown away); 0 keeps both.
ProcessResult RunProcess(const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnv = {}, double timeoutSeconds = 30.0,
                         const std::atomic<bool>* stop = nullptr, int onlyStream = 0);

// Text a program wrote to a standard stream, with its line ends as '\n' (the
// Windows C library writes "\r\n" there).
std::string TextLines(std::string text);

// What fn writes to standard error (the file descriptor, so C and C++ streams alike).
std::string CaptureStandardError(const std::function<void()>& fn);

// Whether the tests may make their inputs with this machine's command-line tools
// (ImageMagick, sox, ffmpeg, Python) through a POSIX shell. Not on Windows: there is
// no such shell, and under Wine those tools are Linux programs that Wine starts but
// cannot wait for. Tests needing them skip there, saying so.
bool ShellToolsAvailable();
inline constexpr const char* kNoShellTools = "the input-making tools (ImageMagick, sox, ffmpeg, Python) run only on POSIX";

// What an executable's file name ends with here.
#ifdef _WIN32
inline constexpr const char* kProgramSuffix = ".exe";
#else
inline constexpr const char* kProgramSuffix = "";
#endif

// Path of an executable built beside the tests (in <build>/bin), spelled as the
// runtime spells paths.
std::string BuiltProgram(const std::string& name);

// Reads the back buffer (before the swap) as RGBA rows, bottom row first.
std::vector<unsigned char> ReadBackBuffer(int x, int y, int width, int height);

} // namespace corvane::testing
