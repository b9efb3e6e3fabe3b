// The line-file store and the plain file and directory commands.
#include <cstring>
#include <string>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

constexpr int kLineSlots = 256;
constexpr std::size_t kLineBytes = 1024;   // 1023 bytes of text and the terminator

struct LineFile {
    std::string fileName;                  // the name the store was selected under; empty when none
    char lines[kLineSlots][kLineBytes];    // unused slots are all zero
    int lastLine = 0;                      // highest slot holding data
    unsigned char dirty = 0;               // set by every write
};

LineFile lineFile;

// A line index is good when it truncates to 0..255 (NaN is not).
bool LineIndex(double line, int* index) {
    if (!(line > -1.0 && line < static_cast<double>(kLineSlots))) return false;
    *index = static_cast<int>(line);
    return true;
}

// The old file is replaced only by a complete new one: a full disk or a failed
// write leaves it as it was, records error 3 and says so in the log.
void WriteBackLineFile() {
    if (lineFile.fileName.empty() || !lineFile.dirty) return;
    std::string text;
    for (int i = 0; i <= lineFile.lastLine; ++i) {
        text.append(lineFile.lines[i]);
        text.append("\r\n");
    }
    std::string why;
    if (!platform::ReplaceFileContents(lineFile.fileName.c_str(), text.data(), text.size(), &why)) {
        SetErrorCode(ErrorCode::MediaUnreadable);
        ReportFailure("WriteLineText (writing back)", lineFile.fileName.c_str(), why);
    }
}

void StoreLine(void* user, const char* line, std::size_t length) {
    int* slot = static_cast<int*>(user);
    if (*slot >= kLineSlots) return;
    std::memcpy(lineFile.lines[*slot], line, length);
    lineFile.lines[*slot][length] = '\0';
    lineFile.lastLine = *slot;
    ++*slot;
}

// Makes name the selected line file: 0, or 3 when it could not be read (the
// store then stays empty under the new name).
int SelectLineFile(const char* name, const char* command) {
    if (!name) name = "";
    if (lineFile.fileName == name) return 0;
    WriteBackLineFile();
    ResetLineFileStore();
    lineFile.fileName = name;

    std::vector<char> resolved(kMediaPathCapacity);
    std::FILE* f = nullptr;
    const bool found = ResolveMedia(MediaSource(1), name, resolved.data(), resolved.size()) != 0;
    if (found) f = platform::OpenFileForReading(resolved.data());
    if (!f) {
        SetErrorCode(ErrorCode::MediaUnreadable);
        // Writing to a new file starts it empty; reading one that is not there fails.
        if (command) {
            const std::string why = platform::ReadProblem(found ? resolved.data() : name);
            ReportFailure(command, name, why.empty() || why == "unreadable" ? "not found" : why);
        }
        return 3;
    }
    LoadLineFileFromStream(f);
    std::fclose(f);
    return 0;
}

void TrimControlTail(char* text) {
    std::size_t n = std::strlen(text);
    while (n > 0 && static_cast<signed char>(text[n - 1]) <= 31) --n;
    text[n] = '\0';
}

} // namespace

// ---------------------------------------------------------------- line reading

int ReadCutLines(std::FILE* file, int maxLines, LineSink sink, void* user) {
    if (!file) return 0;
    // A line longer than a slot is cut at 1023 bytes; the rest of it up to its
    // line feed is skipped, so the next line still starts a new slot.
    char line[kLineBytes];
    std::size_t length = 0;
    bool cut = false, any = false;
    int count = 0;
    unsigned char chunk[16 * 1024];
    while (maxLines < 0 || count < maxLines) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) {
            char c = static_cast<char>(chunk[i]);
            any = true;
            if (c == '\n') {
                if (!cut && length > 0 && line[length - 1] == '\r') --length;
                sink(user, line, length);
                length = 0;
                cut = any = false;
                if (++count == maxLines) return count;
                continue;
            }
            if (length < kLineBytes - 1) line[length++] = c;
            else cut = true;
        }
    }
    if (any && (maxLines < 0 || count < maxLines)) {
        sink(user, line, length);
        ++count;
    }
    return count;
}

