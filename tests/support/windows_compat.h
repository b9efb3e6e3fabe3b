// Test support on Windows: the few POSIX calls the tests use to set up their
// files and environment, in their POSIX form over the Windows C library. Given to
// every test file of the Windows build ahead of its own includes.
#pragma once

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <stdlib.h>

#include <cstdlib>

// The GL headers here stop at GL 1.1; the tests name later enums too.
#include <GL/gl.h>
#include <GL/glext.h>

inline int mkdir(const char* path, int) { return _mkdir(path); }
inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value);
}
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
inline char* mkdtemp(char* pattern) { return (_mktemp(pattern) && _mkdir(pattern) == 0) ? pattern : nullptr; }
// A symbolic link (file or folder, by what `target` names); -1 where the system refuses.
int symlink(const char* target, const char* link);
// Whether the file system shows `path` as a link (a reparse point). Wine shows the
// links it makes as the files or folders they lead to.
bool ShownAsLink(const char* path);
#endif
