// corvane-pack: the media-pack tool for game authors.
//
//   corvane-pack create [--flat] [--from-end] PACK INPUT...   pack files and folders
//   corvane-pack list PACK                                     entries with their sizes
//   corvane-pack extract PACK [-C DIR] [NAME...]               unpack entries into DIR
//   corvane-pack append HOST PACK [-o OUTPUT]                  put PACK at the end of HOST
//   corvane-pack verify PACK                                   every entry unpacks to its size
//
// A pack ends with a signed 32-bit directory position D (little-endian; from the
// start when D >= 0, back from the end when D < 0). The directory lists entries
// {name length, name, signed 32-bit data position with the origin of D, packed
// size}, ended by a name length of 0; a packed block is the 32-bit unpacked size
// followed by an LZO1X stream.
#include <lzo/lzo1x.h>

#include "folder_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

// ---------------------------------------------------------------- messages

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "corvane-pack: %s\n", message.c_str());
    std::exit(1);
}

void Warn(const std::string& message) { std::fprintf(stderr, "corvane-pack: warning: %s\n", message.c_str()); }

// The usage on standard output when asked for (exit 0), on standard error after
// a wrong call (exit 2).
[[noreturn]] void Usage(bool asked = false) {
    std::fputs(
        "usage:\n"
        "  corvane-pack create [--flat] [--from-end] PACK INPUT...\n"
        "      pack the files and folders given; a folder's files are named by their\n"
        "      path inside it (with '/'), a file by its own name; --flat names every\n"
        "      file by its own name; --from-end counts positions back from the end\n"
        "  corvane-pack list PACK\n"
        "  corvane-pack extract PACK [-C DIR] [NAME...]\n"
        "      NAME is found as the runtime finds it (case-insensitive name ending)\n"
        "  corvane-pack append HOST PACK [-o OUTPUT]\n"
        "      write HOST with PACK appended (to OUTPUT, else over HOST)\n"
        "  corvane-pack verify PACK\n"
        "  corvane-pack --help | -h | --version\n",
        asked ? stdout : stderr);
    std::exit(asked ? 0 : 2);
}

// ---------------------------------------------------------------- bytes and files

std::uint32_t GetLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bool ReadWholeFile(const std::string& path, Bytes& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    out.clear();
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        error = path + ": read error";
        return false;
    }
    return true;
}

// Writes a file through a temporary sibling renamed over the target at the end,
// so a failure never leaves a half-written file under the target's name. The
// sibling is made in an open folder (never through a link planted under its name)
// and the rename replaces whatever stands at the target's name, a link included,
// rather than writing through it.
class AtomicFile {
public:
    // The file `name` inside the open folder `dirFd` (not taken over); `shown` names
    // it in messages.
    AtomicFile(int dirFd, const std::string& name, const std::string& shown)
        : dirFd_(dirFd), name_(name), shown_(shown) {
        Open();
    }
    // A path given by the user: its folder is opened as the user named it.
    explicit AtomicFile(const std::string& target) : shown_(target) {
        fs::path path(target);
        std::string dir = path.parent_path().empty() ? std::string(".") : path.parent_path().string();
        ownDirFd_ = OpenFolder(dir.c_str());
        if (ownDirFd_ < 0) Fail(target + ": cannot open its folder: " + std::strerror(errno));
        dirFd_ = ownDirFd_;
        name_ = path.filename().string();
        Open();
    }
    ~AtomicFile() {
        Abandon();
        if (ownDirFd_ >= 0) close(ownDirFd_);
    }

    void Write(const void* data, std::size_t size) {
        if (size && std::fwrite(data, 1, size, file_) != size) {
            Abandon();
            Fail(shown_ + ": write failed: " + std::strerror(errno));
        }
    }
    void Write(const Bytes& b) { Write(b.data(), b.size()); }

