// POSIX implementation of creating a file beside another, so that a writer can
// finish it before renaming it over the old one.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/platform/platform_files.h"

namespace corvane::platform {

std::FILE* CreateFileBeside(const char* target, std::string* createdPath) {
    if (!target || !*target) return nullptr;
    // The same folder keeps the later rename on one file system.
    std::string pattern = SystemPath(target);
    const std::string::size_type slash = pattern.find_last_of('/');
    pattern = (slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1)) + ".corvane-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    // mkstemp makes the file private; the finished file is an ordinary one.
    fchmod(fd, 0644);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(name.data());
        return nullptr;
    }
    *createdPath = name.data();
    return f;
}

} // namespace corvane::platform
