// A video's sound, mixed into the output after music and effects by SDL2_mixer's
// post-mix hook. The main thread fills a ring, the mixing thread empties it; each
// side moves only its own index.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_audio_mixer.h"
#include "runtime/platform/platform_video.h"

namespace corvane::platform {

namespace {

constexpr std::size_t kRingFrames = 1 << 15;  // about 1.5 s at 22050 Hz
std::int16_t g_ring[kRingFrames * 2];
std::atomic<std::size_t> g_written{0};  // frames ever written (main thread)
std::atomic<std::size_t> g_read{0};     // frames ever mixed (mixing thread)
bool g_started = false;

void SDLCALL MixVideoSound(void*, Uint8* stream, int len) {
    auto* out = reinterpret_cast<Sint16*>(stream);
    std::size_t frames = static_cast<std::size_t>(len) / (2 * sizeof(Sint16));
    std::size_t read = g_read.load(std::memory_order_relaxed);
    std::size_t available = g_written.load(std::memory_order_acquire) - read;
    std::size_t n = std::min(frames, available);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int16_t* in = g_ring + ((read + i) % kRingFrames) * 2;
        for (int c = 0; c < 2; ++c) {
            int sum = out[i * 2 + c] + in[c];
            out[i * 2 + c] = static_cast<Sint16>(std::clamp(sum, -32768, 32767));
        }
    }
    g_read.store(read + n, std::memory_order_release);
}

} // namespace

bool StartVideoSound() {
    StopVideoSound();
    AudioOutputInfo info = GetAudioOutputInfo();
    // The hook adds 16-bit stereo at the reader's rate; another format would be noise.
    if (!AudioOutputOpen() || info.channels != 2 || info.bits != 16 || info.frequency != kVideoSoundRate) return false;
    g_written.store(0);
    g_read.store(0);
    Mixer().Mix_SetPostMix(MixVideoSound, nullptr);
    g_started = true;
    return true;
}

std::size_t QueueVideoSound(const std::int16_t* frames, std::size_t count) {
    if (!g_started || !frames) return 0;
    std::size_t written = g_written.load(std::memory_order_relaxed);
    std::size_t space = kRingFrames - (written - g_read.load(std::memory_order_acquire));
    std::size_t n = std::min(count, space);
    for (std::size_t i = 0; i < n; ++i) {
        std::int16_t* slot = g_ring + ((written + i) % kRingFrames) * 2;
        slot[0] = frames[i * 2];
        slot[1] = frames[i * 2 + 1];
    }
    g_written.store(written + n, std::memory_order_release);
    return n;
}

std::size_t VideoSoundQueued() {
    if (!g_started) return 0;
    return g_written.load(std::memory_order_acquire) - g_read.load(std::memory_order_acquire);
}

void StopVideoSound() {
    if (!g_started) return;
    // Mix_SetPostMix waits for a running mix to finish, so the ring is free after it.
    if (AudioOutputOpen()) Mixer().Mix_SetPostMix(nullptr, nullptr);
    g_started = false;
    g_written.store(0);
    g_read.store(0);
}

} // namespace corvane::platform