    // False (with the reason) when the rename fails; writing errors end the tool.
    bool TryCommit(fs::perms mode, std::string& error) {
        bool ok = std::fflush(file_) == 0 && fchmod(fileno(file_), static_cast<mode_t>(mode)) == 0 &&
                  fsync(fileno(file_)) == 0;
        int saved = errno;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
        if (!ok) {
            Abandon();
            Fail(shown_ + ": cannot finish writing: " + std::strerror(saved ? saved : errno));
        }
        if (renameat(dirFd_, temp_.c_str(), dirFd_, name_.c_str()) != 0) {
            error = std::strerror(errno);
            Abandon();
            return false;
        }
        temp_.clear();
        return true;
    }
    void Commit(fs::perms mode) {
        std::string error;
        if (!TryCommit(mode, error)) Fail(shown_ + ": cannot finish writing: " + error);
    }

private:
    void Open() {
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        static std::mt19937 random{std::random_device{}()};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = ".corvane-pack-";
            for (int i = 0; i < 8; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
            int fd = openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) Fail(shown_ + ": cannot create a file beside it: " + std::strerror(errno));
            temp_ = name;
            file_ = fdopen(fd, "wb");
            if (!file_) {
                close(fd);
                Abandon();
                Fail(shown_ + ": cannot write: " + std::strerror(errno));
            }
            return;
        }
        Fail(shown_ + ": cannot create a file beside it: every temporary name is taken");
    }
    void Abandon() {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        if (!temp_.empty()) unlinkat(dirFd_, temp_.c_str(), 0);
        temp_.clear();
    }
    int dirFd_ = -1, ownDirFd_ = -1;
    std::string name_, shown_, temp_;
    std::FILE* file_ = nullptr;
};

// ---------------------------------------------------------------- LZO

void InitLzo() {
    if (lzo_init() != LZO_E_OK) Fail("the LZO library failed to initialise");
}

Bytes Compress(const Bytes& data) {
    static Bytes work(LZO1X_999_MEM_COMPRESS);
    Bytes out(data.size() + data.size() / 16 + 64 + 3);
    lzo_uint outLength = 0;
    if (lzo1x_999_compress(data.data(), data.size(), out.data(), &outLength, work.data()) != LZO_E_OK) {
        Fail("LZO compression failed");
    }
    out.resize(outLength);
    return out;
}

