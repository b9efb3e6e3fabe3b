// Pieces of the file services that tests reach directly; not for runtime code.
#pragma once

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
bool FindPath(const char* name, std::string* found);

} // namespace corvane::platform::internal
