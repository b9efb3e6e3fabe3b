#include "tests/input_sound/sound_test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "runtime/input_sound/sound_internal.h"
#include "tests/support/engine_fixture.h"

namespace corvane::soundtest {

namespace {

void Put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

} // namespace

std::string BuildWav(const WavRecipe& recipe) {
    std::string data;
    for (int v : recipe.samples) {
        if (recipe.bits == 8) data.push_back(static_cast<char>(v & 0xFF));
        else Put16(data, static_cast<unsigned>(v) & 0xFFFF);
    }
    const int blockAlign = recipe.blockAlign >= 0 ? recipe.blockAlign : recipe.channels * recipe.bits / 8;
    std::string body = "WAVE";
    body += "fmt ";
    Put32(body, recipe.formatSize);
    Put16(body, 1);
    Put16(body, static_cast<unsigned>(recipe.channels));
    Put32(body, static_cast<std::uint32_t>(recipe.rate));
    Put32(body, static_cast<std::uint32_t>(recipe.rate * blockAlign));
    Put16(body, static_cast<unsigned>(blockAlign));
    Put16(body, static_cast<unsigned>(recipe.bits));
    if (recipe.formatSize > 16) body.append(recipe.formatSize - 16, '\0');
    if (recipe.factChunk) {
        body += "fact";
        Put32(body, 4);
        Put32(body, static_cast<std::uint32_t>(recipe.samples.size() / recipe.channels));
    }
    if (recipe.listChunk) {
        body += "LIST";
        Put32(body, 26);
        body += "INFOISFT";
        Put32(body, 14);
        body.append("Lavf58.76.100", 14);
    }
    body += "data";
    Put32(body, static_cast<std::uint32_t>(recipe.dataSize >= 0 ? recipe.dataSize : static_cast<std::int64_t>(data.size())));
    body += data;
    std::string file = "RIFF";
    Put32(file, static_cast<std::uint32_t>(body.size()));
    return file + body;
}

std::vector<int> Sine(int frames, int channels, double rate, double frequency, double amplitude) {
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        int v = static_cast<int>(std::lround(amplitude * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c) out.push_back(v);
    }
    return out;
}

std::vector<int> Constant(int frames, int channels, int value) {
    return std::vector<int>(static_cast<std::size_t>(frames) * channels, value);
}

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    std::string path = corvane::testing::TestTempDir() + name;
    corvane::testing::WriteFile(path, bytes);
    return path;
}

long Capture::First(int threshold) const {
    for (std::size_t f = 0; f < Frames(); ++f) {
        if (std::abs(At(f, 0)) > threshold || std::abs(At(f, 1)) > threshold) return static_cast<long>(f);
    }
    return -1;
}

double Capture::Rms(int channel, std::size_t from, std::size_t count) const {
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t f = from; f < from + count && f < Frames(); ++f, ++n) sum += double(At(f, channel)) * At(f, channel);
    return n ? std::sqrt(sum / n) : 0.0;
}

int Capture::MaxAbs(int channel) const {
    int m = 0;
    for (std::size_t f = 0; f < Frames(); ++f) m = std::max(m, std::abs(At(f, channel)));
    return m;
}

std::size_t Capture::CountLouder(int channel, int threshold) const {
    std::size_t n = 0;
    for (std::size_t f = 0; f < Frames(); ++f) n += std::abs(At(f, channel)) > threshold;
    return n;
}

namespace {
std::string g_capturePath;
}

bool StartCapture(const std::string& name) {
    corvane::testing::StartHeadlessEngine();
    CreateSoundRecords();
    ReleaseSounds(TheSoundDevice());
    g_capturePath = corvane::testing::TestTempDir() + name + ".raw";
    std::remove(g_capturePath.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", g_capturePath.c_str(), 1);
    return InitSound(TheSoundDevice()) == 1;
}

Capture FinishCapture(int waitMs) {
    SleepMs(waitMs);
    ReleaseSounds(TheSoundDevice());
    std::string bytes = corvane::testing::ReadFile(g_capturePath);
    Capture c;
    c.samples.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < c.samples.size(); ++i) {
        c.samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return c;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace corvane::soundtest
