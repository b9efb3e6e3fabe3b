// The player's use of the sound library: every load binds the five calls anew
// and restarts the library; a call whose function is missing is skipped.
#include "program/player.h"

#include "runtime/frame/dll_binding.h"

namespace corvane {

double fmodBound = 0.0;
std::int32_t songHandle = 0;
RtString songFileName;
double loadResult = 0.0;
FmusicLoadSongFn fmusicLoadSong = nullptr;
FmusicPlaySongFn fmusicPlaySong = nullptr;
FmusicFreeSongFn fmusicFreeSong = nullptr;
FsoundInitFn fsoundInit = nullptr;
FsoundCloseFn fsoundClose = nullptr;

namespace {

template <typename Fn>
void Bind(const char* name, Fn& target) {
    BindDllFunction(RtString("fmod.dll"), RtString(name), reinterpret_cast<void**>(&target));
}

} // namespace

double LoadSong(const RtString& fileName) {
    if (fmodBound == 0.0) {
        fmodBound = 1.0;
        Bind("_FMUSIC_LoadSong@4", fmusicLoadSong);
        Bind("_FMUSIC_PlaySong@4", fmusicPlaySong);
        Bind("_FMUSIC_FreeSong@4", fmusicFreeSong);
        Bind("_FSOUND_Init@12", fsoundInit);
        Bind("_FSOUND_Close@0", fsoundClose);
    }
    StopSong();
    if (fsoundInit) fsoundInit(44100, 64, 0);
    if (fmusicLoadSong) songHandle = fmusicLoadSong(fileName.Buffer());
    return songHandle != 0 ? 1.0 : 0.0;
}

double PlaySong() {
    if (fmusicPlaySong && songHandle != 0) fmusicPlaySong(songHandle);
    return 0.0;
}

double StopSong() {
    if (fmusicFreeSong && songHandle != 0) fmusicFreeSong(songHandle);
    songHandle = 0;
    if (fsoundClose) fsoundClose();
    fmodBound = 0.0;
    return 0.0;
}

} // namespace corvane
