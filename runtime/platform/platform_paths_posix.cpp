// Names as programs write them, found on a case-sensitive file system, and the
// private temporary directory.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_files_internal.h"

namespace corvane::platform {

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

std::string Slashes(const char* name) {
    std::string path = name ? name : "";
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string FoldedName(const char* name) {
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return folded;
}

// A folder's names by their folded form, each mapped to the first real name by
// byte order. Kept while the folder's change time stays as it was when listed;
// a folder changed within the last second is listed afresh every time, since
// its change time may not yet show a change made in the same clock tick.
struct FolderIndex {
    struct timespec changed {};
    bool trusted = false;
    std::unordered_map<std::string, std::string> names;
};

std::mutex folderMutex;
std::map<std::pair<dev_t, ino_t>, FolderIndex> folderIndexes;
constexpr std::size_t kMaxFolderIndexes = 64;

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The entry of folder whose name equals part ignoring case: the first by byte
// order among several. "" when none.
std::string FoldedEntry(const std::string& folder, const std::string& part) {
    const char* path = folder.empty() ? "." : folder.c_str();
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
    const std::string key = FoldedName(part.c_str());
    std::lock_guard<std::mutex> lock(folderMutex);
    auto it = folderIndexes.find({st.st_dev, st.st_ino});
    if (it != folderIndexes.end() && it->second.trusted && SameTime(it->second.changed, st.st_mtim)) {
        auto hit = it->second.names.find(key);
        return hit == it->second.names.end() ? std::string() : hit->second;
    }
    DIR* dir = opendir(path);
    if (!dir) return std::string();
    FolderIndex index;
    index.changed = st.st_mtim;
    while (struct dirent* e = readdir(dir)) {
        auto [slot, fresh] = index.names.try_emplace(FoldedName(e->d_name), e->d_name);
        if (!fresh && std::strcmp(e->d_name, slot->second.c_str()) < 0) slot->second = e->d_name;
    }
    closedir(dir);
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    index.trusted = now.tv_sec - st.st_mtim.tv_sec > 1;
    auto hit = index.names.find(key);
    std::string result = hit == index.names.end() ? std::string() : hit->second;
    if (index.trusted) {
        if (folderIndexes.size() >= kMaxFolderIndexes) folderIndexes.clear();
        folderIndexes[{st.st_dev, st.st_ino}] = std::move(index);
    } else if (it != folderIndexes.end()) {
        folderIndexes.erase(it);
    }
    return result;
}

bool EntryExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

} // namespace

namespace internal {

// Walks the path part by part from its root (or the current directory).
bool FindFolded(const std::string& path, std::string* found) {
    std::string result;
    std::size_t pos = 0;
    if (!path.empty() && path[0] == '/') {
        result = "/";
        pos = 1;
    }
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        const bool needSlash = !result.empty() && result.back() != '/';
        std::string exact = result + (needSlash ? "/" : "") + part;
        if (part == "." || part == ".." || EntryExists(exact)) {
            result = std::move(exact);
            continue;
        }
        std::string match = FoldedEntry(result, part);
        if (match.empty()) {
            // Not there: the rest stays as written.
            *found = std::move(exact);
            if (pos < path.size()) *found += path.substr(pos - 1);
            else if (path.back() == '/') found->push_back('/');
            return false;
        }
        result += (needSlash ? "/" : "") + match;
    }
    if (!path.empty() && path.back() == '/' && !result.empty() && result.back() != '/') result.push_back('/');
    *found = std::move(result);
    return true;
}

bool FindExistingName(const char* name, std::string* found) {
    std::string path = Slashes(name);
    if (path.empty()) {
        found->clear();
        return false;
    }
    // The exact name costs one look-up; the walk happens only when it misses.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        *found = std::move(path);
        return true;
    }
    if (errno != ENOENT && errno != ENOTDIR) {
        *found = std::move(path);
        return false;
    }
    return FindFolded(path, found);
}

bool IsPrivateDirectory(const std::string& folder) {
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::string PrivateDirectory(const std::string& folder, const std::string& fallbackParent) {
    if (!folder.empty()) {
        mkdir(folder.c_str(), 0700);
        if (IsPrivateDirectory(folder)) return folder + "/";
    }
    std::string pattern = (fallbackParent.empty() ? std::string("/tmp") : fallbackParent) + "/corvane-" +
                          std::to_string(static_cast<unsigned long>(geteuid())) + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return std::string();
    return pattern + "/";
}

} // namespace internal

std::string SystemPath(const char* name) {
    std::string found;
    internal::FindExistingName(name, &found);
    return found;
}

std::string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir) {
        std::string path = dir;
        if (path.back() != '/') path.push_back('/');
        return path;
    }
    // The private folder is chosen once per process and per $XDG_RUNTIME_DIR, and
    // checked again on each use (it could have been removed meanwhile).
    static std::mutex mutex;
    static std::string chosen, chosenFor;
    static bool haveChoice = false;
    std::lock_guard<std::mutex> lock(mutex);
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::string key = runtimeDir ? runtimeDir : "";
    if (haveChoice && chosenFor == key && internal::IsPrivateDirectory(chosen.substr(0, chosen.size() - 1))) {
        return chosen;
    }
    std::string folder;
    struct stat st;
    // A runtime directory is the user's own and closed to everyone else; one that is
    // not (another user's, or open to all) is not where our files go.
    if (!key.empty() && stat(key.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & 077) == 0) {
        folder = key + (key.back() == '/' ? "" : "/") + "corvane";
    } else {
        folder = "/tmp/corvane-" + std::to_string(static_cast<unsigned long>(geteuid()));
    }
    std::string result = internal::PrivateDirectory(folder, "/tmp");
    if (result.empty()) return "/tmp/";
    chosen = result;
    chosenFor = key;
    haveChoice = true;
    return chosen;
}

} // namespace corvane::platform
