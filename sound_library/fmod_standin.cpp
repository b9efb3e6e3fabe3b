// libfmod.so: a small sound library offering the five calls the music player
// binds. Songs are tracker modules decoded by libopenmpt; every playing song is
// rendered in the callback of the library's own SDL audio device and looped.
//
// The audio callback runs on SDL's thread. It only touches the song table, which
// the calls below change with the device locked; the calls themselves are
// serialised by one mutex so that a program may use them from any thread.
#include "fmod.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

constexpr int kMinMixRate = 8000;     // the rates libopenmpt renders at
constexpr int kMaxMixRate = 192000;
constexpr long kMaxSongFileBytes = 64L * 1024 * 1024;
constexpr int kScratchFrames = 1024;  // frames rendered per pass of one song

struct Song {
    openmpt_module* module = nullptr;
    bool playing = false;
};

// The table is built in place and never destroyed: at process exit it must
// outlast static destructors until the device is closed. Closing empties it, so
// nothing is left allocated when the library is unloaded.
using SongTable = std::map<int, Song>;
alignas(SongTable) unsigned char songStorage[sizeof(SongTable)];
SongTable& songs = *new (songStorage) SongTable;   // by handle; changed only with the device locked
std::mutex apiMutex;                  // one API call at a time
int nextHandle = 1;                   // handles are never reused, so a stale one finds nothing
SDL_AudioDeviceID device = 0;         // 0 while closed
int deviceRate = 0;                   // frames per second of the open device
bool audioStarted = false;            // this library holds a reference on SDL's audio subsystem
std::int16_t scratch[kScratchFrames * 2];
#ifdef _WIN32
HMODULE selfHold = nullptr;           // this library's own load while its device is open
#endif

std::int16_t Saturate(int value) {
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<std::int16_t>(value);
}

// SDL's audio thread: the sum of every playing song, interleaved stereo.
void MixSongs(void*, Uint8* stream, int len) {
    auto* out = reinterpret_cast<std::int16_t*>(stream);
    const int frames = len / static_cast<int>(2 * sizeof(std::int16_t));
    SDL_memset(stream, 0, static_cast<size_t>(len));
    for (auto& entry : songs) {
        Song& song = entry.second;
        if (!song.playing) continue;
        int done = 0;
        while (done < frames) {
            int want = frames - done < kScratchFrames ? frames - done : kScratchFrames;
            size_t got = openmpt_module_read_interleaved_stereo(song.module, deviceRate, static_cast<size_t>(want), scratch);
            for (size_t i = 0; i < got * 2; ++i) {
                std::int16_t& sample = out[done * 2 + static_cast<int>(i)];
                sample = Saturate(sample + scratch[i]);
            }
            if (got < static_cast<size_t>(want)) {
                // Only a render error ends a song that repeats for ever.
                song.playing = false;
                break;
            }
            done += want;
        }
    }
}

// Runs fn with the callback held off (when a device is open).
template <typename Fn>
void WithDeviceLocked(Fn fn) {
    if (device) SDL_LockAudioDevice(device);
    fn();
    if (device) SDL_UnlockAudioDevice(device);
}

bool ReadWholeFile(const char* name, std::vector<unsigned char>& data) {
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    ok = ok && size > 0 && size <= kMaxSongFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(static_cast<size_t>(size));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

// SDL's disk driver writes every device to one file, so a program's own sound
// output would overwrite the music there. FMOD_DISKAUDIOFILE names a file of the
// library's own; the disk driver takes any device name as a file name.
// The name is copied: on Windows SDL_getenv hands out one shared buffer, which
// the disk driver's own reading of SDL_DISKAUDIODELAY would overwrite.
std::string DeviceName() {
    const char* file = SDL_getenv("FMOD_DISKAUDIOFILE");
    std::string name = file ? file : "";
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver && SDL_strcmp(driver, "disk") == 0) return name;
    return std::string();
}

#ifdef _WIN32
// Windows unloads a library and ends a process under its loader lock, where the
// device cannot be closed: closing waits for SDL's audio thread, whose exit needs
// that lock. So an open device keeps the library loaded; the caller's last
// FreeLibrary then leaves it playing until FSOUND_Close or the process end.
void HoldSelf() {
    if (!selfHold) {
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&MixSongs),
                           &selfHold);
    }
}
// Only from a call into the library, whose caller holds loads of its own.
void ReleaseSelf() {
    if (selfHold) FreeLibrary(selfHold);
    selfHold = nullptr;
}
#else
void HoldSelf() {}
void ReleaseSelf() {}
#endif

