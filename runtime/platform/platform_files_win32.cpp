// Win32 implementation of files, directory listing, temporary files, processes and the machine id.
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_files_internal.h"
#include "runtime/platform/platform_win32.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace corvane::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Slashed(const char* name) { return win32::ForwardSlashes(name ? name : ""); }

bool IsDirectoryHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    return !GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The name a file is read by. A program names its own executable as on other
// systems, without ".exe" (a program carrying its media in a pack at its end names
// itself as the pack); an absent name that is the running program's short of
// ".exe" reads the program. Any other name is read as given.
std::string ReadName(const char* path) {
    std::string name = Slashed(path);
    if (name.empty() || win32::Attributes(name) != INVALID_FILE_ATTRIBUTES) return name;
    const std::string self = ModulePath();
    if (self.size() < 4 || _stricmp(self.c_str() + self.size() - 4, ".exe") != 0) return name;
    const std::string program = name + ".exe";
    char full[4 * MAX_PATH];
    const DWORD n = GetFullPathNameA(program.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full || _stricmp(win32::ForwardSlashes(full).c_str(), self.c_str()) != 0) return name;
    return program;
}

// A handle for reading a file that is not a directory; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenRegularForReading(const char* path) {
    if (!path || !*path) return INVALID_HANDLE_VALUE;
    HANDLE h = CreateFileA(ReadName(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    // Only regular disk files: a console or pipe name would block or mislead.
    if (GetFileType(h) != FILE_TYPE_DISK || IsDirectoryHandle(h)) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

HANDLE OpenForWriting(const std::string& path, DWORD disposition) {
    if (path.empty()) return INVALID_HANDLE_VALUE;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// A C stream owning the handle; the handle is closed when no stream can be made.
std::FILE* StreamOf(HANDLE h, int flags, const char* mode) {
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool ReadAll(HANDLE h, std::vector<unsigned char>& bytes, std::size_t limit) {
    bytes.clear();
    std::size_t used = 0;
    for (;;) {
        if (used == limit) return true;
        std::size_t room = std::min<std::size_t>(limit - used, std::size_t{1} << 20);
        bytes.resize(used + room);
        DWORD got = 0;
        if (!ReadFile(h, bytes.data() + used, static_cast<DWORD>(room), &got, nullptr)) {
            bytes.clear();
            return false;
        }
        used += got;
        bytes.resize(used);
        if (got == 0) return true;
    }
}

std::int64_t UnixSeconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    // 100 ns ticks since 1601.
    return static_cast<std::int64_t>(v.QuadPart / 10000000ULL) - 11644473600LL;
}

// A new or emptied file at a name of the runtime's own, never through a link: a
// link planted there (or anything that is not a plain file) is removed first.
HANDLE CreateOwnFile(const std::string& path, DWORD access, bool truncate) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD a = win32::Attributes(path);
        if (a != INVALID_FILE_ATTRIBUTES && (win32::IsLink(a) || (a & FILE_ATTRIBUTE_DIRECTORY))) {
            bool removed = (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str());
            if (!removed) return INVALID_HANDLE_VALUE;
        }
        DWORD disposition = attempt ? CREATE_NEW : (truncate ? CREATE_ALWAYS : OPEN_ALWAYS);
        HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
            !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            return h;
        }
        CloseHandle(h);
        // Planted between the look and the open: removed on the next round.
        DeleteFileA(path.c_str());
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool IsReadableFile(const char* path) {
    HANDLE h = OpenRegularForReading(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::FILE* OpenFileForReading(const char* path) { return StreamOf(OpenRegularForReading(path), _O_RDONLY, "rb"); }

bool ReadFileBytes(const char* path, std::vector<unsigned char>& bytes, std::size_t limit) {
    HANDLE h = OpenRegularForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        bytes.clear();
        return false;
    }
    bool ok = ReadAll(h, bytes, limit);
    CloseHandle(h);
    return ok;
}

std::string ReadProblem(const char* path) {
    if (!path || !*path) return "no file name";
    const DWORD a = win32::Attributes(ReadName(path));
    if (a == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED ? "permission denied" : "not found";
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) return "a folder, not a file";
    HANDLE h = OpenRegularForReading(path);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED ? "permission denied" : "unreadable";
    CloseHandle(h);
    return std::string();
}

std::string WriteProblem(const char* path) {
    if (!path || !*path) return "no file name";
    const std::string found = Slashed(path);
    const DWORD a = win32::Attributes(found);
    if (a != INVALID_FILE_ATTRIBUTES) {
        if (a & FILE_ATTRIBUTE_DIRECTORY) return "a folder, not a file";
        return (a & FILE_ATTRIBUTE_READONLY) ? "permission denied" : std::string();
    }
    const std::string::size_type slash = found.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : found.substr(0, slash == 0 ? 1 : slash);
    const DWORD f = win32::Attributes(folder);
    if (f == INVALID_FILE_ATTRIBUTES || !(f & FILE_ATTRIBUTE_DIRECTORY)) return "folder not found";
    return std::string();
}

bool GetFileInfo(const char* path, FileInfo* info) {
    if (!path || !*path) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(Slashed(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (info) {
        info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        info->modifiedSeconds = UnixSeconds(data.ftLastWriteTime);
    }
    return true;
}

std::FILE* CreateFileForWriting(const char* path) {
    if (!path || !*path) return nullptr;
    // CREATE_ALWAYS empties an existing file in place, as O_TRUNC does.
    return StreamOf(OpenForWriting(Slashed(path), CREATE_ALWAYS), _O_WRONLY, "wb");
}

bool WriteFileBytes(const char* path, const void* data, std::size_t size) {
    if (!path || !*path || (size > 0 && !data)) return false;
    const std::string found = Slashed(path);
    HANDLE h = OpenForWriting(found, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(h, static_cast<const char*>(data), size);
    if (!CloseHandle(h)) ok = false;
    if (!ok) DeleteFileA(found.c_str());
    return ok;
}

bool CopyFileContents(const char* source, const char* target) {
    if (!target || !*target) return false;
    HANDLE in = OpenRegularForReading(source);
    if (in == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION src;
    if (!GetFileInformationByHandle(in, &src)) {
        CloseHandle(in);
        return false;
    }
    const std::string targetPath = Slashed(target);
    // Emptying the target when it is the source itself would destroy the data.
    HANDLE existing = CreateFileA(targetPath.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION dst;
        bool same = GetFileInformationByHandle(existing, &dst) && dst.dwVolumeSerialNumber == src.dwVolumeSerialNumber &&
                    dst.nFileIndexHigh == src.nFileIndexHigh && dst.nFileIndexLow == src.nFileIndexLow;
        CloseHandle(existing);
        if (same) {
            CloseHandle(in);
            return false;
        }
    }
    HANDLE out = OpenForWriting(targetPath, CREATE_ALWAYS);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    std::uint64_t left = (static_cast<std::uint64_t>(src.nFileSizeHigh) << 32) | src.nFileSizeLow;
    std::vector<char> buffer(64 * 1024);
    bool ok = true;
    while (left > 0) {
        DWORD want = left < buffer.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(buffer.size());
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), want, &got, nullptr) || got != want || !WriteAll(out, buffer.data(), want)) {
            ok = false;
            break;
        }
        left -= got;
    }
    CloseHandle(in);
    if (!CloseHandle(out)) ok = false;
    if (!ok) DeleteFileA(targetPath.c_str());
    return ok;
}

bool RenameFile(const char* from, const char* to) {
    if (!from || !*from || !to || !*to) return false;
    // One step that replaces the target: readers see the old file or the new one.
    return MoveFileExA(Slashed(from).c_str(), Slashed(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool DeleteFileAt(const std::string& path) { return !path.empty() && DeleteFileA(Slashed(path.c_str()).c_str()) != 0; }

bool MakeDirectory(const char* path) {
    if (!path || !*path) return false;
    const std::string found = Slashed(path);
    if (CreateDirectoryA(found.c_str(), nullptr)) return true;
    DWORD a = win32::Attributes(found);
    return GetLastError() == ERROR_ALREADY_EXISTS && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// ---------------------------------------------------------------- directories

bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    std::string folder = (!path || !*path) ? std::string(".") : Slashed(path);
    DWORD a = win32::Attributes(folder);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (folder.back() != '/') folder.push_back('/');
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool sawDot = false, sawDotDot = false;
    do {
        DirectoryEntry entry;
        entry.name = data.cFileName;
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        sawDot |= entry.name == ".";
        sawDotDot |= entry.name == "..";
        entries.push_back(std::move(entry));
    } while (FindNextFileA(find, &data));
    FindClose(find);
    // A drive's root lists neither; programs expect both as on every folder.
    if (!sawDot) entries.push_back({".", true});
    if (!sawDotDot) entries.push_back({"..", true});
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& x, const DirectoryEntry& y) {
        const std::size_t n = std::min(x.name.size(), y.name.size());
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char p = static_cast<unsigned char>(x.name[i]), q = static_cast<unsigned char>(y.name[i]);
            unsigned char fp = (p >= 'A' && p <= 'Z') ? p + 32 : p, fq = (q >= 'A' && q <= 'Z') ? q + 32 : q;
            if (fp != fq) return fp < fq;
        }
        if (x.name.size() != y.name.size()) return x.name.size() < y.name.size();
        return x.name < y.name;
    });
    return true;
}

std::string CurrentDirectory() {
    DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) return std::string();
    std::string dir(n, '\0');
    n = GetCurrentDirectoryA(n, dir.data());
    dir.resize(n);
    return win32::ForwardSlashes(dir);
}

bool SetCurrentDirectory(const std::string& path) {
    return !path.empty() && SetCurrentDirectoryA(Slashed(path.c_str()).c_str()) != 0;
}

// ---------------------------------------------------------------- temporary files

std::FILE* CreateTemporaryFile(const std::string& path) {
    if (path.empty()) return nullptr;
    return StreamOf(CreateOwnFile(path, GENERIC_WRITE, true), _O_WRONLY, "wb");
}

bool AppendLineToFile(const std::string& path, const std::string& text) {
    if (path.empty()) return false;
    HANDLE h = CreateOwnFile(path, FILE_APPEND_DATA, false);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::string line = text + "\r\n";
    bool ok = WriteAll(h, line.data(), line.size());
    if (!CloseHandle(h)) ok = false;
    return ok;
}

bool DeleteTemporaryFile(const std::string& path) { return !path.empty() && DeleteFileA(path.c_str()) != 0; }

// ---------------------------------------------------------------- processes

namespace {

// Handles of started programs by process id, until their end is read or they are released.
std::mutex processMutex;
std::map<ProcessId, HANDLE> processes;

bool IsCommandSpecial(char c) { return std::strchr("|&<>()^%\"", c) != nullptr; }

bool IsCommandBuiltin(std::string word) {
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kBuiltins[] = {
        "assoc", "break", "call", "cd", "chdir", "cls", "color", "copy", "date", "del", "dir", "echo",
        "endlocal", "erase", "exit", "for", "ftype", "goto", "if", "md", "mkdir", "mklink", "move",
        "path", "pause", "popd", "prompt", "pushd", "rd", "rem", "ren", "rename", "rmdir", "set",
        "setlocal", "shift", "start", "time", "title", "type", "ver", "verify", "vol"};
    for (const char* b : kBuiltins) {
        if (word == b) return true;
    }
    return false;
}

bool IsRunnable(const std::string& path) {
    DWORD a = win32::Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// A program name as the command interpreter finds it: as written, then with each
// of the executable extensions.
bool ProgramExists(const std::string& word) {
    static const char* const kExtensions[] = {"", ".exe", ".com", ".bat", ".cmd"};
    const bool hasPath = word.find_first_of("/\\:") != std::string::npos;
    for (const char* ext : kExtensions) {
        std::string file = word + ext;
        if (hasPath) {
            if (IsRunnable(file)) return true;
            continue;
        }
        char found[MAX_PATH];
        if (SearchPathA(nullptr, file.c_str(), nullptr, MAX_PATH, found, nullptr) > 0 && IsRunnable(found)) return true;
    }
    return false;
}

} // namespace

bool ShellCommandProgramFound(const char* commandLine) {
    if (!commandLine) return false;
    const char* p = commandLine;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    if (!*p) return false;
    std::string word;
    while (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
        // Anything the command interpreter itself expands is left to it to judge.
        if (IsCommandSpecial(*p)) return true;
        word.push_back(*p++);
    }
    return IsCommandBuiltin(word) || ProgramExists(word);
}

ProcessId StartShellCommand(const char* commandLine) {
    if (!commandLine) return 0;
    // cmd /s /c "<line>": the outer quotes go, the line runs as written, as /bin/sh -c does.
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, sizeof system);
    std::string interpreter = (n > 0 && n < sizeof system) ? std::string(system, n) + "\\cmd.exe" : "cmd.exe";
    std::string line = "\"" + interpreter + "\" /d /s /c \"" + commandLine + "\"";
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    // No handles inherited: the new program gets the standard streams only.
    if (!CreateProcessA(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 0;
    CloseHandle(info.hThread);
    const ProcessId id = static_cast<ProcessId>(info.dwProcessId);
    std::lock_guard<std::mutex> lock(processMutex);
    auto [slot, fresh] = processes.try_emplace(id, info.hProcess);
    if (!fresh) {
        CloseHandle(slot->second);
        slot->second = info.hProcess;
    }
    return id;
}

bool ProcessHasEnded(ProcessId process, std::uint32_t* exitCode) {
    if (process <= 0) return true;
    std::lock_guard<std::mutex> lock(processMutex);
    auto it = processes.find(process);
    std::uint32_t code = 0;
    if (it != processes.end()) {
        if (WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT) return false;
        DWORD status = 0;
        if (GetExitCodeProcess(it->second, &status)) code = status;
        CloseHandle(it->second);
        processes.erase(it);
    }
    if (exitCode) *exitCode = code;
    return true;
}

void ReleaseProcess(ProcessId process) {
    // Windows keeps no zombies: closing the handle is all the forgetting there is.
    std::lock_guard<std::mutex> lock(processMutex);
    auto it = processes.find(process);
    if (it == processes.end()) return;
    CloseHandle(it->second);
    processes.erase(it);
}

void ReapReleasedProcesses() {}

// ---------------------------------------------------------------- machine

bool MachineSerialNumber(std::uint32_t* serial) {
    DWORD value = 0;
    if (!GetVolumeInformationA("C:\\", nullptr, 0, &value, nullptr, nullptr, nullptr, 0)) return false;
    if (serial) *serial = value;
    return true;
}

} // namespace corvane::platform
