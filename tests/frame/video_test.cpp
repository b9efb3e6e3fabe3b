// Full-window video, headless: clips made by ffmpeg at test time, pictures read
// from the back buffer just before each swap, keys and buttons pushed as events.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/frame/frame_internal.h"
#include "runtime/frame/video.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_video.h"
#include "runtime/values/media.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_sockets.h"
#include "tests/values/files_test_support.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

struct Rgb { int r, g, b; };

// Reads one window pixel (top-left origin) from the back buffer.
Rgb Pixel(int x, int y) {
    std::vector<unsigned char> px = ReadBackBuffer(x, SurfaceHeight() - 1 - y, 1, 1);
    return {px[0], px[1], px[2]};
}

bool Near(Rgb a, Rgb b, int tolerance = 8) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Text(Rgb c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

const Rgb kRed{255, 0, 0}, kLime{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

// What the swap hook saw: each picture's playing time, the wall time since the
// call, and the pixels the test asked for.
struct Seen {
    double playingMs, wallMs;
    std::vector<Rgb> pixels;
};
std::vector<std::pair<int, int>> g_points;
std::vector<Seen> g_seen;
double g_callStart = 0.0;
std::function<void(double wallMs)> g_onPicture;

void Hook(double playingMs) {
    Seen s{playingMs, NowMilliseconds() - g_callStart, {}};
    for (auto [x, y] : g_points) s.pixels.push_back(Pixel(x, y));
    g_seen.push_back(s);
    if (g_onPicture) g_onPicture(s.wallMs);
}

// Plays and returns the time the call took, in ms.
double Play(const std::string& name, bool loop, std::vector<std::pair<int, int>> points = {}) {
    g_points = std::move(points);
    g_seen.clear();
    SetVideoSwapHookForTesting(Hook);
    g_callStart = NowMilliseconds();
    if (loop) PlayVideo(RtString(name.c_str()));
    else PlayVideoOnce(RtString(name.c_str()));
    double took = NowMilliseconds() - g_callStart;
    SetVideoSwapHookForTesting(nullptr);
    g_onPicture = nullptr;
    return took;
}

void PushKey(bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = SDL_SCANCODE_A;
    e.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&e);
}

void PushButton(bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

// Lets go of every key and button the test pressed, and lets the runtime see it.
void ReleaseAll() {
    PushKey(false);
    PushButton(false);
    for (int i = 0; i < 10; ++i) {
        PumpMessages();
        SDL_Delay(10);
    }
}

std::string ClipDir() {
    static std::string dir = [] {
        std::string d = TestTempDir() + "clips/";
        std::error_code error;
        std::filesystem::create_directories(d, error);
        return error ? std::string() : d;
    }();
    return dir;
}

// Makes a clip with ffmpeg (once per process); returns its path, "" on failure.
std::string Clip(const std::string& name, const std::string& args) {
    std::string path = ClipDir() + name;
    if (!ReadFile(path).empty()) return path;
    std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y " + args + " '" + path + "'";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
}

std::string Quadrants(int seconds) {
    std::string d = ":s=160x120:r=25:d=" + std::to_string(seconds);
    return "-f lavfi -i \"color=c=red" + d + "[a];color=c=lime" + d + "[b];color=c=blue" + d + "[c];color=c=white" +
           d + "[e];[a][b][c][e]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0[out0]\"";
}

std::string RedThenBlue(const std::string& size, double each) {
    std::string d = ":s=" + size + ":r=25:d=" + std::to_string(each);
    return "-f lavfi -i \"color=c=red" + d + "[a];color=c=blue" + d + "[b];[a][b]concat=n=2:v=1:a=0[out0]\"";
}

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartHeadlessEngine());
        if (!corvane::testing::ShellToolsAvailable() || std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ffmpeg missing (the clips are made with it; " << corvane::testing::kNoShellTools << ")";
        // Loaded before the timed calls: what the first video's load costs is a
        // benchmark's figure, not part of these bounds.
        if (PreloadLibraries()) {
            ASSERT_TRUE(platform::LoadVideoLibraries(nullptr));
        }
        ReleaseAll();
    }
    virtual bool PreloadLibraries() const { return true; }
    void TearDown() override { ReleaseAll(); }
};