// Unpacks one packed block (size header and stream); false with a reason on a bad block.
bool Decompress(const unsigned char* block, std::uint32_t packedSize, Bytes& out, std::string& error) {
    if (packedSize < 4) {
        error = "packed size " + std::to_string(packedSize) + " cannot hold the size header";
        return false;
    }
    std::uint32_t unpacked = GetLe32(block);
    std::uint64_t streamLength = packedSize - 4u;
    if (unpacked == 0) {
        // Size 0 is honest only over a stream that yields nothing.
        out.clear();
        if (streamLength == 0) return true;
        unsigned char none[1];
        lzo_uint noneLength = 0;
        int r = lzo1x_decompress_safe(block + 4, static_cast<lzo_uint>(streamLength), none, &noneLength, nullptr);
        if ((r != LZO_E_OK && r != LZO_E_INPUT_NOT_CONSUMED) || noneLength != 0) {
            error = "stated size 0, but the " + std::to_string(streamLength) + "-byte stream is not empty";
            return false;
        }
        return true;
    }
    if (static_cast<std::uint64_t>(unpacked) > streamLength * 256u + 4096u) {
        error = "stated size " + std::to_string(unpacked) + " is more than " + std::to_string(streamLength) +
                " packed bytes can hold";
        return false;
    }
    out.resize(unpacked);
    lzo_uint outLength = unpacked;
    int r = lzo1x_decompress_safe(block + 4, static_cast<lzo_uint>(streamLength), out.data(), &outLength, nullptr);
    if (r != LZO_E_OK && r != LZO_E_INPUT_NOT_CONSUMED) {
        error = "the LZO stream is damaged (error " + std::to_string(r) + ")";
        return false;
    }
    if (outLength != unpacked) {
        error = "unpacks to " + std::to_string(outLength) + " bytes, not the stated " + std::to_string(unpacked);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- reading packs

struct Entry {
    std::string name;
    std::int32_t position = 0;
    std::uint32_t packedSize = 0;
    std::int64_t offset = 0;         // from the start of the file
    bool inFile = false;             // the whole block lies inside the file
};

struct Pack {
    Bytes bytes;
    std::int32_t d = 0;
    std::int64_t origin = 0;         // 0, or the file size when positions count from the end
    std::vector<Entry> entries;
    bool directoryCut = false;       // the file ended inside the directory
};

Pack ReadPack(const std::string& path) {
    Pack pack;
    std::string error;
    if (!ReadWholeFile(path, pack.bytes, error)) Fail(error);
    const std::int64_t size = static_cast<std::int64_t>(pack.bytes.size());
    if (size < 4) Fail(path + ": not a media pack (shorter than 4 bytes)");
    pack.d = static_cast<std::int32_t>(GetLe32(pack.bytes.data() + size - 4));
    pack.origin = pack.d >= 0 ? 0 : size;
    std::int64_t at = pack.origin + pack.d;
    if (at < 0 || at >= size - 4) {
        Fail(path + ": not a media pack (directory position " + std::to_string(pack.d) + " lies outside the file)");
    }
    for (;;) {
        if (at >= size) {
            pack.directoryCut = true;
            break;
        }
        unsigned length = pack.bytes[static_cast<std::size_t>(at)];
        if (length == 0) break;
        if (at + 1 + length + 8 > size) {
            pack.directoryCut = true;
            break;
        }
        Entry e;
        const unsigned char* p = pack.bytes.data() + at + 1;
        e.name.assign(reinterpret_cast<const char*>(p), length);
        e.position = static_cast<std::int32_t>(GetLe32(p + length));
        e.packedSize = GetLe32(p + length + 4);
        e.offset = pack.origin + e.position;
        e.inFile = e.offset >= 0 && e.offset + static_cast<std::int64_t>(e.packedSize) <= size;
        pack.entries.push_back(std::move(e));
        at += 1 + length + 8;
    }
    return pack;
}

bool UnpackEntry(const Pack& pack, const Entry& e, Bytes& out, std::string& error) {
    if (!e.inFile) {
        error = "block at " + std::to_string(e.offset) + " of " + std::to_string(e.packedSize) +
                " bytes lies outside the file";
        return false;
    }
    return Decompress(pack.bytes.data() + e.offset, e.packedSize, out, error);
}

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool SameFolded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// The runtime's rule: the request ends with the entry's name, case ignored.
bool Matches(const std::string& requested, const std::string& entry) {
    if (entry.size() > requested.size()) return false;
    return SameFolded(requested.substr(requested.size() - entry.size()), entry);
}

// ---------------------------------------------------------------- writing packs

struct Source {
    std::string name;
    Bytes packed;                     // size header and stream
};

// Data blocks first, then the directory, its end mark and D. With fromEnd every
// position counts back from the end, so the result may follow any other file.
Bytes BuildPackBlock(const std::vector<Source>& sources, bool fromEnd) {
    std::uint64_t dataSize = 0, directorySize = 1;
    for (const Source& s : sources) {
        dataSize += s.packed.size();
        directorySize += 1 + s.name.size() + 8;
    }
    std::uint64_t total = dataSize + directorySize + 4;
    if (total > 0x7FFFFFFFull) Fail("the pack would be larger than 2 GiB, which its positions cannot address");
    const std::int64_t shift = fromEnd ? -static_cast<std::int64_t>(total) : 0;
    Bytes out;
    out.reserve(static_cast<std::size_t>(total));
    std::vector<std::int64_t> positions;
    for (const Source& s : sources) {
        positions.push_back(static_cast<std::int64_t>(out.size()) + shift);
        out.insert(out.end(), s.packed.begin(), s.packed.end());
    }
    std::int64_t d = static_cast<std::int64_t>(out.size()) + shift;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        out.push_back(static_cast<unsigned char>(sources[i].name.size()));
        out.insert(out.end(), sources[i].name.begin(), sources[i].name.end());
        PutLe32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(positions[i])));
        PutLe32(out, static_cast<std::uint32_t>(sources[i].packed.size()));
    }
    out.push_back(0);
    PutLe32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(d)));
    return out;
}

// Longer names first: an entry is then never hidden behind a shorter entry that
// its name ends with (the runtime takes the first entry that matches).
void OrderForLookup(std::vector<Source>& sources) {
    std::stable_sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
        if (a.name.size() != b.name.size()) return a.name.size() > b.name.size();
        return a.name < b.name;
    });
}

// ---------------------------------------------------------------- commands

struct InputFile {
    std::string path, name;
};

