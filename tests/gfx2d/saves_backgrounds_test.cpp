// BMP saving of the screen and of sprites, and the background buffers through
// the frame step.
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "runtime/gfx2d/renderer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "tests/gfx2d/sprites_test_support.h"

using namespace corvane;
using namespace sprites_test;
using corvane::testing::ReadFile;
using corvane::testing::TestTempDir;

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " > /dev/null 2>&1").c_str()) == 0; }

// The pixels of a 24-bit BMP as Python's struct reads them: header fields on the
// first line, then top-down R G B bytes as hex.
const char* kPythonReader = R"(
import struct, sys
d = open(sys.argv[1], 'rb').read()
sig, size, r1, r2, off = struct.unpack_from('<2sIHHI', d, 0)
hs, w, h, planes, bits, comp, isz, xr, yr, used, imp = struct.unpack_from('<IiiHHIIiiII', d, 14)
stride = (w * 3 + 3) & ~3
print(sig.decode(), size, len(d), r1, r2, off, hs, w, h, planes, bits, comp, xr, yr, used, imp, stride)
rows = []
for y in range(h - 1, -1, -1):
    row = d[off + y * stride: off + y * stride + w * 3]
    rows.append(bytes(c for i in range(w) for c in (row[3 * i + 2], row[3 * i + 1], row[3 * i])).hex())
    if any(d[off + y * stride + w * 3: off + (y + 1) * stride]): print('padding not zero')
print(''.join(rows))
)";

// Top-down R G B bytes of a screen block, as hex.
std::string HexRgb(const Screen& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (int y = s.y0; y < s.y0 + s.height; ++y)
        for (int x = s.x0; x < s.x0 + s.width; ++x) {
            const Rgba c = s.at(x, y);
            for (int v : {c.r, c.g, c.b}) out += digits[v >> 4], out += digits[v & 15];
        }
    return out;
}

class Saves : public SpritesTest {};

TEST_F(Saves, ScreenFileMatchesTheScreenForPythonAndImageMagick) {
    if (!Have("python3")) GTEST_SKIP() << "python3 missing";
    LoadPicture(74, 32, 32, Quadrants, "screen_quad.bmp");
    DrawSprite(74, 0, 0);
    DrawRect(100, 200, 400, 300, 0x336699);
    DrawRect(639, 0, 639, 479, kGreen);
    const std::string path = TestTempDir() + "screen.bmp";
    ASSERT_EQ(SaveScreen(RtString(path.c_str())), 1.0);
    const std::string screen = HexRgb(WholeScreen());

    const std::string reader = gfx2d_test::WriteTemp("read_bmp.py", kPythonReader);
    std::istringstream py(Shell("python3 " + reader + " " + path));
    std::string header, pixels;
    std::getline(py, header);
    std::getline(py, pixels);
    EXPECT_EQ(header, "BM 921654 921654 0 0 54 40 640 480 1 24 0 10000 10000 0 0 1920");
    EXPECT_TRUE(pixels == screen) << "Python reads other pixels";

    if (Have("convert")) {
        // txt:- lists every pixel as "x,y: (r,g,b)  #RRGGBB ..."
        std::istringstream txt(Shell("convert " + path + " txt:-"));
        std::string line, fromConvert;
        while (std::getline(txt, line)) {
            const auto hash = line.find('#');
            if (line.empty() || line[0] == '#' || hash == std::string::npos) continue;
            for (int i = 1; i <= 6; ++i) fromConvert += char(std::tolower(line[hash + i]));
        }
        EXPECT_TRUE(fromConvert == screen) << "ImageMagick reads other pixels";
    }
}