void CloseLocked() {
    SongTable freed;
    WithDeviceLocked([&] { freed.swap(songs); });
    if (device) {
        SDL_CloseAudioDevice(device);   // waits for the callback to finish
        device = 0;
        deviceRate = 0;
        ReleaseSelf();
    }
    if (audioStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioStarted = false;
    }
    for (auto& entry : freed) openmpt_module_destroy(entry.second.module);
}

// Unloading the library or ending the process with music playing must not leave
// SDL's audio thread calling into code that is unmapped or torn down.
void CloseOnExit() {
    std::lock_guard<std::mutex> guard(apiMutex);
    CloseLocked();
}
#ifndef _WIN32
__attribute__((destructor)) void CloseOnUnload() { CloseOnExit(); }
bool exitHandlerSet = false;
#endif

int LoadSongFile(const char* name) {
    std::vector<unsigned char> data;
    if (!ReadWholeFile(name, data)) return 0;
    openmpt_module* module = openmpt_module_create_from_memory2(
        data.data(), data.size(), openmpt_log_func_silent, nullptr,
        openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
    if (!module) return 0;
    openmpt_module_set_repeat_count(module, -1);

    std::lock_guard<std::mutex> guard(apiMutex);
    if (nextHandle <= 0) {   // every positive handle has been handed out
        openmpt_module_destroy(module);
        return 0;
    }
    int handle = nextHandle++;
    bool stored = false;
    WithDeviceLocked([&] {
        try {
            songs[handle].module = module;
            stored = true;
        } catch (...) {
            // no room for the entry; the device must still be unlocked
        }
    });
    if (!stored) {
        openmpt_module_destroy(module);
        return 0;
    }
    return handle;
}

} // namespace

extern "C" {

signed char FSOUND_Init(int mixrate, int /*maxchannels*/, unsigned int /*flags*/) {
    std::lock_guard<std::mutex> guard(apiMutex);
    if (mixrate < kMinMixRate || mixrate > kMaxMixRate) return 0;
    // A second initialisation starts afresh, as after FSOUND_Close; songs loaded
    // before the first one are kept for it.
    if (device) CloseLocked();
#ifndef _WIN32
    // Registered after libopenmpt has started, so at exit it runs before
    // libopenmpt's own clean-up (and at unload it runs with the library's).
    if (!exitHandlerSet) exitHandlerSet = std::atexit(CloseOnExit) == 0;
#endif
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    audioStarted = true;

    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = mixrate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = MixSongs;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // songs are always rendered at the rate the caller asked for.
    const std::string name = DeviceName();
    device = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (!device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioStarted = false;
        return 0;
    }
    deviceRate = have.freq;
    HoldSelf();
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

void FSOUND_Close(void) {
    std::lock_guard<std::mutex> guard(apiMutex);
    CloseLocked();
}

int FMUSIC_LoadSong(const char* name) {
    if (!name || !*name) return 0;
    try {
        return LoadSongFile(name);
    } catch (...) {
        return 0;   // out of memory: no song
    }
}

signed char FMUSIC_PlaySong(int song) {
    std::lock_guard<std::mutex> guard(apiMutex);
    if (!device) return 0;
    auto it = songs.find(song);
    if (it == songs.end()) return 0;
    WithDeviceLocked([&] {
        openmpt_module_set_position_seconds(it->second.module, 0.0);
        it->second.playing = true;
    });
    return 1;
}

signed char FMUSIC_FreeSong(int song) {
    std::lock_guard<std::mutex> guard(apiMutex);
    openmpt_module* module = nullptr;
    WithDeviceLocked([&] {
        auto it = songs.find(song);
        if (it == songs.end()) return;
        module = it->second.module;
        songs.erase(it);
    });
    if (!module) return 0;
    openmpt_module_destroy(module);
    return 1;
}

#ifdef _WIN32
// An unload closes what is left (the device is closed by then: see HoldSelf). At
// the process end the other threads are gone, perhaps holding the locks, and
// the system takes back the rest.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnding) {
    if (reason == DLL_PROCESS_DETACH && !processEnding) CloseOnExit();
    return TRUE;
}
#endif

} // extern "C"
