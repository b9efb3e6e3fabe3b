// Pieces of the file services that tests reach directly; not for runtime code.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

namespace corvane::platform::internal {

// The folder given when it is (or is made) a private folder of this user: a real
// folder, not a link, owned by the effective user, closed to group and others.
// Otherwise a fresh folder made by mkdtemp under fallbackParent. "" when neither
// can be had. The result ends in '/'.
std::string PrivateDirectory(const std::string& folder, const std::string& fallbackParent);

// The folder itself passes the test above.
bool IsPrivateDirectory(const std::string& folder);

// The name found for a path: true with the existing path, false with the folders
// found and the rest as written (the separator change done either way).
bool FindExistingName(const char* name, std::string* found);

// The walk of FindExistingName alone, for a name whose separators are already '/'.
bool FindFolded(const std::string& path, std::string* found);

// Runs attempt(path) with the name as written (separators changed); only when it
// fails because that path does not exist is the name found ignoring case and
// attempt run again. An exact name thus costs the attempt's own look-up alone.
template <typename Attempt>
bool TryPath(const char* name, Attempt attempt) {
    if (!name || !*name) return false;
    std::string slashed;
    const char* path = name;
    if (std::strchr(name, '\\')) {
        slashed = name;
        for (char& c : slashed) {
            if (c == '\\') c = '/';
        }
        path = slashed.c_str();
    }
    if (attempt(path)) return true;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    std::string found;
    if (!FindFolded(path, &found) || found == path) return false;
    return attempt(found.c_str());
}

} // namespace corvane::platform::internal