TEST_F(Saves, SpriteFilesRoundTripWithTheirOwnStride) {
    // 641 wide: a row of 1923 bytes padded to 1924.
    auto stripes = [](int x, int y) { return std::uint32_t((x * 7 + y * 13) & 0xFF) | (std::uint32_t(x & 0xFF) << 16); };
    LoadPicture(70, 641, 3, stripes, "wide.bmp");
    const std::string path = TestTempDir() + "wide_saved.bmp";
    ASSERT_EQ(SaveSprite(70, RtString(path.c_str())), 1.0);
    const std::string file = ReadFile(path);
    ASSERT_EQ(file.size(), 54u + 3u * 1924u);
    EXPECT_EQ(file.substr(0, 54), gfx2d_test::MakeBmp(641, 3, 24, stripes).substr(0, 54).replace(34, 12, std::string(
        "\0\0\0\0\x10\x27\0\0\x10\x27\0\0", 12)));
    EXPECT_EQ(file.substr(54), gfx2d_test::MakeBmp(641, 3, 24, stripes).substr(54));

    // Written by ImageMagick as 24- and 8-bit files, loaded, saved and loaded again.
    if (Have("convert")) {
        for (const char* type : {"TrueColor", "Palette"}) {
            const std::string source = TestTempDir() + "im_" + type + ".bmp";
            Shell(std::string("convert -size 40x20 gradient:red-blue -type ") + type + " -compress none BMP3:" + source);
            ASSERT_EQ(LoadSprite(RtString(source.c_str()), 71), 1.0) << type;
            const std::string saved = TestTempDir() + "im_saved.bmp";
            ASSERT_EQ(SaveSprite(71, RtString(saved.c_str())), 1.0);
            ASSERT_EQ(LoadSprite(RtString(saved.c_str()), 72), 1.0);
            DrawSprite(71, 0, 0);
            DrawSprite(72, 100, 0);
            EXPECT_EQ(Differences(ReadScreen(0, 0, 40, 20), ReadScreen(100, 0, 40, 20)), 0) << type;
            EXPECT_EQ(ReadFile(saved)[28], 24) << type;
        }
    }
}

TEST_F(Saves, FailuresReturnZeroAndKeepTheOldFile) {
    LoadPicture(73, 8, 8, Quadrants, "small.bmp");
    const std::string old = TestTempDir() + "old.bmp";
    ASSERT_TRUE(corvane::testing::WriteFile(old, "old contents"));
    for (const std::string& bad : {std::string("/nonexistent-corvane-dir/x.bmp"), TestTempDir(), std::string()}) {
        EXPECT_EQ(SaveScreen(RtString(bad.c_str())), 0.0) << bad;
        EXPECT_EQ(SaveSprite(73, RtString(bad.c_str())), 0.0) << bad;
    }
    FreeSlot(73);
    EXPECT_EQ(SaveSprite(73, RtString(old.c_str())), 0.0);      // empty slot: no file written
    EXPECT_EQ(SaveSprite(65536, RtString(old.c_str())), 0.0);
    EXPECT_EQ(ReadFile(old), "old contents");

    // A file-size limit cuts the write short: 0, and the old file stays whole.
    if (std::getenv("CORVANE_SPRITES_FSIZE_CHILD")) return;
    const corvane::testing::ProcessResult child = corvane::testing::RunProcess(
        {corvane::testing::BuiltProgram("test_gfx2d"), "--gtest_filter=SaveChild.*"},
        {"CORVANE_SPRITES_FSIZE_CHILD=" + old}, 60.0);
    EXPECT_NE(child.output.find("save result 0"), std::string::npos) << child.output;
    EXPECT_EQ(ReadFile(old), "old contents");
}

TEST(SaveChild, UnderAFileSizeLimit) {
    const char* target = std::getenv("CORVANE_SPRITES_FSIZE_CHILD");
    if (!target) GTEST_SKIP() << "runs as a child of FailuresReturnZeroAndKeepTheOldFile";
    ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::printf("save result %g\n", SaveScreen(RtString(target)));
    std::fflush(stdout);
}

// ---------------------------------------------------------------- backgrounds

std::uint32_t Gradient(int x, int y) { return std::uint32_t(x & 0xFF) | (std::uint32_t(y & 0xFF) << 8) | 0x400000; }

class Backgrounds : public SpritesTest {
protected:
    void TearDown() override {
        ClearBackground();
        SetFrameSwap(nullptr);
        SetFrameRate(60);
    }
    static void ExpectPicture(const char* what) {
        const Screen s = WholeScreen();
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 210; ++x) {
                const Rgba expected = x < 200 && y < 150 ? ColourOf(Gradient(x, y)) : Rgba{};
                ASSERT_EQ(s.at(x, y), expected) << what << " at " << x << ", " << y;
            }
    }
};

