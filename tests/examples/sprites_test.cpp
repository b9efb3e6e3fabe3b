// sprites as a player sees and hears it: the tiled background, the swarm, the ship
// steered by the arrow keys, the score going up as it touches balls, the music.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/examples/example_run.h"

using namespace example_test;
using corvane::testing::ReadFile;

namespace {

struct Counts {
    int tile = 0, ball = 0, ship = 0;  // pixels of the field (below the score bar)
};

Counts CountField(const Image& screen) {
    Counts c;
    for (int y = 20; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
            const std::uint32_t p = screen.Pixel(x, y);
            if (p == 0x203060 || p == 0x283C78 || p == 0x5070A0) ++c.tile;
            else if (p == 0xE02020 || p == 0xFFA0A0) ++c.ball;
            else if (p == 0x20D040) ++c.ship;
        }
    return c;
}

// Seconds of 10 ms windows of 16-bit stereo whose peak passes 1 % of full scale.
double AudibleSeconds(const std::string& raw, int rate) {
    const std::string bytes = ReadFile(raw);
    const auto* s = reinterpret_cast<const short*>(bytes.data());
    const size_t frames = bytes.size() / 4, window = static_cast<size_t>(rate) / 100;
    int loud = 0;
    for (size_t start = 0; start + window <= frames; start += window) {
        int peak = 0;
        for (size_t i = start * 2; i < (start + window) * 2; ++i) peak = std::max(peak, std::abs(int(s[i])));
        if (peak > 327) ++loud;
    }
    return loud * 0.01;
}

struct SpritesCase {
    const char* what;
    std::vector<std::string> args;
    const char* script;
    int balls;
    bool scores;                        // the ship must have touched balls
};

TEST(SpritesExample, SwarmShipScoreAndMusic) {
    if (!ExampleBuilt("sprites")) GTEST_SKIP() << "examples not built";
    const SpritesCase cases[] = {
        {"the ship sweeps left and up through the swarm", {}, "3 down Left\n25 up Left\n26 down Up\n50 up Up\n", 2000, true},
        {"no balls: nothing to hit", {"0"}, "5 down Right\n30 up Right\n", 0, false},
    };
    for (const SpritesCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string audio = corvane::testing::TestTempDir() + "sprites-audio.raw";
        std::remove(audio.c_str());
        ExampleRun run = RunExample("sprites", c.args, c.script, 60, 90,
                                    {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio, "SDL_DISKAUDIODELAY=0"});
        ASSERT_FALSE(run.process.timedOut) << run.process.output;
        ASSERT_EQ(0, run.process.exitStatus) << run.process.output;
        ASSERT_EQ(640, run.screen.width);

        const std::string status = ScreenText(run.shotPath, 8, 8);
        int score = -1, fps = -1, balls = -1;
        ASSERT_EQ(3, std::sscanf(status.c_str(), "score %d  fps %d  sprites %d", &score, &fps, &balls)) << status;
        EXPECT_EQ(c.balls, balls);
        EXPECT_GT(fps, 0);
        if (c.scores) EXPECT_GT(score, 0) << status;
        else EXPECT_EQ(0, score) << status;

        const Counts field = CountField(run.screen);
        const int area = 640 * 460;
        EXPECT_GT(field.tile, area / 4) << "the tiled background is not showing";
        if (c.balls) EXPECT_GT(field.ball, area / 50) << "the swarm is not showing";
        else EXPECT_EQ(0, field.ball);
        EXPECT_GT(field.ship, 150) << "the ship is not showing";
        EXPECT_GT(AudibleSeconds(audio, 22050), 0.3) << "no music";
    }
}

} // namespace
