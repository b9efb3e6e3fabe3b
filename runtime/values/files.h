// File commands, INI files and system commands of the language, with the media
// resolver's commands from media.h.
#pragma once

#include <cstdio>
#include <string>

#include "runtime/values/media.h"
#include "runtime/values/rt_array.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- line files (256 lines of up to 1023 bytes)
double ReadLineText(const char* fileName, double line, RtString& text);     // 0 with the line in text; "NO_DATA" for an empty line; "NO_FILE" and 3 when the file cannot be selected; 7 for a bad index
double ReadLineNumber(const char* fileName, double line, double& number);   // the line as by ReadLineText, then atof ("NO_DATA"/"NO_FILE" give 0)
double WriteLineText(const char* fileName, double line, const char* text);  // stores the text (cut at 1023 bytes) in the line; 0, or 7 for a bad index
double WriteLineNumber(const char* fileName, double line, double number);   // stores the number's text in the line
void   FlushLineFile();                                                     // program end: write back the store when changed

// ---------------------------------------------------------------- files and directories
double  FileExists(const char* path);                        // 1 if the file opens for reading, else 0
double  RemoveFile(const char* path);                        // non-zero when the file was deleted, else 0
void    CopyFile(const char* source, const char* target);    // whole copy; a failed copy leaves no target
RtString GetCurrentDir();                                    // current directory, forward slashes, one trailing slash
double  SetCurrentDir(const char* path);                     // 1 on success, else 0
double  ListFiles(const char* pattern, RtStringArray& names); // directories then matching files of the current directory; files + 65536 x directories

// ---------------------------------------------------------------- INI files (one open at a time)
void     IniOpen(const char* fileName);                              // saves the open file when changed, then loads this one
RtString IniGet(const char* section, const char* key);               // the value, or "NO_DATA"
void     IniPut(const char* section, const char* key, const char* value); // adds or changes; empty value removes the key, empty key the section
void     IniSaveAtExit();                                            // program end: save when changed, then empty the store

// ---------------------------------------------------------------- system
RtString PlatformInfo(RtString& query);                      // "" -> "LINUX"/"WIN32", "DEVICE" -> "DESKTOP", "ID" -> machine id, else "NO_DATA"; query upper-cased in place
double   RunProgram(const char* commandLineText, double wait, double show, double& exitCode); // 1 if started (with wait: after it ended, exit code stored), else 0
RtString CommandLineText();                                  // the command line the program was started with
extern RtString commandLine;                                 // the process command line, unchanged (set by the entry)

// ---------------------------------------------------------------- readers shared with the fuzzers and tests
using LineSink = void (*)(void* user, const char* line, std::size_t length);
int  ReadCutLines(std::FILE* file, int maxLines, LineSink sink, void* user); // lines to LF (CR before it dropped), each cut at 1023 bytes; returns lines read
void LoadLineFileFromStream(std::FILE* file);                // replaces the line-file store's lines with the stream's
void LoadIniFromStream(std::FILE* file);                     // replaces the INI store's sections with the stream's
void SaveIniToStream(std::FILE* file);                       // the INI store as written on save
void ResetIniStore();                                        // no file, no sections, not dirty
void ResetLineFileStore();                                   // no file, no lines, not dirty

} // namespace corvane