TEST_F(Backgrounds, PictureDrawnAtOnceAndIntoEveryFrame) {
    const std::string path = gfx2d_test::WriteTemp("back.bmp", gfx2d_test::MakeBmp(200, 150, 24, Gradient));
    LoadBackground(RtString(path.c_str()));
    EXPECT_EQ(TheRenderer().backgrounds[0].columns, 4);
    EXPECT_EQ(TheRenderer().backgrounds[0].rows, 3);
    ExpectPicture("at once");
    for (int frame = 0; frame < 2; ++frame) {
        DrawRect(300, 300, 310, 310, kWhite);
        PresentFrame();
        ExpectPicture("next frame");
        EXPECT_FALSE(WholeScreen().lit(305, 305));
    }
    // A frame that ends in a sub-viewport does not move the next frame's background.
    SetViewport(100, 50, 200, 100);
    PresentFrame();
    ExpectPicture("after a viewport");

    LoadBackground(RtString("no-such-background.bmp"));  // missing: nothing happens
    EXPECT_EQ(TheRenderer().backgrounds[0].columns, 4);
    ClearBackground();
    PresentFrame();
    EXPECT_EQ(LitPixels(WholeScreen()).count, 0);
}

TEST_F(Backgrounds, GrabbedScreenComesBackNextFrame) {
    for (int top : {0, 250, 380, 440, 470}) DrawRect(top / 2, top, top / 2 + 20, top + 9, Gradient(top, top));
    DrawRect(630, 0, 639, 479, kGreen);
    const Screen grabbed = WholeScreen();
    GrabBackground();
    const Renderer::BackgroundBuffer& b = TheRenderer().backgrounds[0];
    ASSERT_EQ(b.columns, 1);
    ASSERT_EQ(b.rows, 4);
    const int heights[] = {256, 128, 64, 32};
    for (int row = 0; row < 4; ++row) EXPECT_EQ(b.tileHeight[0][row], heights[row]);
    PresentFrame();
    EXPECT_EQ(Differences(grabbed, WholeScreen()), 0);
}

TEST_F(Backgrounds, FadeTakesFiftyOneFramesAndLeavesThePicture) {
    static int frames = 0;
    frames = 0;
    SetFrameSwap([] { ++frames; return SwapAndWait(); });
    SetFrameRate(1000);
    const std::string path = gfx2d_test::WriteTemp("fade.bmp", gfx2d_test::MakeBmp(200, 150, 24, Gradient));
    DrawRect(0, 0, 639, 479, kRed);
    FadeToBackground(RtString(path.c_str()));
    EXPECT_GE(frames, 50);
    EXPECT_LE(frames, 52);
    EXPECT_EQ(TheRenderer().backgrounds[1].columns, 0);
    ExpectPicture("after the fade");
    PresentFrame();
    ExpectPicture("the frame after");
}

// Unloadable backgrounds stop the program with code 3 (in a child: the stop ends the process).
void ReportStop() { std::printf("stop code %g\n", engine.errorCode), std::fflush(stdout); }

TEST(BackgroundStop, UnloadablePicturesStopWithCode3) {
    if (const char* file = std::getenv("CORVANE_SPRITES_STOP_CHILD")) {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        std::atexit(ReportStop);
        if (std::getenv("CORVANE_SPRITES_FADE")) FadeToBackground(RtString(file));
        else LoadBackground(RtString(file));
        std::printf("went on\n");
        return;
    }
    std::string broken = gfx2d_test::MakeBmp(64, 64, 24, Gradient);
    broken.resize(200);
    const std::string paths[] = {
        gfx2d_test::WriteTemp("broken.bmp", broken),
        gfx2d_test::WriteTemp("wide.bmp", gfx2d_test::MakeBmp(5000, 2, 24, Gradient)),
    };
    for (const std::string& path : paths)
        for (bool fade : {false, true}) {
            std::vector<std::string> env = {"CORVANE_SPRITES_STOP_CHILD=" + path};
            if (fade) env.push_back("CORVANE_SPRITES_FADE=1");
            const corvane::testing::ProcessResult r = corvane::testing::RunProcess(
                {corvane::testing::BuiltProgram("test_gfx2d"), "--gtest_filter=BackgroundStop.*"}, env, 60.0);
            EXPECT_NE(r.output.find("stop code 3"), std::string::npos) << path << " fade " << fade << r.output;
            EXPECT_EQ(r.output.find("went on"), std::string::npos) << path;
        }
}

TEST_F(Backgrounds, WidestPictureFillsAllSixtyFourColumns) {
    const std::string path = gfx2d_test::WriteTemp("widest.bmp", gfx2d_test::MakeBmp(4096, 2, 24, Gradient));
    ASSERT_TRUE(LoadTiledBackground(2, path.c_str()));
    EXPECT_EQ(TheRenderer().backgrounds[2].columns, 64);
    EXPECT_EQ(TheRenderer().backgrounds[2].rows, 1);
    FreeBackground(2);
    EXPECT_EQ(TheRenderer().backgrounds[2].columns, 0);
}

} // namespace
