// The line-file and INI readers and store resets, shared with the fuzzers and
// tests; not commands (those are in values.h).
#pragma once

#include <cstddef>
#include <cstdio>

namespace corvane {

using LineSink = void (*)(void* user, const char* line, std::size_t length);
int  ReadCutLines(std::FILE* file, int maxLines, LineSink sink, void* user); // lines to LF (CR before it dropped), each cut at 1023 bytes; returns lines read
void LoadLineFileFromStream(std::FILE* file);                // replaces the line-file store's lines with the stream's
void LoadIniFromStream(std::FILE* file);                     // replaces the INI store's sections with the stream's
void SaveIniToStream(std::FILE* file);                       // the INI store as written on save
void ResetIniStore();                                        // no file, no sections, not dirty
void ResetLineFileStore();                                   // no file, no lines, not dirty

// Program end (called by the frame's end before the process exits).
void FlushLineFile();                                        // write back the line-file store when changed
void IniSaveAtExit();                                        // save the INI store when changed, then empty it

} // namespace corvane
