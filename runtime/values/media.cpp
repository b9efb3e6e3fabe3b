// The media resolver and the media-pack reader.
#include "runtime/values/media.h"

#include <lzo/lzo1x.h>

#include <cstring>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

bool LzoReady() {
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

unsigned char FoldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool CopyPath(char* target, std::size_t capacity, const char* text) {
    std::size_t n = std::strlen(text);
    if (n >= capacity) return false;
    std::memcpy(target, text, n + 1);
    return true;
}

std::int64_t StreamSize(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(f);
    return size < 0 ? -1 : static_cast<std::int64_t>(size);
}

// Sequential reads of the directory through one large buffer: the scan costs a
// system call per 64 KiB, not one per field, and entries are parsed in place.
class DirectoryStream {
public:
    DirectoryStream(std::FILE* f, std::int64_t start) : file(f) {
        ok = start >= 0 && std::fseek(f, static_cast<long>(start), SEEK_SET) == 0;
    }
    // The next n bytes (n <= 264) in one piece, or null when the file ends first.
    const unsigned char* Need(std::size_t n) {
        if (fill - pos >= n) return buffer + pos;
        std::memmove(buffer, buffer + pos, fill - pos);
        fill -= pos;
        pos = 0;
        while (ok && fill < n) {
            std::size_t got = std::fread(buffer + fill, 1, sizeof buffer - fill, file);
            if (got == 0) ok = false;
            fill += got;
        }
        return fill >= n ? buffer : nullptr;
    }
    void Skip(std::size_t n) { pos += n; }

private:
    std::FILE* file;
    bool ok = false;
    std::size_t pos = 0, fill = 0;
    unsigned char buffer[64 * 1024];
};

bool SuffixMatches(const char* requested, std::size_t requestedLength, const unsigned char* entryName,
                   std::size_t entryLength) {
    if (entryLength > requestedLength) return false;
    const unsigned char* tail = reinterpret_cast<const unsigned char*>(requested) + (requestedLength - entryLength);
    for (std::size_t i = 0; i < entryLength; ++i) {
        if (FoldCase(tail[i]) != FoldCase(entryName[i])) return false;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- packed data

bool NameMatchesPackEntry(const char* requested, const char* entryName, std::size_t entryLength) {
    if (!requested || !entryName) return false;
    return SuffixMatches(requested, std::strlen(requested), reinterpret_cast<const unsigned char*>(entryName),
                         entryLength);
}

bool FindPackEntry(std::FILE* pack, const char* requested, PackEntry* entry) {
    if (!pack || !requested) return false;
    std::int64_t size = StreamSize(pack);
    if (size < 4) return false;
    unsigned char tail[4];
    if (std::fseek(pack, static_cast<long>(size - 4), SEEK_SET) != 0 || std::fread(tail, 1, 4, pack) != 4) return false;
    std::int32_t d = static_cast<std::int32_t>(ReadLe32(tail));
    std::int64_t origin = d >= 0 ? 0 : size;
    std::int64_t start = origin + d;
    if (start < 0 || start >= size) return false;

    // The stream's buffer is large; keep it off the stack of the caller.
    auto stream = std::make_unique<DirectoryStream>(pack, start);
    const std::size_t requestedLength = std::strlen(requested);
    for (;;) {
        const unsigned char* head = stream->Need(1);
        if (!head || head[0] == 0) return false;
        const std::size_t length = head[0];
        const unsigned char* e = stream->Need(1 + length + 8);
        if (!e) return false;
        stream->Skip(1 + length + 8);
        if (!SuffixMatches(requested, requestedLength, e + 1, length)) continue;
        if (entry) {
            entry->name.assign(reinterpret_cast<const char*>(e + 1), length);
            entry->dataPosition = static_cast<std::int32_t>(ReadLe32(e + 1 + length));
            entry->packedSize = ReadLe32(e + 1 + length + 4);
            entry->dataOffset = origin + entry->dataPosition;
        }
        return true;
    }
}

bool UnpackPackEntry(std::FILE* pack, const PackEntry& entry, std::unique_ptr<unsigned char[]>* data, std::uint32_t* size) {
    if (!pack || !data || !size || !LzoReady()) return false;
    std::int64_t fileSize = StreamSize(pack);
    // The block must hold its size header and lie wholly inside the pack.
    if (entry.packedSize < 4 || entry.dataOffset < 0 || fileSize < 0 ||
        entry.dataOffset + static_cast<std::int64_t>(entry.packedSize) > fileSize) {
        return false;
    }
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[entry.packedSize + 1ull]);
    if (!block) return false;
    if (std::fseek(pack, static_cast<long>(entry.dataOffset), SEEK_SET) != 0 ||
        std::fread(block.get(), 1, entry.packedSize, pack) != entry.packedSize) {
        return false;
    }
    std::uint32_t unpacked = ReadLe32(block.get());
    std::uint64_t streamLength = entry.packedSize - 4u;
    if (unpacked == 0) {
        // A stated size of 0 is honest only over a stream that yields nothing:
        // a block holding data is a damaged entry, not an empty one.
        data->reset(new (std::nothrow) unsigned char[1]);
        if (!*data) return false;
        if (streamLength > 0) {
            lzo_uint none = 0;
            int r = lzo1x_decompress_safe(block.get() + 4, static_cast<lzo_uint>(streamLength), data->get(), &none,
                                          nullptr);
            if ((r != LZO_E_OK && r != LZO_E_INPUT_NOT_CONSUMED) || none != 0) return false;
        }
        *size = 0;
        return true;
    }
    // An LZO1X stream yields at most 255 bytes per input byte; a larger stated
    // size cannot be honest, so no memory is asked for it.
    if (static_cast<std::uint64_t>(unpacked) > streamLength * 256u + 4096u) return false;
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[unpacked]);
    if (!out) return false;
    lzo_uint outLength = unpacked;
    int r = lzo1x_decompress_safe(block.get() + 4, static_cast<lzo_uint>(streamLength), out.get(), &outLength, nullptr);
    // Trailing bytes after a complete stream do no harm; anything else is a bad block.
    if ((r != LZO_E_OK && r != LZO_E_INPUT_NOT_CONSUMED) || outLength != unpacked) return false;
    *data = std::move(out);
    *size = unpacked;
    return true;
}

std::string PackTempFileName(const PackEntry& entry) {
    // Only the last path component: a stored name must not lead out of the
    // temporary directory.
    std::size_t cut = entry.name.find_last_of("/\\");
    std::string base = cut == std::string::npos ? entry.name : entry.name.substr(cut + 1);
    base = base.c_str(); // a stored NUL ends the name
    std::string result = "~sbx";
    result.push_back(static_cast<char>('A' + static_cast<std::uint32_t>(entry.dataPosition) % 26u));
    result.push_back(static_cast<char>('A' + entry.packedSize % 26u));
    if (result.size() + base.size() <= kMaxFileNameBytes) return result + base;
    // Too long for a file name once prefixed: keep the start and the extension,
    // with a hash of the whole base between them so that names stay apart.
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : base) hash = (hash ^ c) * 16777619u;
    static const char kHex[] = "0123456789abcdef";
    std::string mark = "~";
    for (int shift = 28; shift >= 0; shift -= 4) mark.push_back(kHex[(hash >> shift) & 0xFu]);
    std::size_t dot = base.rfind('.');
    std::string extension = dot != std::string::npos && base.size() - dot <= 16 ? base.substr(dot) : "";
    std::size_t keep = kMaxFileNameBytes - result.size() - mark.size() - extension.size();
    return result + base.substr(0, keep) + mark + extension;
}

