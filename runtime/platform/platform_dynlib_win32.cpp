// Dynamic libraries on LoadLibrary/GetProcAddress/FreeLibrary. A library is looked
// for beside the executable, then in the current folder, then on the system's
// own search path; its own DLLs are found beside it.
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_win32.h"

#include <cctype>
#include <cstring>

namespace corvane::platform {

namespace {

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& file) {
    if (dir.empty()) return file;
    if (dir.back() == '/' || dir.back() == '\\') return dir + file;
    return dir + "/" + file;
}

void AddUnique(std::vector<std::string>& list, const std::string& item) {
    for (const std::string& existing : list) {
        if (_stricmp(existing.c_str(), item.c_str()) == 0) return;
    }
    list.push_back(item);
}

} // namespace

std::vector<std::string> LibraryFileCandidates(const char* name) {
    std::vector<std::string> candidates;
    if (!name || !*name) return candidates;
    std::string given = win32::ForwardSlashes(name);
    std::string dir = DirectoryOf(given);
    std::string file = dir.empty() ? given : given.substr(given.rfind('/') + 1);
    if (file.empty()) return candidates;
    // The loader adds ".dll" to a name without an extension.
    if (file.find('.') == std::string::npos) {
        file += ".dll";
        given += ".dll";
    }
    if (!dir.empty()) {
        candidates.push_back(given);
        return candidates;
    }
    std::string exeDir = DirectoryOf(ModulePath());
    std::string curDir = CurrentDirectory();
    if (!exeDir.empty()) AddUnique(candidates, JoinPath(exeDir, file));
    if (!curDir.empty()) AddUnique(candidates, JoinPath(curDir, file));
    AddUnique(candidates, file);   // no folder: the system's search path
    return candidates;
}

LibraryHandle LoadDynamicLibrary(const char* name) {
    // A library that is missing or broken fails here, not in a dialog box.
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE found = nullptr;
    for (const std::string& candidate : LibraryFileCandidates(name)) {
        const bool hasFolder = candidate.find('/') != std::string::npos;
        std::string native = candidate;
        for (char& c : native) {
            if (c == '/') c = '\\';
        }
        if (hasFolder && GetFileAttributesA(native.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        // With a folder, the library's own DLLs are looked for in that folder first.
        found = LoadLibraryExA(native.c_str(), nullptr, hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
        if (found) break;
    }
    SetErrorMode(previous);
    return reinterpret_cast<LibraryHandle>(found);
}

LibraryHandle OpenLibraryFile(const char* file, std::string* error) {
    if (!file || !*file) {
        if (error) *error = "no library named";
        return nullptr;
    }
    std::string native = file;
    for (char& c : native) {
        if (c == '/') c = '\\';
    }
    const bool hasFolder = native.find('\\') != std::string::npos;
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(native.c_str(), nullptr, hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    DWORD code = module ? 0 : GetLastError();
    SetErrorMode(previous);
    if (!module && error) *error = std::string(file) + ": " + win32::ErrorText(code);
    return reinterpret_cast<LibraryHandle>(module);
}

std::string UndecoratedSymbolName(const char* name) {
    if (!name || name[0] != '_') return std::string();
    const char* at = std::strrchr(name, '@');
    if (!at || at == name + 1 || at[1] == '\0') return std::string();
    for (const char* p = at + 1; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return std::string();
    }
    return std::string(name + 1, at);
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
    if (!library || !name || !*name) return nullptr;
    HMODULE module = reinterpret_cast<HMODULE>(library);
    if (FARPROC symbol = GetProcAddress(module, name)) return reinterpret_cast<void*>(symbol);
    // A 64-bit library exports plain names: "_Init@12" is "Init" there.
    std::string plain = UndecoratedSymbolName(name);
    if (plain.empty()) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, plain.c_str()));
}

bool FreeDynamicLibrary(LibraryHandle library) {
    if (!library) return false;
    return FreeLibrary(reinterpret_cast<HMODULE>(library)) != 0;
}

} // namespace corvane::platform
