// Sound effects: the sound device, the 128 sound slots and their voices.
#include "runtime/input_sound/sound_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_files.h"
#include "runtime/values/media.h"

namespace corvane {

namespace {

// Each slot owns four fixed mixer voices, so a voice number never has to be
// looked up or shared between slots.
constexpr int kMixerVoices = kSoundSlotCount * kMaxVoicesPerSlot;

// The sound subsystem's record: the output and the slots, both made at start-up and
// freed by the program end (a process that ends otherwise leaves them to the system:
// the mixer may be gone by then).
SoundDevice* g_device = nullptr;
SoundSlotTable* g_slots = nullptr;

// Largest WAV file read: the biggest sample buffer plus room for its chunks.
constexpr std::size_t kMaxWavFileBytes = 0x0FFFFFFF + (std::size_t{64} << 20);

// The slot a command names: numbers above 127 mean 127; negative numbers and
// a missing slot table give null.
SoundSlot* SlotFor(double number) {
    int slot = ToInt(number);
    if (slot < 0 || !g_slots) return nullptr;
    return &(*g_slots)[std::min(slot, kSoundSlotCount - 1)];
}

// Stops and rewinds each voice, then releases the voices and the samples.
void EmptySlot(SoundSlot& slot) {
    for (int v = 0; v < kMaxVoicesPerSlot; ++v) {
        if (slot.voices[v] >= 0) platform::StopVoice(slot.voices[v]);
        slot.voices[v] = -1;
    }
    platform::FreeAudioChunk(slot.samples);
    slot.samples = nullptr;
    slot.voiceCount = 0;
    slot.nextVoice = 0;
    slot.device = nullptr;
}

// Reads the file up to the largest size a WAV file is read to; a file that
// cannot be read to its end counts as unreadable.
bool ReadWholeFile(const char* path, std::vector<unsigned char>* bytes) {
    return platform::ReadFileBytes(path, *bytes, kMaxWavFileBytes);
}

// Reads the slot's WAV file into its sample buffer; on failure the slot keeps
// no device and no samples.
bool ReadWavIntoSlot(SoundSlot& slot, SoundDevice* device, std::string* why) {
    std::vector<unsigned char> file;
    WavSound wav;
    if (!ReadWholeFile(slot.fileName.Buffer(), &file)) {
        *why = platform::ReadProblem(slot.fileName.Buffer());
        return false;
    }
    if (!ReadWav(file.data(), file.size(), &wav)) {
        *why = WavProblem(file.data(), file.size());
        return false;
    }
    slot.samples = platform::CreateAudioChunk(file.data() + wav.dataOffset, wav.dataSize,
                                              static_cast<int>(wav.format.samplesPerSecond), wav.format.channels,
                                              wav.format.bitsPerSample);
    if (!slot.samples) {
        *why = "the sound output refused it";
        return false;
    }
    slot.device = device;
    return true;
}

} // namespace

// ---------------------------------------------------------------- records

SoundSlot::~SoundSlot() { EmptySlot(*this); }

SoundDevice* TheSoundDevice() { return g_device; }
SoundSlot* SoundSlots() { return g_slots ? g_slots->data() : nullptr; }

void CreateSoundRecords() {
    if (!g_device) g_device = new (std::nothrow) SoundDevice();
    if (!g_slots) g_slots = new (std::nothrow) SoundSlotTable();
}

void DestroySoundSlots() {
    // Nothing may reach the slots while they are torn down; the array destroys
    // them from the last to the first.
    SoundSlotTable* slots = g_slots;
    g_slots = nullptr;
    delete slots;
}

int InitSound(SoundDevice* device) {
    if (!device) return 0;
    if (device->created) return 1;
    int result = platform::OpenAudioOutput(kSoundOutputRate, kSoundOutputChannels, kSoundOutputBits, kMixerVoices);
    if (result != 1) return result < 0 ? result : 0;
    platform::AudioOutputInfo info = platform::GetAudioOutputInfo();
    device->caps = SoundCaps{};
    device->caps.frequency = info.frequency;
    device->caps.channels = info.channels;
    device->caps.bits = info.bits;
    device->caps.voices = info.voices;
    device->created = true;
    return 1;
}

void ReleaseSounds(SoundDevice* device) {
    if (g_slots) {
        for (SoundSlot& slot : *g_slots) EmptySlot(slot);
    }
    StopMusic();
    platform::CloseAudioOutput();
    if (device) {
        device->created = false;
        device->caps = SoundCaps{};
    }
}

void ReleaseSoundDevice() {
    SoundDevice* device = g_device;
    if (!device) return;
    ReleaseSounds(device);
    g_device = nullptr;
    delete device;
}

// ---------------------------------------------------------------- media names

bool ResolveSoundMedia(int context, const char* name, RtString* path) {
    if (!name || !path) return false;
    char* out = path->BufferForWriting(static_cast<std::uint32_t>(kMediaPathCapacity));
    int found = ResolveMedia(MediaSource(context), name, out, kMediaPathCapacity);
    if (!found) out[0] = '\0';
    path->Recount();
    return found == 1;
}

// ---------------------------------------------------------------- volume and pan

int VolumeToHundredthsDb(double volume) {
    // Limited to 0..100 before truncation; NaN counts as silence.
    int v = ToInt(std::clamp(volume * 100.0, 0.0, 100.0));
    return v * 100 - 10000;
}

int PanToHundredthsDb(double pan) { return ToInt(std::clamp(pan, -1.0, 1.0) * 10000.0); }

double HundredthsDbToGain(double hundredths) {
    if (hundredths <= -10000.0) return 0.0;
    if (hundredths >= 0.0) return 1.0;
    return std::pow(10.0, hundredths / 2000.0);
}

// ---------------------------------------------------------------- commands

int LoadSound(const char* file, double slotNumber, double voices) {
    SoundSlot* slot = SlotFor(slotNumber);
    if (!slot) return 0;
    RtString path;
    if (!ResolveSoundMedia(1, file, &path)) {
        const std::string why = platform::ReadProblem(file);
        ReportFailure("LoadSound", file, why.empty() || why == "unreadable" ? "not found" : why);
        return 0;
    }
    EmptySlot(*slot);
    int count = std::clamp(ToInt(voices), 1, kMaxVoicesPerSlot);
    SoundDevice* device = g_device;
    if (!device || !device->created) {
        // Without the mixer library no sound loads: said as a file that cannot be read is.
        const std::string why = platform::AudioLibraryProblem();
        if (!why.empty()) ReportFailure("LoadSound", file, "cannot load " + why);
        return 0;
    }

    slot->fileName = path;
    slot->voiceCount = count;
    std::string why;
    if (!ReadWavIntoSlot(*slot, device, &why)) {
        ReportFailure("LoadSound", file, why.empty() ? "unreadable" : why);
        EmptySlot(*slot);
        return 0;
    }
    // Every voice plays the one copy of the samples on its own mixer voice.
    const int first = static_cast<int>(slot - g_slots->data()) * kMaxVoicesPerSlot;
    for (int v = 0; v < count; ++v) slot->voices[v] = first + v;
    return 1;
}

int PlaySound(double slotNumber, double pan, double volume) {
    SoundSlot* slot = SlotFor(slotNumber);
    if (!slot || slot->voiceCount <= 0 || !slot->device || !slot->samples) return 0;
    const int count = std::min<int>(slot->voiceCount, kMaxVoicesPerSlot);
    if (slot->nextVoice < 0 || slot->nextVoice >= count) slot->nextVoice = 0;

    // The voice to use: the next one, unless it is still sounding; then the one
    // after it, cutting it off when it is sounding too (it is the oldest).
    int voice = slot->voices[slot->nextVoice];
    if (platform::VoicePlaying(voice)) {
        if (count == 1) return 0;
        slot->nextVoice = (slot->nextVoice + 1) % count;
        voice = slot->voices[slot->nextVoice];
        if (platform::VoicePlaying(voice)) platform::StopVoice(voice);
    }

    // Volume and pan in hundredths of a decibel; the pan attenuates the side
    // opposite its direction, both add up per side.
    const int level = VolumeToHundredthsDb(volume);
    const int balance = PanToHundredthsDb(pan);
    const double left = HundredthsDbToGain(static_cast<double>(level) - std::max(balance, 0));
    const double right = HundredthsDbToGain(static_cast<double>(level) - std::max(-balance, 0));
    return platform::PlayVoice(voice, slot->samples, left, right) ? 1 : 0;
}

void StopAllSounds() {
    if (!g_slots) return;
    for (SoundSlot& slot : *g_slots) {
        if (!slot.device || slot.voiceCount <= 0) continue;
        for (int v = 0; v < kMaxVoicesPerSlot; ++v) {
            if (slot.voices[v] >= 0) platform::StopVoice(slot.voices[v]);
        }
    }
}

} // namespace corvane