// ---------------------------------------------------------------- contexts

MediaContext* NewMediaContext() { return new (std::nothrow) MediaContext(); }

void ClearMediaContext(MediaContext* context) {
    if (!context) return;
    if (context->lastTempPath[0]) platform::DeleteTemporaryFile(context->lastTempPath);
    while (MediaEntryName* e = context->entryList) {
        context->entryList = e->next;
        delete e;
    }
    context->packPath[0] = '\0';
    context->lastTempPath[0] = '\0';
}

void DeleteMediaContext(MediaContext* context) {
    ClearMediaContext(context);
    delete context;
}

namespace {
MediaContext* g_sources[2] = {nullptr, nullptr}; // [0] music and video, [1] everything else
} // namespace

MediaContext* MediaSource(int which) { return which == 0 || which == 1 ? g_sources[which] : nullptr; }

void CreateMediaContexts(const char* packPath) {
    for (MediaContext*& c : g_sources) {
        if (!c) c = NewMediaContext();
    }
    // The program's folder stands in for a pack at start-up: nothing to report.
    for (MediaContext* c : g_sources) {
        if (!c) continue;
        ClearMediaContext(c);
        CopyPath(c->packPath, sizeof c->packPath, packPath ? packPath : "");
    }
}

void ReleaseMediaContexts() {
    for (MediaContext*& c : g_sources) {
        DeleteMediaContext(c);
        c = nullptr;
    }
}

