// The media resolver: a requested media name becomes the path of a real file,
// either the name itself or a temporary file unpacked from a media pack. The loaders,
// start-up and the end use it; programs name their packs with SetMediaPacks (values.h),
// so this header is not installed.
//
// Pack layout (little-endian): the last 4 bytes hold the signed directory
// position D (from the start when D >= 0, back from the end when D < 0); the
// directory is a run of entries {name length (1 byte, 0 ends), name, signed
// 32-bit data position (same origin as D), unsigned 32-bit packed size}; an
// entry's packed block is its unsigned 32-bit unpacked size and an LZO1X stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "runtime/values/rt_string.h"

namespace corvane {

// Room for every path the resolver stores or hands out, terminator included.
// Loaders reserve this much in the RtString they resolve in place.
constexpr std::size_t kMediaPathCapacity = 1024;

struct MediaEntryName {                     // name record of a context's entry list
    char name[260] = {};
    MediaEntryName* next = nullptr;
};

struct MediaContext {
    char packPath[kMediaPathCapacity] = {};     // pack to search; empty = none
    char lastTempPath[kMediaPathCapacity] = {}; // file of this context's last unpacking; empty = none
    MediaEntryName* entryList = nullptr;        // never filled; released with the context
};

// ---------------------------------------------------------------- media resolver
int  ResolveMedia(MediaContext* context, const char* name, char* output, std::size_t outputSize = kMediaPathCapacity); // 1 with a path to open in output, else 0; output may be the name's own buffer
int  ResolveMedia(MediaContext* context, RtString& name);   // in place: reserves kMediaPathCapacity, resolves, recounts
// SetMediaPacks, the language's command, is listed in values.h.

// ---------------------------------------------------------------- start and end
MediaContext* MediaSource(int which);            // 0 music and video, 1 everything else; null outside the run
void CreateMediaContexts(const char* packPath);  // start-up: both contexts, both packing from packPath
void ReleaseMediaContexts();                     // program end: temporary files deleted, contexts freed
MediaContext* NewMediaContext();                 // one empty context
void ClearMediaContext(MediaContext* context);   // temporary file deleted, entry list freed, paths emptied
void DeleteMediaContext(MediaContext* context);  // ClearMediaContext, then freed

// ---------------------------------------------------------------- packed data
struct PackEntry {
    std::string name;                // as stored
    std::int32_t dataPosition = 0;   // as stored (origin chosen by the sign of D)
    std::uint32_t packedSize = 0;    // size header included
    std::int64_t dataOffset = 0;     // data position from the start of the pack file
};
bool NameMatchesPackEntry(const char* requested, const char* entryName, std::size_t entryLength); // case-insensitive suffix rule
bool FindPackEntry(std::FILE* pack, const char* requested, PackEntry* entry); // first matching directory entry
bool UnpackPackEntry(std::FILE* pack, const PackEntry& entry, std::unique_ptr<unsigned char[]>* data, std::uint32_t* size); // false unless the block lies in the file and unpacks to its stated size
constexpr std::size_t kMaxFileNameBytes = 255;   // longest file name the file systems take
std::string PackTempFileName(const PackEntry& entry); // "~sbx" + two letters + last component of the name; a name past 255 bytes keeps its start and extension around a hash

} // namespace corvane
