// Video: the unpaced picture path (decode, conversion, upload, draw + swap) against
// ffmpeg's own decoding of the same clips in the same run; real-time playback
// (pictures shown, processor time, memory over loops); the frame step before and
// after a video; entering and leaving full screen; a file dialog that cannot show.
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/frame/video.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_video.h"

using namespace corvane;

namespace {

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string ClipPath(const std::string& name, const std::string& args) {
    static std::string dir = [] {
        std::string d = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/corvane-bench-video-" +
                        std::to_string(getpid()) + "/";
        std::string cmd = "mkdir -p '" + d + "'";
        return std::system(cmd.c_str()) == 0 ? d : std::string("/tmp/");
    }();
    std::string path = dir + name;
    std::ifstream probe(path);
    if (probe.good()) return path;
    std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y " + args + " '" + path + "'";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
}

// 640 x 480, 30 pictures a second, 10 s.
std::string Clip(int which) {
    const char* src = "-f lavfi -i testsrc=s=640x480:r=30:d=10 ";
    return which == 0 ? ClipPath("clip.avi", std::string(src) + "-c:v mpeg4 -q:v 3")
                      : ClipPath("clip.mp4", std::string(src) + "-c:v libx264 -pix_fmt yuv420p");
}

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Decode + convert + upload + draw + swap, as fast as it goes.
void BM_VideoUnpaced(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    std::string clip = Clip(static_cast<int>(state.range(0)));
    if (clip.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1024, 512, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    double uploadMs = 0, drawMs = 0, decodeMs = 0, convertMs = 0;
    long pictures = 0;
    double wallStart = NowMs();
    for (auto _ : state) {
        platform::VideoReader* r = platform::OpenVideoReader(platform::OpenFileForReading(clip.c_str()));
        if (!r) return state.SkipWithError("no reader");
        for (;;) {
            platform::VideoStep step = platform::DecodeVideo(r);
            if (step == platform::VideoStep::End) break;
            platform::VideoPicture p;
            if (!platform::PeekVideoPicture(r, &p)) {
                platform::TakeVideoSound(r, nullptr, 1 << 20);
                continue;
            }
            double t0 = NowMs();
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba);
            glFinish();
            double t1 = NowMs();
            glEnable(GL_TEXTURE_2D);
            glDisable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            glDisable(GL_CULL_FACE);
            glBegin(GL_QUADS);
            // The 2D projection has y going down as negative numbers.
            glTexCoord2f(0, 0); glVertex2f(0, 0);
            glTexCoord2f(0, 0.9375f); glVertex2f(0, -480);
            glTexCoord2f(0.625f, 0.9375f); glVertex2f(640, -480);
            glTexCoord2f(0.625f, 0); glVertex2f(640, 0);
            glEnd();
            platform::SwapWindowBuffers();
            glFinish();
            double t2 = NowMs();
            uploadMs += t1 - t0;
            drawMs += t2 - t1;
            platform::DropVideoPicture(r);
            ++pictures;
        }
        platform::VideoReaderTimes times = platform::GetVideoReaderTimes(r);
        decodeMs += times.decodeMs;
        convertMs += times.convertMs;
        platform::CloseVideoReader(r);
    }
    glDeleteTextures(1, &texture);
    // Per second of wall time: the GL driver's own threads do part of the work.
    state.counters["pictures_per_s"] = pictures / ((NowMs() - wallStart) / 1000.0);
    double n = pictures > 0 ? static_cast<double>(pictures) : 1.0;
    state.counters["decode_ms"] = decodeMs / n;
    state.counters["convert_ms"] = convertMs / n;
    state.counters["upload_ms"] = uploadMs / n;
    state.counters["draw_swap_ms"] = drawMs / n;
}
BENCHMARK(BM_VideoUnpaced)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

// ffmpeg decoding the same clip on one thread, into nothing (range 1: converted to RGBA too).
void BM_FfmpegNull(benchmark::State& state) {
    std::string clip = Clip(static_cast<int>(state.range(0)));
    if (clip.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -benchmark -threads 1 -i '" + clip + "' " +
                      (state.range(1) ? "-pix_fmt rgba " : "") + "-f null - >/dev/null 2>&1";
    long pictures = 0;
    double wall = 0;
    for (auto _ : state) {
        double t0 = NowMs();
        if (std::system(cmd.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        state.SetIterationTime((NowMs() - t0) / 1000.0);
        wall += NowMs() - t0;
        pictures += 300;
    }
    state.counters["pictures_per_s"] = pictures / (wall / 1000.0);
}
BENCHMARK(BM_FfmpegNull)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Iterations(2)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::vector<double> g_shown;
void CountPicture(double playingMs) { g_shown.push_back(playingMs); }

// PlayVideoOnce in real time: pictures shown against the file's 300, processor time.
void BM_PlayVideoOnceRealTime(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    std::string clip = Clip(static_cast<int>(state.range(0)));
    if (clip.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    double cpu = 0;
    for (auto _ : state) {
        g_shown.clear();
        SetVideoSwapHookForTesting(CountPicture);
        double c0 = CpuMs();
        PlayVideoOnce(RtString(clip.c_str()));
        cpu += CpuMs() - c0;
        SetVideoSwapHookForTesting(nullptr);
    }
    state.counters["shown"] = static_cast<double>(g_shown.size());
    state.counters["in_file"] = 300;
    state.counters["cpu_ms"] = cpu / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PlayVideoOnceRealTime)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident memory after 1, 5 and 20 plays of a short clip: it must not grow.
void BM_VideoMemoryOverLoops(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    std::string clip = ClipPath("short.mp4", "-f lavfi -i testsrc=s=640x480:r=30:d=0.3 -f lavfi -i "
                                             "sine=duration=0.3 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
    if (clip.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    for (auto _ : state) {
        for (int i = 1; i <= 20; ++i) {
            PlayVideoOnce(RtString(clip.c_str()));
            if (i == 1) state.counters["rss_mb_after_1"] = ResidentMb();
            if (i == 5) state.counters["rss_mb_after_5"] = ResidentMb();
            if (i == 20) state.counters["rss_mb_after_20"] = ResidentMb();
        }
    }
}
BENCHMARK(BM_VideoMemoryOverLoops)->Iterations(1)->Unit(benchmark::kMillisecond);

// The frame step at 500 frames a second, before and after a video (range 1).
void BM_PresentFrameAroundVideo(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    if (state.range(0)) {
        std::string clip = ClipPath("tiny.avi", "-f lavfi -i testsrc=s=320x240:r=25:d=0.2 -c:v mpeg4");
        PlayVideoOnce(RtString(clip.c_str()));
    }
    SetFrameRate(500);
    for (auto _ : state) PresentFrame();
    SetFrameRate(60);
}
BENCHMARK(BM_PresentFrameAroundVideo)->Arg(0)->Arg(1)->Iterations(200)->Unit(benchmark::kMillisecond);

void BM_EnterFullscreen(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    for (auto _ : state) {
        double t0 = NowMs();
        EnterFullscreenMode();
        state.SetIterationTime((NowMs() - t0) / 1000.0);
        EnterWindowedMode();
    }
}
BENCHMARK(BM_EnterFullscreen)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LeaveFullscreen(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    for (auto _ : state) {
        EnterFullscreenMode();
        double t0 = NowMs();
        EnterWindowedMode();
        state.SetIterationTime((NowMs() - t0) / 1000.0);
    }
}
BENCHMARK(BM_LeaveFullscreen)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Offscreen, no dialog can show: the answer comes at once.
void BM_FileDialogUnavailable(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_video")) return state.SkipWithError("no engine");
    std::FILE* quiet = std::freopen("/dev/null", "w", stderr);
    (void)quiet;
    for (auto _ : state) benchmark::DoNotOptimize(FileDialog(1, RtString("All|*.*")));
}
BENCHMARK(BM_FileDialogUnavailable)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