void SetMediaPacks(const RtString& secondPack, const RtString& firstPack) {
    const RtString* packs[2] = {&secondPack, &firstPack};
    MediaContext* contexts[2] = {g_sources[1], g_sources[0]};
    for (int i = 0; i < 2; ++i) {
        if (!contexts[i]) continue;
        ClearMediaContext(contexts[i]);
        const char* text = packs[i]->Buffer() ? packs[i]->Buffer() : "";
        // A path too long to hold is not stored cut short (it could name another file).
        CopyPath(contexts[i]->packPath, sizeof contexts[i]->packPath, text);
    }
    // Named once, even when both contexts are given the same pack.
    for (int i = 0; i < 2; ++i) {
        const char* text = packs[i]->Buffer();
        if (!*text || (i == 1 && std::strcmp(text, packs[0]->Buffer()) == 0)) continue;
        const std::string why = platform::ReadProblem(text);
        if (!why.empty()) ReportFailure("SetMediaPacks", text, why);
    }
}

// ---------------------------------------------------------------- resolving

int ResolveMedia(MediaContext* context, const char* name, char* output, std::size_t outputSize) {
    // The output may be the name's own buffer: keep the name before writing.
    std::string requested = name ? name : "";
    if (context && context->lastTempPath[0]) {
        platform::DeleteTemporaryFile(context->lastTempPath);
        context->lastTempPath[0] = '\0';
    }
    if (requested.empty() || !output || outputSize == 0) return 0;

    if (platform::IsReadableFile(requested.c_str())) {
        return CopyPath(output, outputSize, requested.c_str()) ? 1 : 0;
    }
    if (!context || !context->packPath[0]) return 0;
    std::FILE* pack = platform::OpenFileForReading(context->packPath);
    if (!pack) return 0;
    // Reads here are large or few; the stream's own buffer would only split them.
    std::setvbuf(pack, nullptr, _IONBF, 0);

    PackEntry entry;
    std::unique_ptr<unsigned char[]> data;
    std::uint32_t size = 0;
    bool found = FindPackEntry(pack, requested.c_str(), &entry);
    bool unpacked = found && UnpackPackEntry(pack, entry, &data, &size);
    std::fclose(pack);
    output[0] = '\0';
    if (found && !unpacked) {
        ReportFailure("media pack", context->packPath, "the entry " + entry.name + " is damaged (it does not unpack)");
    }
    if (!unpacked) return 0;

    std::string tempPath = platform::TempDirectory() + PackTempFileName(entry);
    if (tempPath.size() >= outputSize || tempPath.size() >= sizeof context->lastTempPath) return 0;
    std::FILE* out = platform::CreateTemporaryFile(tempPath);
    if (!out) return 0;
    bool written = std::fwrite(data.get(), 1, size, out) == size;
    if (std::fclose(out) != 0) written = false;
    if (!written) {
        // A short file must not pass for the entry.
        platform::DeleteTemporaryFile(tempPath);
        return 0;
    }
    CopyPath(context->lastTempPath, sizeof context->lastTempPath, tempPath.c_str());
    CopyPath(output, outputSize, tempPath.c_str());
    return 1;
}

int ResolveMedia(MediaContext* context, RtString& name) {
    char* buffer = name.BufferForWriting(static_cast<std::uint32_t>(kMediaPathCapacity));
    int result = ResolveMedia(context, buffer, buffer, kMediaPathCapacity);
    name.Recount();
    return result;
}

} // namespace corvane
