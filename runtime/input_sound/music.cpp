// Music: one stream at a time, in any format the mixer decodes. musicLoops says that
// music is open; the frame step starts it again when it has ended, so music repeats
// for as long as it stays open.
#include "runtime/engine/engine_internal.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_files.h"

namespace corvane {

namespace {
bool musicLoops = false;  // music is open through PlayMusic
} // namespace

bool MusicLoops() { return musicLoops; }

int PlayMusic(const char* file) {
    StopMusic();
    RtString path;
    if (!ResolveSoundMedia(0, file, &path)) {
        const std::string why = platform::ReadProblem(file);
        ReportFailure("PlayMusic", file, why.empty() || why == "unreadable" ? "not found" : why);
        return 0;
    }
    if (!platform::OpenMusic(path.Buffer()) || !platform::StartMusic()) {
        platform::CloseMusic();
        const std::string missing = platform::AudioLibraryProblem();
        if (!missing.empty()) {
            ReportFailure("PlayMusic", file, "cannot load " + missing);
            return 0;
        }
        const std::string why = platform::ReadProblem(path.Buffer());
        ReportFailure("PlayMusic", file, why.empty() ? "not music the mixer reads (unsupported format or damaged)" : why);
        return 0;
    }
    musicLoops = true;
    return 1;
}

void StopMusic() {
    platform::CloseMusic();
    musicLoops = false;
}

void RestartFinishedMusic() {
    if (!musicLoops) return;
    if (platform::MusicFinished()) platform::StartMusic();
}

} // namespace corvane