void CollectInputs(const std::vector<std::string>& inputs, bool flat, const std::string& packPath,
                   std::vector<InputFile>& files) {
    std::error_code ec;
    fs::path packCanonical = fs::weakly_canonical(packPath, ec);
    for (const std::string& input : inputs) {
        fs::file_status st = fs::status(input, ec);
        if (ec || !fs::exists(st)) Fail(input + ": no such file or folder");
        if (fs::is_directory(st)) {
            std::vector<InputFile> found;
            // Linked folders are packed like linked files; a link loop ends in an error.
            fs::recursive_directory_iterator it(input, fs::directory_options::follow_directory_symlink, ec), end;
            if (ec) Fail(input + ": cannot read the folder: " + ec.message());
            // The real folders from the input down to the current entry.
            std::vector<fs::path> chain = {fs::canonical(input, ec)};
            for (; it != end; it.increment(ec)) {
                if (ec) Fail(input + ": cannot read the folder: " + ec.message());
                if (it->is_directory(ec)) {
                    fs::path real = fs::canonical(it->path(), ec);
                    chain.resize(static_cast<std::size_t>(it.depth()) + 1);
                    if (std::find(chain.begin(), chain.end(), real) != chain.end()) {
                        Fail(it->path().string() + ": a linked folder leads back to a folder that contains it");
                    }
                    chain.push_back(real);
                    continue;
                }
                if (!it->is_regular_file(ec)) continue;
                // The pack being written may lie inside a folder that is packed.
                if (fs::weakly_canonical(it->path(), ec) == packCanonical) continue;
                if (it->path().filename().string().rfind(".corvane-pack-", 0) == 0) continue;
                // By its place in the folder: fs::relative would follow a linked file
                // to its target and name it by a path outside the folder.
                std::string name = flat ? it->path().filename().string()
                                        : it->path().lexically_relative(input).generic_string();
                found.push_back({it->path().string(), name});
            }
            std::sort(found.begin(), found.end(), [](const InputFile& a, const InputFile& b) { return a.name < b.name; });
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back({input, fs::path(input).filename().string()});
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& n = files[i].name;
        if (n.empty()) Fail(files[i].path + ": an entry needs a name");
        if (n.size() > 255) Fail(files[i].path + ": the entry name \"" + n + "\" is longer than 255 bytes");
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFolded(files[j].name, n)) {
                Fail("two inputs share the entry name \"" + n + "\" (case is ignored): " + files[j].path + " and " +
                     files[i].path);
            }
        }
    }
}

int CommandCreate(std::vector<std::string> args) {
    bool flat = false, fromEnd = false;
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--flat") flat = true;
        else if (a == "--from-end") fromEnd = true;
        else if (a.size() > 1 && a[0] == '-') Fail("create: unknown option " + a);
        else rest.push_back(a);
    }
    if (rest.size() < 2) Usage();
    const std::string packPath = rest[0];
    std::vector<std::string> inputs(rest.begin() + 1, rest.end());
    std::vector<InputFile> files;
    CollectInputs(inputs, flat, packPath, files);
    if (files.empty()) Fail("create: the inputs hold no files");

    InitLzo();
    std::vector<Source> sources;
    for (const InputFile& f : files) {
        Bytes data;
        std::string error;
        if (!ReadWholeFile(f.path, data, error)) Fail(error);
        if (data.size() > 0xFFFFFFFFull) Fail(f.path + ": larger than 4 GiB, which an entry cannot hold");
        Source s;
        s.name = f.name;
        PutLe32(s.packed, static_cast<std::uint32_t>(data.size()));
        Bytes stream = Compress(data);
        s.packed.insert(s.packed.end(), stream.begin(), stream.end());
        // Check each block before it goes in: the pack must unpack as written.
        Bytes check;
        if (!Decompress(s.packed.data(), static_cast<std::uint32_t>(s.packed.size()), check, error) || check != data) {
            Fail(f.path + ": the packed block does not unpack to the file");
        }
        sources.push_back(std::move(s));
    }
    OrderForLookup(sources);
    Bytes block = BuildPackBlock(sources, fromEnd);
    AtomicFile out(packPath);
    out.Write(block);
    out.Commit(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    std::printf("%s: %zu entries, %zu bytes\n", packPath.c_str(), sources.size(), block.size());
    return 0;
}