// Goertzel power of one frequency in a stretch of one channel, per sample.
double Tone(const std::vector<std::int16_t>& stereo, std::size_t from, std::size_t count, double hz) {
    double k = 2.0 * std::cos(2.0 * M_PI * hz / 22050.0), s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + count && i * 2 < stereo.size(); ++i) {
        double s = stereo[i * 2] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / static_cast<double>(count);
}

} // namespace

TEST(VideoFitTest, ScaledToTheSmallerRatioAndCentred) {
    const struct { int cw, ch, vw, vh; VideoFit fit; } cases[] = {
        {640, 480, 320, 240, {0, 0, 640, 480}},
        {640, 480, 640, 360, {0, 60, 640, 360}},
        {640, 480, 240, 480, {200, 0, 240, 480}},
        {640, 480, 100, 30, {0, 144, 640, 192}},
        {640, 480, 3, 7, {217, 0, 205, 480}},     // 205.71 truncated, (640 - 205) / 2 = 217
        {640, 480, 0, 240, {0, 0, 0, 0}},         // no picture: nothing to divide by
        {640, 480, 320, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        VideoFit f = FitVideo(c.cw, c.ch, c.vw, c.vh);
        EXPECT_EQ(std::vector<int>({f.x, f.y, f.width, f.height}),
                  std::vector<int>({c.fit.x, c.fit.y, c.fit.width, c.fit.height}))
            << c.vw << "x" << c.vh;
    }
}

TEST_F(VideoTest, QuadrantsFillTheWindowInEveryContainer) {
    const struct { const char* name; const char* codec; } cases[] = {
        {"q.avi", "-c:v mpeg4 -q:v 2 -pix_fmt yuv420p"},
        {"q.mp4", "-c:v libx264 -pix_fmt yuv420p"},
        {"qj.avi", "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
        {"q.webm", "-c:v libvpx -b:v 1M -pix_fmt yuv420p"},
        {"q.ogv", "-c:v libtheora -q:v 9 -pix_fmt yuv420p"},
    };
    for (const auto& c : cases) {
        std::string clip = Clip(c.name, Quadrants(1) + " " + c.codec);
        ASSERT_FALSE(clip.empty()) << c.name;
        Play(clip, false, {{160, 120}, {480, 120}, {160, 360}, {480, 360}});
        // Some encoders keep only the pictures that change: a still clip may have three.
        ASSERT_GE(g_seen.size(), 2u) << c.name;
        const Seen& s = g_seen.back();
        const Rgb want[] = {kRed, kLime, kBlue, kWhite};
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(Near(s.pixels[i], want[i])) << c.name << " corner " << i << " " << Text(s.pixels[i]);
    }
}

TEST_F(VideoTest, OtherShapesAreLetterBoxedOrPillarBoxed) {
    std::string wide = Clip("wide.mp4", "-f lavfi -i color=c=white:s=640x360:r=25:d=0.5 -c:v libx264 -pix_fmt yuv420p");
    std::string tall = Clip("tall.mp4", "-f lavfi -i color=c=white:s=240x480:r=25:d=0.5 -c:v libx264 -pix_fmt yuv420p");
    ASSERT_FALSE(wide.empty());
    ASSERT_FALSE(tall.empty());
    const struct { std::string clip; std::vector<std::pair<int, int>> black, white; } cases[] = {
        {wide, {{320, 0}, {320, 59}, {320, 420}, {320, 479}}, {{320, 61}, {320, 418}, {0, 240}, {639, 240}}},
        {tall, {{0, 240}, {199, 240}, {440, 240}, {639, 240}}, {{201, 0}, {438, 479}, {320, 240}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<int, int>> points = c.black;
        points.insert(points.end(), c.white.begin(), c.white.end());
        Play(c.clip, false, points);
        ASSERT_FALSE(g_seen.empty());
        const Seen& s = g_seen.back();
        for (size_t i = 0; i < points.size(); ++i) {
            Rgb want = i < c.black.size() ? kBlack : kWhite;
            EXPECT_TRUE(Near(s.pixels[i], want)) << c.clip << " at " << points[i].first << "," << points[i].second
                                                 << " " << Text(s.pixels[i]);
        }
    }
}

TEST_F(VideoTest, PicturesComeAtTheirTimesAndTheCallEndsWithTheData) {
    std::string clip = Clip("rb.avi", RedThenBlue("320x240", 1) + " -c:v mpeg4 -q:v 2");
    ASSERT_FALSE(clip.empty());
    double took = Play(clip, false, {{320, 240}});
    ASSERT_FALSE(g_seen.empty());
    // From the first picture to the return: the clip's length (opening the file
    // before it is not part of it).
    EXPECT_NEAR(took - g_seen.front().wallMs, 2000.0, 300.0) << "first picture at " << g_seen.front().wallMs;
    EXPECT_LT(g_seen.front().wallMs, 500.0);
    auto colourAt = [](double wallMs) {
        const Seen* last = nullptr;
        for (const Seen& s : g_seen)
            if (s.wallMs <= wallMs) last = &s;
        return last ? last->pixels[0] : Rgb{-1, -1, -1};
    };
    EXPECT_TRUE(Near(colourAt(500), kRed)) << Text(colourAt(500));
    EXPECT_TRUE(Near(colourAt(1500), kBlue)) << Text(colourAt(1500));
    // Pictures are not shown ahead of their times.
    for (const Seen& s : g_seen) EXPECT_GE(s.wallMs + 5.0, s.playingMs);
}

TEST_F(VideoTest, LoopingStartsOverAndAKeyOrButtonEndsItPromptly) {
    std::string clip = Clip("rb.avi", RedThenBlue("320x240", 1) + " -c:v mpeg4 -q:v 2");
    ASSERT_FALSE(clip.empty());
    for (bool useKey : {true, false}) {
        double pushedAt = -1.0;
        bool redAgain = false;
        g_onPicture = [&](double wallMs) {
            if (wallMs >= 2400 && wallMs <= 2700 && Near(g_seen.back().pixels[0], kRed)) redAgain = true;
            if (wallMs >= 2800 && pushedAt < 0) {
                useKey ? PushKey(true) : PushButton(true);
                pushedAt = NowMilliseconds() - g_callStart;  // after this picture's own reading
            }
        };
        double took = Play(clip, true, {{320, 240}});
        EXPECT_TRUE(redAgain) << (useKey ? "key" : "button");
        ASSERT_GE(pushedAt, 0.0);
        // 50 ms on a quiet machine; the margin is for a loaded one. A missed key
        // would run on to the next loop, seconds later.
        EXPECT_LT(took - pushedAt, 100.0) << (useKey ? "key" : "button");
        ReleaseAll();
    }
}

TEST_F(VideoTest, AButtonHeldAtTheCallDelaysTheStart) {
    std::string clip = Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    PushButton(true);
    for (int i = 0; i < 5; ++i) PumpMessages();
    std::thread release([] {
        SDL_Delay(400);
        PushButton(false);
    });
    Play(clip, false);
    release.join();
    ASSERT_FALSE(g_seen.empty());
    EXPECT_GE(g_seen.front().wallMs, 380.0);
}

TEST_F(VideoTest, BadAndOddFilesReturnWithoutHarm) {
    std::string dir = ClipDir();
    std::string avi = Clip("long.avi", "-f lavfi -i testsrc=s=320x240:r=25:d=3 -c:v mpeg4");
    std::string mp4 = Clip("ten.mp4", "-f lavfi -i testsrc=s=320x240:r=25:d=10 -c:v libx264 -pix_fmt yuv420p "
                                        "-b:v 400k -maxrate 400k -bufsize 200k -movflags +faststart");
    std::string moovLast = Clip("moovlast.mp4", "-f lavfi -i testsrc=s=320x240:r=25:d=2 -c:v libx264 -pix_fmt yuv420p");
    std::string wav = Clip("tone.wav", "-f lavfi -i sine=frequency=1000:sample_rate=22050:duration=0.5");
    ASSERT_FALSE(avi.empty() || mp4.empty() || moovLast.empty() || wav.empty());
    std::string aviBytes = ReadFile(avi), mp4Bytes = ReadFile(mp4), moovBytes = ReadFile(moovLast);
    WriteFile(dir + "empty.avi", "");
    WriteFile(dir + "text.avi", "this is not a video file\n");
    WriteFile(dir + "third.avi", aviBytes.substr(0, aviBytes.size() / 3));
    WriteFile(dir + "cut30k.mp4", mp4Bytes.substr(0, 30000));
    WriteFile(dir + "nomoov.mp4", moovBytes.substr(0, moovBytes.size() / 2));
    // Streams no game video comes in: a JPEG XL picture that once crashed the
    // library's decoder, a moving GIF, and a known container with an unlisted codec.
    WriteFile(dir + "jxl.avi", std::string("\xff\x0a\x00\x00\xfd\x00\x50\x50\xac\x50\x04\x00\x50\x1b\x00\x00"
                                           "QQQQQQQQQQQQ\xf9\x23\xff", 31));
    std::string gif = Clip("moving.gif", "-f lavfi -i testsrc=s=64x48:r=10:d=0.5");
    std::string ffv1 = Clip("ffv1.mkv", "-f lavfi -i testsrc=s=64x48:r=25:d=0.5 -c:v ffv1");
    ASSERT_FALSE(gif.empty() || ffv1.empty());

    // A listening socket that must see no connection: a playlist names it.
    int listener = corvane::testing::OpenTcpSocket();
    corvane::testing::MakeNonBlocking(listener);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    corvane::testing::socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string port = std::to_string(ntohs(addr.sin_port));
    std::string ts = Clip("seg.ts", "-f lavfi -i testsrc=s=160x120:r=25:d=1 -c:v libx264 -pix_fmt yuv420p");
    WriteFile(dir + "local.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n" + ts + "\n#EXT-X-ENDLIST\n");
    WriteFile(dir + "remote.m3u8",
              "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nhttp://127.0.0.1:" + port + "/seg.ts\n#EXT-X-ENDLIST\n");

    const struct { std::string name; double minMs, maxMs; bool pictures; } cases[] = {
        {dir + "missing.avi", 0, 200, false},
        {dir + "empty.avi", 0, 200, false},
        {dir + "text.avi", 0, 300, false},
        {dir + "third.avi", 500, 1800, true},    // ends with its data, about a second in
        {dir + "cut30k.mp4", 0, 2500, true},     // the header says 10 s; the data ends within a second
        {dir + "nomoov.mp4", 0, 300, false},
        {wav, 350, 1200, false},                 // sound alone plays over black for its length
        {dir + "local.m3u8", 0, 300, false},
        {dir + "remote.m3u8", 0, 300, false},
        {dir + "jxl.avi", 0, 300, false},
        {gif, 0, 300, false},
        {ffv1, 0, 300, false},
    };
    for (const auto& c : cases) {
        double took = Play(c.name, false);
        EXPECT_GE(took, c.minMs) << c.name;
        EXPECT_LE(took, c.maxMs) << c.name;
        EXPECT_EQ(g_seen.size() > 1, c.pictures) << c.name << " " << g_seen.size();
    }
    int accepted = corvane::testing::AcceptSocket(listener);
    EXPECT_LT(accepted, 0) << "the playlist's address was connected to";
    if (accepted >= 0) corvane::testing::CloseSocket(accepted);
    corvane::testing::CloseSocket(listener);

    // Names that look like protocols are files here.
    std::string before = platform::CurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(dir));
    WriteFile("intro:1.avi", ReadFile(Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4")));
    WriteFile("pipe:x.avi", ReadFile(dir + "short.avi"));
    for (const char* name : {"intro:1.avi", "pipe:x.avi"}) {
        Play(name, false);
        EXPECT_GE(g_seen.size(), 3u) << name;
    }
    platform::SetCurrentDirectory(before);
}

TEST_F(VideoTest, AVideoFromAMediaPackPlays) {
    std::string clip = Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    std::string pack = ClipDir() + "media.pak";
    ASSERT_TRUE(WriteFile(pack, corvane::files_test::WritePack({{"intro.avi", ReadFile(clip)}})));
    RtString first(MediaSource(0)->packPath), second(MediaSource(1)->packPath);
    SetMediaPacks(RtString(pack.c_str()), RtString(pack.c_str()));
    Play("INTRO.AVI", false, {{320, 240}});
    SetMediaPacks(second, first);
    ASSERT_GE(g_seen.size(), 3u);
    EXPECT_TRUE(Near(g_seen.back().pixels[0], kRed)) << Text(g_seen.back().pixels[0]);
}

TEST_F(VideoTest, TheProgramsDrawingIsAsItLeftIt) {
    std::string clip = Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SetViewport(100, 100, 200, 200);
    SetAlpha(-0.5);
    DrawRect(0, 0, 19, 19, 0xFF0000);  // blue at half strength over black
    Rgb before = Pixel(105, 105);
    PlayVideoOnce(RtString(clip.c_str()));
    EXPECT_TRUE(Near(Pixel(105, 105), before, 2)) << Text(Pixel(105, 105));
    EXPECT_TRUE(Near(Pixel(50, 50), kBlack, 2));
    // A new rectangle lands in the same viewport with the same blending.
    DrawRect(30, 0, 49, 19, 0xFF0000);
    EXPECT_TRUE(Near(Pixel(135, 105), before, 2)) << Text(Pixel(135, 105));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    SetAlpha(0);
    ResetViewport(0, 0, 0, 0);
}

TEST_F(VideoTest, SoundIsMixedWithTheMusicAndStopsWithThePicture) {
    std::string clip = Clip("tone.mp4", "-f lavfi -i color=c=red:s=160x120:r=25:d=3 -f lavfi -i "
                                        "sine=frequency=1000:sample_rate=44100:duration=3 -c:v libx264 "
                                        "-pix_fmt yuv420p -c:a aac -shortest");
    std::string music = Clip("music.wav", "-f lavfi -i sine=frequency=300:sample_rate=22050:duration=8");
    ASSERT_FALSE(clip.empty() || music.empty());
    // The output reopened on SDL's disk driver, which writes the mix to a file in real time.
    std::string raw = TestTempDir() + "video-mix.raw";
    CreateSoundRecords();
    ReleaseSounds(TheSoundDevice());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    ASSERT_EQ(InitSound(TheSoundDevice()), 1);
    double opened = NowMilliseconds();
    ASSERT_EQ(PlayMusic(music.c_str()), 1);
    double pushedAt = -1.0;
    g_onPicture = [&](double wallMs) {
        if (wallMs >= 2000 && pushedAt < 0) {
            pushedAt = wallMs;
            PushKey(true);
        }
    };
    double started = NowMilliseconds() - opened;
    Play(clip, false);
    SDL_Delay(800);
    ReleaseSounds(TheSoundDevice());
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    InitSound(TheSoundDevice());
    std::string bytes = ReadFile(raw);
    std::vector<std::int16_t> mix(bytes.size() / 2);
    std::memcpy(mix.data(), bytes.data(), mix.size() * 2);
    ASSERT_GT(pushedAt, 0.0);
    auto frameAt = [&](double msFromOpen) { return static_cast<std::size_t>(msFromOpen * 22.05); };
    std::size_t during = frameAt(started + 900), after = frameAt(started + pushedAt + 200);
    ASSERT_GT(mix.size() / 2, after + 4410) << "the capture is too short";
    EXPECT_GT(Tone(mix, during, 4410, 1000), 1000.0) << "the video's tone is heard while it plays";
    EXPECT_GT(Tone(mix, during, 4410, 300), 1000.0) << "the music goes on under it";
    EXPECT_LT(Tone(mix, after, 4410, 1000), 100.0) << "the tone stops with the picture";
    EXPECT_GT(Tone(mix, after, 4410, 300), 1000.0) << "the music keeps playing";
}

TEST_F(VideoTest, TexturingTheProgramLeftDoesNotTintThePictures) {
    std::string clip = Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    // Slot 2 holds black: any unit still sampling it turns the picture black.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GrabSprite(1, 0, 0, 16, 16);
    GrabSprite(2, 0, 0, 16, 16);
    auto active = [](GLenum unit) { gl::ActiveTexture()(unit); };
    const struct { const char* what; std::function<void()> leave; GLenum activeUnit; } cases[] = {
        {"a second texture", [] { SetTexture(1, 2); }, GL_TEXTURE0_ARB},
        {"the second unit left active", [&] { SetTexture(1, 2); active(GL_TEXTURE1_ARB); }, GL_TEXTURE1_ARB},
        {"coordinates generated on unit 0", [&] { SetTexture(1, -1); glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR); glEnable(GL_TEXTURE_GEN_S); }, GL_TEXTURE0_ARB},
    };
    ASSERT_TRUE(gl::HasMultitexture());
    for (const auto& c : cases) {
        c.leave();
        Play(clip, false, {{320, 240}});
        ASSERT_GE(g_seen.size(), 3u) << c.what;
        EXPECT_TRUE(Near(g_seen.back().pixels[0], kRed)) << c.what << " " << Text(g_seen.back().pixels[0]);
        // The program's texturing is back as it left it.
        GLint unit = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &unit);
        EXPECT_EQ(static_cast<GLenum>(unit), c.activeUnit) << c.what;
        active(GL_TEXTURE1_ARB);
        bool second = glIsEnabled(GL_TEXTURE_2D);
        active(GL_TEXTURE0_ARB);
        EXPECT_EQ(second, std::string(c.what) != "coordinates generated on unit 0") << c.what;
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_GEN_S), std::string(c.what) == "coordinates generated on unit 0") << c.what;
        glDisable(GL_TEXTURE_GEN_S);
        SetTexture(-1, -1);
    }
}

TEST(VideoLibraryNames, VersionedNameFirstThenThePlainOne) {
    const struct { const char* base; int major; bool windows; std::vector<std::string> names; } cases[] = {
        {"avformat", 59, false, {"libavformat.so.59", "libavformat.so"}},
        {"avutil", 57, false, {"libavutil.so.57", "libavutil.so"}},
        {"avformat", 59, true, {"avformat-59.dll", "avformat.dll"}},
        {"swresample", 4, true, {"swresample-4.dll", "swresample.dll"}},
        {"", 59, false, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::VideoLibraryFileNames(c.base, c.major, c.windows), c.names) << c.base << " " << c.windows;
}

// Whether a library of the video stack is mapped into this process.
bool VideoStackMapped() {
    std::string maps = ReadFile("/proc/self/maps");
    return maps.find("libavcodec") != std::string::npos || maps.find("libavformat") != std::string::npos;
}

class VideoLibrariesTest : public VideoTest {
protected:
    bool PreloadLibraries() const override { return false; }
};

TEST_F(VideoLibrariesTest, LoadOnTheFirstVideoAndAMissingOneIsNamed) {
    std::string clip = Clip("short.avi", "-f lavfi -i color=c=red:s=64x48:r=25:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    // Started, window and all, without them.
    EXPECT_FALSE(platform::VideoLibrariesLoaded());
    EXPECT_FALSE(VideoStackMapped());

    platform::SetVideoLibraryNameForTesting("avcodec", "avcodec-missing");
    std::size_t logBefore = ErrorLogLines().size();
    double took = Play(clip, false);
    platform::SetVideoLibraryNameForTesting("avcodec", nullptr);
    EXPECT_LE(took, 300.0);
    EXPECT_TRUE(g_seen.empty()) << "nothing is shown without the decoder";
    EXPECT_FALSE(platform::VideoLibrariesLoaded());
    std::vector<std::string> log = ErrorLogLines();
    ASSERT_EQ(log.size(), logBefore + 1);
    EXPECT_NE(log.back().find("PlayVideo"), std::string::npos) << log.back();
    EXPECT_NE(log.back().find("libavcodec-missing.so.59"), std::string::npos) << log.back();

    // Found again under its own name, the same call plays.
    Play(clip, false, {{320, 240}});
    ASSERT_GE(g_seen.size(), 3u);
    EXPECT_TRUE(Near(g_seen.back().pixels[0], kRed)) << Text(g_seen.back().pixels[0]);
    EXPECT_TRUE(platform::VideoLibrariesLoaded());
    EXPECT_EQ(ErrorLogLines().size(), logBefore + 1);

    // Kept while a reader is open; closed at the program end.
    std::string bytes = ReadFile(clip);
    platform::VideoReader* reader = platform::OpenVideoReaderFromMemory(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(platform::UnloadVideoLibraries());
    platform::CloseVideoReader(reader);
    StopVideoPlayback();
    EXPECT_FALSE(platform::VideoLibrariesLoaded());
}
