// Platform services: files, directories, temporary files, processes and the
// machine identifier.
//
// Names reach these functions the way programs write them: '\' or '/' between
// parts and any letter case ("DATA\LEVEL1.TXT" finds data/level1.txt). Every
// function taking a name finds it through SystemPath, so code above the seam
// opens, creates, lists and deletes files only through this header (no fopen,
// open or stat of its own). A library that wants a path of its own (a decoder
// opening the file itself) is given SystemPath(name).
//
// Reading never blocks on a FIFO without a writer, and a directory never counts
// as a file. Creating follows these rules: a file that exists (found as above)
// is replaced in place; a new file gets the last part of its name as written,
// inside folders found ignoring case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane::platform {

// ---------------------------------------------------------------- names
std::string SystemPath(const char* name);           // '\' to '/'; the exact path when it exists, else each part found ignoring ASCII case (exact wins, else the first by byte order); parts not found stay as written

// ---------------------------------------------------------------- reading
bool IsReadableFile(const char* path);              // a file that is not a directory and opens for reading
std::FILE* OpenFileForReading(const char* path);    // "rb" stream of a file that is not a directory; null otherwise
bool ReadFileBytes(const char* path, std::vector<unsigned char>& bytes, std::size_t limit = SIZE_MAX); // whole file, at most limit bytes; false when it cannot be read
struct FileInfo {
    bool isDirectory = false;                       // a directory (or a link to one)
    std::uint64_t size = 0;                         // bytes
    std::int64_t modifiedSeconds = 0;               // last change, seconds since 1970
};
bool GetFileInfo(const char* path, FileInfo* info); // false when nothing has that name
// Why a file cannot be read, in plain words for the error log: "not found", "a folder,
// not a file", "permission denied", "unreadable"; "" when it opens for reading.
std::string ReadProblem(const char* path);
// Why a file cannot be written at path: "folder not found", "a folder, not a file",
// "permission denied"; "" when nothing known stands in the way.
std::string WriteProblem(const char* path);

// ---------------------------------------------------------------- writing
std::FILE* CreateFileForWriting(const char* path);  // "wb" stream, the file emptied or made (mode 0644); null on failure
bool WriteFileBytes(const char* path, const void* data, std::size_t size); // whole file; a failed write leaves no file behind
bool CopyFileContents(const char* source, const char* target); // whole copy; a failed copy leaves no target behind
bool RenameFile(const char* from, const char* to);  // move or rename, replacing the target
bool DeleteFileAt(const std::string& path);         // remove one file; false when it was not there
bool MakeDirectory(const char* path);               // new folder (mode 0755); true when it exists already as a folder
std::FILE* CreateFileBeside(const char* target, std::string* createdPath); // new uniquely named "wb" file (mode 0644) in the folder of target (found as above); null on failure
// The whole file replaced by data: written beside it and renamed over it only once
// every byte is on disk (an existing file keeps its permissions). On failure the old
// file stays whole, nothing is left beside it, and why says what went wrong.
bool ReplaceFileContents(const char* path, const void* data, std::size_t size, std::string* why);
// Tests: ReplaceFileContents writes at most limit bytes, then fails with error
// (ENOSPC: a full disk); a negative limit puts writing back.
void LimitReplaceWritesForTesting(long long limit, int error);

// ---------------------------------------------------------------- directories
struct DirectoryEntry {
    std::string name;                               // entry name, no path
    bool isDirectory = false;                       // a directory (or a link to one)
};
bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries); // every entry, "." and ".." included, sorted by name ignoring ASCII case (bytes break ties)
std::string CurrentDirectory();                     // the process's current directory
bool SetCurrentDirectory(const std::string& path);  // change it; false on failure

// ---------------------------------------------------------------- temporary files
// The temporary directory is $TMPDIR when set; else a private per-user folder
// (mode 0700, $XDG_RUNTIME_DIR/corvane or /tmp/corvane-<uid>), refused in favour
// of a fresh one when it is not a folder of this user closed to others. Names
// here are the runtime's own: used exactly, never case-folded, and a symbolic
// link planted at one is replaced, never followed.
std::string TempDirectory();                        // always ending in '/'
std::FILE* CreateTemporaryFile(const std::string& path); // "wb" stream of a new regular file (mode 0600) at path
bool AppendLineToFile(const std::string& path, const std::string& text); // open or make (0644), append text + CR LF, close
bool DeleteTemporaryFile(const std::string& path);  // unlink exactly this path

// ---------------------------------------------------------------- processes
using ProcessId = long;                             // opaque; 0 = no process
bool ShellCommandProgramFound(const char* commandLine); // false when the command's first word names no program the shell can run
ProcessId StartShellCommand(const char* commandLine);   // /bin/sh -c commandLine (a first word naming a path is found as above), inheriting directory and environment; 0 on failure
bool ProcessHasEnded(ProcessId process, std::uint32_t* exitCode); // true once it ended (exit code stored); polls without blocking
void ReleaseProcess(ProcessId process);             // forget it; the next ReapReleasedProcesses collects it
void ReapReleasedProcesses();                       // collect released programs that have ended (the frame step calls it)

// ---------------------------------------------------------------- machine
bool MachineSerialNumber(std::uint32_t* serial);    // first 8 hex digits of the machine id; false when unreadable

} // namespace corvane::platform
