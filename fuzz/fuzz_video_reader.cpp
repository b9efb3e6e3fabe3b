// Fuzz target: the video reader on arbitrary bytes held in memory. Open, up to 50
// pictures (each must lie inside its own size limits), the sound, one rewind and
// a few pictures again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/platform/platform_video.h"

namespace {

void Drain(corvane::platform::VideoReader* r, int maxPictures) {
    using namespace corvane::platform;
    std::int16_t sound[1024 * 2];
    int pictures = 0;
    for (int steps = 0; steps < 400 && pictures < maxPictures; ++steps) {
        VideoStep step = DecodeVideo(r);
        if (step == VideoStep::End) break;
        while (TakeVideoSound(r, sound, 1024) > 0) {
        }
        VideoPicture p;
        if (step == VideoStep::Picture && PeekVideoPicture(r, &p)) {
            if (p.width <= 0 || p.height <= 0 || p.width > kVideoMaxSide || p.height > kVideoMaxSide || !p.rgba)
                std::abort();
            // Touch the first and last pixel so a short buffer shows up.
            volatile unsigned sink = p.rgba[0] + p.rgba[static_cast<std::size_t>(p.width) * p.height * 4 - 1];
            (void)sink;
            DropVideoPicture(r);
            ++pictures;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::platform;
    VideoReader* r = OpenVideoReaderFromMemory(data, size);
    if (!r) return 0;
    Drain(r, 50);
    if (RewindVideo(r)) Drain(r, 5);
    CloseVideoReader(r);
    return 0;
}
