// Dynamic libraries on dlopen/dlsym/dlclose. Programs name libraries the Win32
// way ("fmod.dll") and functions by their stdcall export names ("_Init@12"); both
// are mapped to what a Linux build of such a library is called.
#include "runtime/platform/platform.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_ADDRESS_SANITIZER 1
#endif
#endif

namespace corvane::platform {

namespace {

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    const char* tail = name.c_str() + name.size() - 4;
    return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 'd' &&
           std::tolower(static_cast<unsigned char>(tail[2])) == 'l' &&
           std::tolower(static_cast<unsigned char>(tail[3])) == 'l';
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& file) {
    if (dir.empty()) return file;
    if (dir.back() == '/') return dir + file;
    return dir + "/" + file;
}

void AddUnique(std::vector<std::string>& list, const std::string& item) {
    for (const std::string& existing : list)
        if (existing == item) return;
    list.push_back(item);
}

} // namespace

std::vector<std::string> LibraryFileCandidates(const char* name) {
    std::vector<std::string> candidates;
    if (!name || !*name) return candidates;
    std::string given = name;
    for (char& c : given)
        if (c == '\\') c = '/';

    std::string dir = DirectoryOf(given);
    std::string file = dir.empty() ? given : given.substr(given.rfind('/') + 1);
    if (file.empty()) return candidates;
    // The Win32 loader adds ".dll" to a name without an extension.
    if (file.find('.') == std::string::npos) {
        file += ".dll";
        given += ".dll";
    }
    std::string soName;
    if (EndsWithDll(file)) soName = "lib" + file.substr(0, file.size() - 4) + ".so";

    if (!dir.empty()) {
        // A path was given: only that place is searched.
        AddUnique(candidates, given);
        if (!soName.empty()) AddUnique(candidates, JoinPath(dir, soName));
        return candidates;
    }
    std::string exeDir = DirectoryOf(ModulePath());
    std::string curDir = CurrentDirectory();
    if (!exeDir.empty()) AddUnique(candidates, JoinPath(exeDir, file));
    if (!curDir.empty()) AddUnique(candidates, JoinPath(curDir, file));
    if (!soName.empty()) {
        if (!exeDir.empty()) AddUnique(candidates, JoinPath(exeDir, soName));
        AddUnique(candidates, soName);   // no slash: the system search path
    } else {
        AddUnique(candidates, file);
    }
    return candidates;
}

LibraryHandle LoadDynamicLibrary(const char* name) {
    for (const std::string& candidate : LibraryFileCandidates(name)) {
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
    dlerror();   // nothing found: leave no stale message behind
    return nullptr;
}

LibraryHandle OpenLibraryFile(const char* file, std::string* error) {
    if (!file || !*file) {
        if (error) *error = "no library named";
        return nullptr;
    }
    int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(CORVANE_ADDRESS_SANITIZER)
    // The leak checker finds what a library still holds only through its globals,
    // which an unmapped library no longer has: under it closing keeps the mapping.
    flags |= RTLD_NODELETE;
#endif
    void* handle = dlopen(file, flags);
    if (!handle && error) {
        const char* why = dlerror();
        *error = why ? why : std::string(file) + ": cannot be loaded";
    }
    return handle;
}

std::string UndecoratedSymbolName(const char* name) {
    if (!name || name[0] != '_') return std::string();
    const char* at = std::strrchr(name, '@');
    if (!at || at == name + 1 || at[1] == '\0') return std::string();
    for (const char* p = at + 1; *p; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p))) return std::string();
    return std::string(name + 1, at);
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
    if (!library || !name || !*name) return nullptr;
    dlerror();
    if (void* symbol = dlsym(library, name)) return symbol;
    std::string plain = UndecoratedSymbolName(name);
    void* symbol = plain.empty() ? nullptr : dlsym(library, plain.c_str());
    dlerror();
    return symbol;
}

bool FreeDynamicLibrary(LibraryHandle library) {
    if (!library) return false;
    return dlclose(library) == 0;
}

} // namespace corvane::platform
