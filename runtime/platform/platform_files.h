// Platform services: files, directories, processes and the machine identifier.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane::platform {

// ---------------------------------------------------------------- files
bool IsReadableFile(const char* path);              // a file that is not a directory and opens for reading
std::FILE* OpenFileForReading(const char* path);    // "rb" stream of a file that is not a directory; null otherwise
bool CopyFileContents(const char* source, const char* target); // whole copy; a failed copy leaves no target behind

// ---------------------------------------------------------------- directories
struct DirectoryEntry {
    std::string name;                               // entry name, no path
    bool isDirectory = false;                       // a directory (or a link to one)
};
bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries); // every entry, "." and ".." included, in system order

// ---------------------------------------------------------------- processes
using ProcessId = long;                             // opaque; 0 = no process
bool ShellCommandProgramFound(const char* commandLine); // false when the command's first word names no program the shell can run
ProcessId StartShellCommand(const char* commandLine);   // /bin/sh -c commandLine, inheriting directory and environment; 0 on failure
bool ProcessHasEnded(ProcessId process, std::uint32_t* exitCode); // true once it ended (exit code stored); polls without blocking
void ReleaseProcess(ProcessId process);             // forget it; an unfinished process is reaped later

// ---------------------------------------------------------------- machine
bool MachineSerialNumber(std::uint32_t* serial);    // first 8 hex digits of the machine id; false when unreadable

} // namespace corvane::platform
