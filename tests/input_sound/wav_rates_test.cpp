// WAV files at the common rates, made by sox, against sox's own conversion of the
// same file to the output format: the played sound must follow the source over its
// whole length, to its last sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/input_sound/sound_internal.h"
#include "tests/input_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace corvane::soundtest;

namespace {

bool HaveSox() { return corvane::testing::ShellToolsAvailable() && std::system("command -v sox >/dev/null 2>&1") == 0; }

std::vector<std::int16_t> ReadRaw(const std::string& path) {
    std::string bytes = corvane::testing::ReadFile(path);
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

// Largest difference between the reference and the capture from `offset` on, over
// every sample of the reference.
int WorstError(const std::vector<std::int16_t>& ref, const Capture& c, long offset) {
    int worst = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        std::size_t at = static_cast<std::size_t>(offset) * 2 + i;
        int got = at < c.samples.size() ? c.samples[at] : 0;
        worst = std::max(worst, std::abs(got - ref[i]));
    }
    return worst;
}

TEST(WavRates, PlayedSoundFollowsSoxConversionToTheLastSample) {
    if (!HaveSox()) GTEST_SKIP() << "sox missing";
    const std::string dir = corvane::testing::TestTempDir();
    for (int rate : {8000, 11025, 16000, 22050, 32000, 44100, 48000}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE("rate " + std::to_string(rate) + ", channels " + std::to_string(channels));
            const std::string name = "rate" + std::to_string(rate) + "_" + std::to_string(channels);
            const std::string wav = dir + name + ".wav", ref = dir + name + ".ref.raw";
            // A 0.3 s tone with short fades, so neither converter rings at a cut edge;
            // the two channels differ so that a swap would show.
            std::string make = "sox -D -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                               " -b 16 " + wav + " synth 0.3 sine 440 sine 660 fade q 0.005 0.3 0.01 vol 0.5";
            std::string convert = "sox -D " + wav + " -r 22050 -c 2 -b 16 -e signed -t raw " + ref;
            ASSERT_EQ(std::system((make + " && " + convert).c_str()), 0);
            std::vector<std::int16_t> reference = ReadRaw(ref);
            ASSERT_GT(reference.size(), 22050u / 2);

            ASSERT_TRUE(StartCapture(name));
            ASSERT_EQ(LoadSound(wav.c_str(), 5, 1), 1);
            ASSERT_EQ(PlaySound(5, 0.0, 1.0), 1);
            Capture c = FinishCapture(600);
            long first = c.First(20);
            ASSERT_GE(first, 0) << "nothing was heard";

            // The sound starts within a few frames of its first audible sample.
            long best = -1;
            int bestError = 1 << 30;
            for (long offset = std::max(0L, first - 40); offset <= first + 5; ++offset) {
                int e = WorstError(reference, c, offset);
                if (e < bestError) bestError = e, best = offset;
            }
            // Two good resamplers differ by a few parts in ten thousand of full
            // scale on a tone this far below their cut-off; a jump in time shows
            // as thousands.
            EXPECT_LT(bestError, 100) << "at offset " << best;
            // And nothing sounds after the reference ends.
            const std::size_t end = static_cast<std::size_t>(best) * 2 + reference.size();
            int tail = 0;
            for (std::size_t i = end + 8; i < c.samples.size(); ++i) tail = std::max(tail, std::abs(int(c.samples[i])));
            EXPECT_LT(tail, 40);
        }
    }
}

} // namespace