void LoadLineFileFromStream(std::FILE* file) {
    std::memset(lineFile.lines, 0, sizeof lineFile.lines);
    lineFile.lastLine = 0;
    int slot = 0;
    ReadCutLines(file, kLineSlots, StoreLine, &slot);
}

void ResetLineFileStore() {
    std::memset(lineFile.lines, 0, sizeof lineFile.lines);
    lineFile.fileName.clear();
    lineFile.lastLine = 0;
    lineFile.dirty = 0;
}

// ---------------------------------------------------------------- line commands

double ReadLineText(const char* fileName, double line, RtString& text) {
    if (SelectLineFile(fileName, "ReadLineText") != 0) {
        text = "NO_FILE";
        return 3.0;
    }
    int index = 0;
    if (!LineIndex(line, &index)) {
        SetErrorCode(ErrorCode::NoStorage);
        text = "NO_DATA";
        return 7.0;
    }
    char copy[kLineBytes];
    std::memcpy(copy, lineFile.lines[index], kLineBytes);
    TrimControlTail(copy);
    text = copy[0] ? copy : "NO_DATA";
    return 0.0;
}

double ReadLineNumber(const char* fileName, double line, double& number) {
    RtString text;
    double result = ReadLineText(fileName, line, text);
    number = text.Value();
    return result;
}

double WriteLineText(const char* fileName, double line, const char* text) {
    SelectLineFile(fileName, nullptr);
    int index = 0;
    if (!LineIndex(line, &index)) {
        SetErrorCode(ErrorCode::NoStorage);
        return 7.0;
    }
    if (!text) text = "";
    std::size_t n = std::strlen(text);
    if (n > kLineBytes - 1) n = kLineBytes - 1;   // a slot holds 1023 bytes
    std::memcpy(lineFile.lines[index], text, n);
    std::memset(lineFile.lines[index] + n, 0, kLineBytes - n);
    if (index > lineFile.lastLine) lineFile.lastLine = index;
    lineFile.dirty = 1;
    return 0.0;
}

double WriteLineNumber(const char* fileName, double line, double number) {
    RtString text(number);
    return WriteLineText(fileName, line, text.Buffer());
}

void FlushLineFile() { WriteBackLineFile(); }

// ---------------------------------------------------------------- files and directories

double FileExists(const char* path) { return platform::IsReadableFile(path) ? 1.0 : 0.0; }

double RemoveFile(const char* path) {
    if (!path || !*path) return 0.0;
    return platform::DeleteFileAt(path) ? 1.0 : 0.0;
}

void CopyFile(const char* source, const char* target) { platform::CopyFileContents(source, target); }

RtString GetCurrentDir() {
    std::string dir = platform::CurrentDirectory();
    for (char& c : dir) {
        if (c == '\\') c = '/';
    }
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return RtString(dir.c_str());
}

double SetCurrentDir(const char* path) {
    if (!path || !*path) return 0.0;
    return platform::SetCurrentDirectory(path) ? 1.0 : 0.0;
}

double ListFiles(const char* pattern, RtStringArray& names) {
    if (!pattern) pattern = "";
    std::vector<platform::DirectoryEntry> entries;
    platform::ListDirectory(".", entries);
    // Directories are listed whatever the pattern, ahead of the files.
    std::vector<const std::string*> directories, files;
    for (const platform::DirectoryEntry& e : entries) {
        if (e.isDirectory) directories.push_back(&e.name);
        else if (WildcardMatch(pattern, e.name.c_str()) != 0.0) files.push_back(&e.name);
    }
    DimArray(names, static_cast<double>(directories.size() + files.size()));
    double index = 0.0;
    for (const auto* group : {&directories, &files}) {
        for (const std::string* name : *group) {
            ArrayElement(names, index, 0, 0, 0, 0, 0, 0, 0) = name->c_str();
            index += 1.0;
        }
    }
    return static_cast<double>(files.size()) + 65536.0 * static_cast<double>(directories.size());
}

} // namespace corvane
