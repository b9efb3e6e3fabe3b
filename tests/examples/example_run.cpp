#include "tests/examples/example_run.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

namespace example_test {

using namespace corvane::testing;

std::uint32_t Image::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
}

bool ReadPpm(const std::string& path, Image& image) {
    const std::string bytes = ReadFile(path);
    int maxValue = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue, &consumed) != 3)
        return false;
    const size_t need = static_cast<size_t>(image.width) * image.height * 3;
    if (bytes.size() < consumed + 1 + need) return false;
    image.rgb.assign(bytes.begin() + consumed + 1, bytes.begin() + consumed + 1 + need);
    return true;
}

std::string ScreenText(const std::string& ppm, int x, int y) {
    std::string out =
        RunProcess({BuiltProgram("screen-text"), ppm, std::to_string(x), std::to_string(y)}, {}, 30.0, nullptr, 1).output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string ExamplePath(const std::string& name) {
#ifdef _WIN32
    return std::string(CORVANE_BINARY_DIR) + "/examples/" + name + "/" + name + ".exe";
#else
    return std::string(CORVANE_BINARY_DIR) + "/examples/" + name + "/" + name;
#endif
}

bool ExampleBuilt(const std::string& name) { return access(ExamplePath(name).c_str(), F_OK) == 0; }

std::string NewRunDir(const std::string& name) {
    static std::atomic<int> counter{0};
    const std::string dir = TestTempDir() + name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "/";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    return error ? std::string() : dir;
}

ExampleRun RunExample(const std::string& name, const std::vector<std::string>& args, const std::string& scriptText,
               int frames, double timeoutSeconds, const std::vector<std::string>& extraEnv) {
    return RunExampleAt(ExamplePath(name), args, scriptText, frames, timeoutSeconds, extraEnv);
}

ExampleRun RunExampleAt(const std::string& program, const std::vector<std::string>& args, const std::string& scriptText,
                 int frames, double timeoutSeconds, const std::vector<std::string>& extraEnv) {
    ExampleRun run;
    run.dir = NewRunDir(program.substr(program.rfind('/') + 1));
    if (run.dir.empty()) return run;
    run.shotPath = run.dir + "last.ppm";
    const std::string script = run.dir + "input.script";
    WriteFile(script, scriptText);
    std::vector<std::string> command = {program};
    command.insert(command.end(), args.begin(), args.end());
    for (const std::string& word : {std::string("--frames"), std::to_string(frames), std::string("--script"), script,
                                    std::string("--shot"), run.shotPath})
        command.push_back(word);
    std::vector<std::string> env = {corvane::testing::kHeadlessVideo, "SDL_AUDIODRIVER=dummy", "TMPDIR=" + run.dir};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    run.process = RunProcess(command, env, timeoutSeconds);
    ReadPpm(run.shotPath, run.screen);
    return run;
}

} // namespace example_test