// A stored name for messages: bytes that a terminal would not show are escaped.
std::string Shown(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

int CommandList(const std::vector<std::string>& args) {
    if (args.size() != 1) Usage();
    Pack pack = ReadPack(args[0]);
    int status = 0;
    std::printf("%12s %12s  %s\n", "unpacked", "packed", "name");
    for (const Entry& e : pack.entries) {
        if (!e.inFile) {
            std::printf("%12s %12u  %s\n", "?", e.packedSize, Shown(e.name).c_str());
            Warn(Shown(e.name) + ": its block lies outside the file");
            status = 1;
            continue;
        }
        if (e.packedSize < 4) {
            std::printf("%12s %12u  %s\n", "?", e.packedSize, Shown(e.name).c_str());
            Warn(Shown(e.name) + ": packed size too small for the size header");
            status = 1;
            continue;
        }
        std::printf("%12u %12u  %s\n", GetLe32(pack.bytes.data() + e.offset), e.packedSize, Shown(e.name).c_str());
    }
    if (pack.directoryCut) {
        Warn("the directory runs past the end of the file");
        status = 1;
    }
    return status;
}

// How extract writes an entry: the path below the extraction folder, and why it
// differs from the stored name (or why the entry is refused: empty path).
struct NamePlan {
    std::string relative;            // empty: refused
    std::string reason;              // empty: written as stored
};

NamePlan PlanName(const std::string& name) {
    NamePlan plan;
    if (name.find('\0') != std::string::npos) {
        plan.reason = "the name holds a NUL byte";
        return plan;
    }
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
        plan.reason = "the name ends in a separator (it names a folder, not a file)";
        return plan;
    }
    std::vector<std::string> parts;
    std::string part;
    bool dropped = false;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        char c = i < name.size() ? name[i] : '/';
        if (c != '/' && c != '\\') {
            part.push_back(c);
            continue;
        }
        if (part == "..") {
            plan.reason = "a '..' part would lead outside the folder";
            return plan;
        }
        if (!part.empty() && part != ".") parts.push_back(part);
        else if (i < name.size() || !part.empty()) dropped = true;
        part.clear();
    }
    for (const std::string& p : parts) plan.relative += (plan.relative.empty() ? "" : "/") + p;
    if (plan.relative.empty()) {
        plan.reason = "the name holds no file name";
    } else if (name[0] == '/' || name[0] == '\\') {
        plan.reason = "an absolute name, written below the folder";
    } else if (name.find('\\') != std::string::npos) {
        plan.reason = "'\\' separators, written with '/'";
    } else if (dropped) {
        plan.reason = "empty or '.' parts, left out";
    }
    return plan;
}

// Opens (making them when missing) the folders of `relative` below the open
// folder `root`, one part at a time and never through a link: a link planted in
// the extraction folder could otherwise lead a write anywhere. Returns the folder
// that holds the file (root itself when there is none), or -1 with the reason.
int OpenFolders(int root, const std::string& relative, std::string& why) {
    int at = root;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string part = relative.substr(start, slash - start);
        const std::string upTo = relative.substr(0, slash);
        if (mkdirat(at, part.c_str(), 0755) != 0 && errno != EEXIST) {
            why = "cannot make the folder " + Shown(upTo) + ": " + std::strerror(errno);
            if (at != root) close(at);
            return -1;
        }
        const int next = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int saved = errno;
            struct stat st {};
            if (fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                why = Shown(upTo) + " is a link, which extract never writes through";
            } else if (saved == ENOTDIR) {
                why = Shown(upTo) + " is not a folder";
            } else {
                why = "cannot open the folder " + Shown(upTo) + ": " + std::strerror(saved);
            }
            if (at != root) close(at);
            return -1;
        }
        if (at != root) close(at);
        at = next;
    }
    return at;
}

int CommandExtract(const std::vector<std::string>& args) {
    std::string dir = ".";
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-C") {
            if (i + 1 >= args.size()) Usage();
            dir = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.empty()) Usage();
    Pack pack = ReadPack(rest[0]);
    std::vector<const Entry*> chosen;
    if (rest.size() == 1) {
        for (const Entry& e : pack.entries) chosen.push_back(&e);
    } else {
        for (std::size_t i = 1; i < rest.size(); ++i) {
            const Entry* hit = nullptr;
            for (const Entry& e : pack.entries) {
                if (Matches(rest[i], e.name)) {
                    hit = &e;
                    break;
                }
            }
            if (!hit) Fail(rest[i] + ": no entry of the pack matches");
            chosen.push_back(hit);
        }
    }
    InitLzo();
    // The extraction folder is the user's own choice, links included; below it
    // nothing is followed.
    std::error_code ec;
    fs::create_directories(dir, ec);
    const int root = OpenFolder(dir.c_str());
    if (root < 0) Fail(dir + ": cannot open the folder: " + std::strerror(errno));
    int status = 0;
    for (const Entry* e : chosen) {
        const NamePlan plan = PlanName(e->name);
        const std::string& relative = plan.relative;
        if (relative.empty()) {
            Warn(Shown(e->name) + ": skipped, " + plan.reason);
            status = 1;
            continue;
        }
        if (!plan.reason.empty()) Warn(Shown(e->name) + ": written as " + Shown(relative) + " (" + plan.reason + ")");
        Bytes data;
        std::string error;
        if (!UnpackEntry(pack, *e, data, error)) {
            Warn(Shown(e->name) + ": skipped, " + error);
            status = 1;
            continue;
        }
        const std::string shown = Shown((fs::path(dir) / relative).string());
        std::string why;
        const int folder = OpenFolders(root, relative, why);
        if (folder < 0) {
            Warn(Shown(e->name) + ": skipped, " + why);
            status = 1;
            continue;
        }
        {
            AtomicFile out(folder, fs::path(relative).filename().string(), shown);
            out.Write(data);
            if (!out.TryCommit(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                   fs::perms::others_read,
                               why)) {
                Warn(Shown(e->name) + ": skipped, cannot put it in place: " + why);
                status = 1;
            } else {
                std::printf("%s\n", shown.c_str());
            }
        }
        if (folder != root) close(folder);
    }
    close(root);
    if (pack.directoryCut) {
        Warn("the directory runs past the end of the file; entries after the cut are missing");
        status = 1;
    }
    return status;
}

