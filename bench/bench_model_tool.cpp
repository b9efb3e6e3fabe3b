// The media tools as processes: wall time of the whole run and the tool's peak
// resident memory, measured on the child process.
// - corvane-model on a 1,000,000-triangle OBJ (a 708 x 707 grid of quads with
//   texture coordinates and a material), and on an MD2 of 9,000 frames; as a
//   baseline in the same run, `cat` of the same file (reading it once).
// - corvane-font on DejaVu Sans at 32 pixels with a 64-pixel outline; as a
//   baseline, the same picture without an outline.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Dir() {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string self(buffer.data(), n > 0 ? std::size_t(n) : 0);
    return self.substr(0, self.rfind('/') + 1);
}

std::string TempPath(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_model_tool_" + name;
}

const std::string& BigObj() {
    static std::string path;
    if (!path.empty()) return path;
    path = TempPath("1m.obj");
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return path;
    const int columns = 708, rows = 707;                // 2 x 708 x 707 = 1,001,112 triangles
    std::fprintf(f, "mtllib none.mtl\nusemtl a\n");
    for (int y = 0; y <= rows; ++y)
        for (int x = 0; x <= columns; ++x)
            std::fprintf(f, "v %d %.4f %d\nvt %.5f %.5f\n", x, 0.01 * ((x * 7 + y * 13) % 100), y,
                         double(x) / columns, double(y) / rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            const int a = y * (columns + 1) + x + 1, b = a + 1, c = a + columns + 1, d = c + 1;
            std::fprintf(f, "f %d/%d %d/%d %d/%d\nf %d/%d %d/%d %d/%d\n", a, a, b, b, d, d, a, a, d, d, c, c);
        }
    std::fclose(f);
    return path;
}

// Runs argv to its end; wall seconds and the child's peak memory in MiB.
bool Run(const std::vector<std::string>& args, double* seconds, double* peakMiB) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *peakMiB = double(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Measure(benchmark::State& state, const std::vector<std::string>& args) {
    double seconds = 0, peak = 0, worstPeak = 0;
    for (auto _ : state) {
        if (!Run(args, &seconds, &peak)) return state.SkipWithError("the program failed");
        state.SetIterationTime(seconds);
        worstPeak = std::max(worstPeak, peak);
    }
    state.counters["peak_MiB"] = worstPeak;
}

void BM_ModelTool1MTriangles(benchmark::State& state) {
    const std::string tool = Dir() + "corvane-model";
    if (access(tool.c_str(), X_OK) != 0) return state.SkipWithError("corvane-model is not built");
    Measure(state, {tool, BigObj(), TempPath("1m.model")});
}
BENCHMARK(BM_ModelTool1MTriangles)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

void BM_ReadObjBaseline(benchmark::State& state) {
    Measure(state, {"/bin/cat", BigObj()});
}
BENCHMARK(BM_ReadObjBaseline)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

// An MD2 triangle with 9,000 frames, each moved a little along x.
const std::string& ManyFramesMd2() {
    static std::string path;
    if (!path.empty()) return path;
    path = TempPath("9000.md2");
    const int frames = 9000, frameSize = 40 + 4 * 3, ofsSt = 68, ofsTris = ofsSt + 12, ofsFrames = ofsTris + 12;
    const int ofsEnd = ofsFrames + frames * frameSize + 4;
    std::string f = "IDP2";
    auto put = [&](const void* p, std::size_t n) { f.append(static_cast<const char*>(p), n); };
    for (int v : {8, 64, 64, frameSize, 0, 3, 3, 1, 1, frames, ofsSt, ofsSt, ofsTris, ofsFrames, ofsEnd - 4, ofsEnd})
        put(&v, 4);
    for (short s : {0, 0, 63, 0, 0, 63, 0, 1, 2, 0, 1, 2}) put(&s, 2);
    for (int k = 0; k < frames; ++k) {
        const float header[6] = {1.0f / 255, 1.0f / 255, 1.0f / 255, k * 0.001f, 0, 0};
        put(header, sizeof header);
        f += std::string("frame") + std::string(11, '\0');
        const unsigned char corners[12] = {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0};
        put(corners, sizeof corners);
    }
    f.append(4, '\0');
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(f.data(), 1, f.size(), out);
        std::fclose(out);
    }
    return path;
}

void BM_ModelToolMd2With9000Frames(benchmark::State& state) {
    const std::string tool = Dir() + "corvane-model";
    if (access(tool.c_str(), X_OK) != 0) return state.SkipWithError("corvane-model is not built");
    Measure(state, {tool, ManyFramesMd2(), TempPath("9000.model")});
}
BENCHMARK(BM_ModelToolMd2With9000Frames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

void BM_ReadMd2Baseline(benchmark::State& state) {
    Measure(state, {"/bin/cat", ManyFramesMd2()});
}
BENCHMARK(BM_ReadMd2Baseline)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Arguments: the outline width.
void BM_FontToolOutline(benchmark::State& state) {
    const std::string tool = Dir() + "corvane-font";
    if (access(tool.c_str(), X_OK) != 0) return state.SkipWithError("corvane-font is not built");
    if (access(kFont, R_OK) != 0) return state.SkipWithError("fonts-dejavu-core is missing");
    Measure(state, {tool, kFont, TempPath("font.bmp"), "--size", "32", "--outline", std::to_string(state.range(0))});
}
BENCHMARK(BM_FontToolOutline)->Arg(0)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