int CommandAppend(const std::vector<std::string>& args) {
    std::string output;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size()) Usage();
            output = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 2) Usage();
    const std::string& hostPath = rest[0];
    if (output.empty()) output = hostPath;
    Pack pack = ReadPack(rest[1]);
    if (pack.directoryCut) Fail(rest[1] + ": the directory runs past the end of the file");
    std::vector<Source> sources;
    for (const Entry& e : pack.entries) {
        if (!e.inFile || e.packedSize < 4) Fail(rest[1] + ": " + Shown(e.name) + ": its block lies outside the file");
        Source s;
        s.name = e.name;
        s.packed.assign(pack.bytes.begin() + e.offset, pack.bytes.begin() + e.offset + e.packedSize);
        sources.push_back(std::move(s));
    }
    // The directory order is kept: it decides which entry a name finds.
    Bytes block = BuildPackBlock(sources, true);
    Bytes host;
    std::string error;
    if (!ReadWholeFile(hostPath, host, error)) Fail(error);
    std::error_code ec;
    fs::perms mode = fs::status(hostPath, ec).permissions();
    if (ec) mode = fs::perms::owner_read | fs::perms::owner_write;
    AtomicFile out(output);
    out.Write(host);
    out.Write(block);
    out.Commit(mode);
    std::printf("%s: %zu entries appended after %zu bytes\n", output.c_str(), sources.size(), host.size());
    return 0;
}

int CommandVerify(const std::vector<std::string>& args) {
    if (args.size() != 1) Usage();
    Pack pack = ReadPack(args[0]);
    InitLzo();
    int bad = 0;
    for (const Entry& e : pack.entries) {
        Bytes data;
        std::string error;
        if (!UnpackEntry(pack, e, data, error)) {
            std::fprintf(stderr, "corvane-pack: %s: %s\n", Shown(e.name).c_str(), error.c_str());
            ++bad;
        }
        // Names that extract would refuse are problems; names it would change
        // still unpack, and are reported so the author knows.
        const NamePlan plan = PlanName(e.name);
        if (plan.relative.empty()) {
            std::fprintf(stderr, "corvane-pack: %s: extract refuses it: %s\n", Shown(e.name).c_str(),
                         plan.reason.c_str());
            ++bad;
        } else if (!plan.reason.empty()) {
            Warn(Shown(e.name) + ": extract writes it as " + Shown(plan.relative) + " (" + plan.reason + ")");
        }
    }
    if (pack.directoryCut) {
        std::fprintf(stderr, "corvane-pack: the directory runs past the end of the file\n");
        ++bad;
    }
    if (bad) {
        std::fprintf(stderr, "corvane-pack: %s: %d problem(s) in %zu entries\n", args[0].c_str(), bad,
                     pack.entries.size());
        return 1;
    }
    std::printf("%s: %zu entries, all unpack to their stated sizes\n", args[0].c_str(), pack.entries.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) Usage();
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") Usage(true);
    }
    try {
        if (command == "create") return CommandCreate(args);
        if (command == "list") return CommandList(args);
        if (command == "extract") return CommandExtract(args);
        if (command == "append") return CommandAppend(args);
        if (command == "verify") return CommandVerify(args);
        if (command == "-h" || command == "--help" || command == "help") Usage(true);
        if (command == "--version") {
            std::printf("corvane-pack %s\n", CORVANE_VERSION);
            return 0;
        }
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    std::fprintf(stderr, "corvane-pack: unknown command \"%s\"\n", command.c_str());
    Usage();
}
