// The INI store: one file open at a time, kept as sections of keys in memory and
// written back when another file is opened and at program end.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

struct IniKey {
    RtString key;
    RtString value;
};

struct IniSection {
    RtString name;                 // empty: keys that came before any header
    std::vector<IniKey> keys;
};

struct IniStore {
    std::vector<IniSection> sections;  // file order, then order of creation; duplicates possible
    RtString fileName;                 // where a save goes; empty when no file was opened
    unsigned char dirty = 0;
};

IniStore iniStore;

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool SameName(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (; *x && *y; ++x, ++y) {
        if (Fold(*x) != Fold(*y)) return false;
    }
    return *x == *y;
}

IniSection* FindSection(const char* name, std::size_t* index = nullptr) {
    for (std::size_t i = 0; i < iniStore.sections.size(); ++i) {
        if (SameName(iniStore.sections[i].name.Buffer(), name)) {
            if (index) *index = i;
            return &iniStore.sections[i];
        }
    }
    return nullptr;
}

IniKey* FindKey(IniSection& section, const char* key, std::size_t* index = nullptr) {
    for (std::size_t i = 0; i < section.keys.size(); ++i) {
        if (SameName(section.keys[i].key.Buffer(), key)) {
            if (index) *index = i;
            return &section.keys[i];
        }
    }
    return nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsName(char c) { return IsBlank(c) || c == '='; }

// Parsing state while a file is read: keys gather under the current name until
// the next header or the end of the file.
struct IniParse {
    std::string currentName;
    std::vector<IniKey> gathered;

    void Flush() {
        if (gathered.empty()) return;
        IniSection section;
        section.name = currentName.c_str();
        section.keys = std::move(gathered);
        gathered.clear();
        iniStore.sections.push_back(std::move(section));
    }

    void Line(const char* p) {
        while (IsBlank(*p)) ++p;
        if (*p == ';') return;
        if (*p == '[') {
            Flush();
            ++p;
            while (IsBlank(*p)) ++p;
            const char* end = p;
            while (*end && !EndsName(*end)) ++end;
            std::size_t length = static_cast<std::size_t>(end - p);
            if (length > 0 && p[length - 1] == ']') --length;
            if (length > 0) currentName.assign(p, length);
            return;
        }
        const char* end = p;
        while (*end && !EndsName(*end)) ++end;
        if (!*end) return;                       // a key alone
        std::string key(p, static_cast<std::size_t>(end - p));
        const char* value = end + 1;             // the character that ended the key is dropped
        while (IsBlank(*value)) ++value;
        std::size_t length = std::strlen(value);
        while (length > 0 && static_cast<signed char>(value[length - 1]) <= 31) --length;
        if (length == 0) return;
        IniKey pair;
        pair.key = key.c_str();
        pair.value = std::string(value, length).c_str();
        gathered.push_back(std::move(pair));
    }
};

void ParseLine(void* user, const char* line, std::size_t length) {
    // A line is handled as text: a NUL byte ends it.
    std::string text(line, length);
    static_cast<IniParse*>(user)->Line(text.c_str());
}

// The store as a file holds it.
std::string IniStoreText() {
    std::string text;
    for (const IniSection& section : iniStore.sections) {
        text.append("[").append(section.name.Buffer()).append("]\r\n");
        for (const IniKey& k : section.keys) text.append(k.key.Buffer()).append("=").append(k.value.Buffer()).append("\r\n");
    }
    return text;
}

void SaveIniStore() {
    if (!iniStore.dirty || !iniStore.fileName.Buffer() || !iniStore.fileName.Buffer()[0]) return;
    // Gathered first, then replacing the old file only once complete: a failed
    // save leaves it as it was, records error 3 and says so in the log.
    const std::string text = IniStoreText();
    std::string why;
    if (!platform::ReplaceFileContents(iniStore.fileName.Buffer(), text.data(), text.size(), &why)) {
        SetErrorCode(ErrorCode::MediaUnreadable);
        ReportFailure("IniPut (saving)", iniStore.fileName.Buffer(), why);
    }
}

} // namespace

// ---------------------------------------------------------------- streams

void LoadIniFromStream(std::FILE* file) {
    iniStore.sections.clear();
    IniParse parse;
    ReadCutLines(file, -1, ParseLine, &parse);
    parse.Flush();
}

void SaveIniToStream(std::FILE* file) {
    if (!file) return;
    const std::string text = IniStoreText();
    std::fwrite(text.data(), 1, text.size(), file);
}

void ResetIniStore() {
    iniStore.sections.clear();
    iniStore.fileName = "";
    iniStore.dirty = 0;
}

// ---------------------------------------------------------------- commands

void IniOpen(const char* fileName) {
    SaveIniStore();
    ResetIniStore();
    if (!fileName) fileName = "";
    std::vector<char> resolved(kMediaPathCapacity);
    if (ResolveMedia(MediaSource(1), fileName, resolved.data(), resolved.size())) {
        iniStore.fileName = resolved.data();
    } else {
        iniStore.fileName = fileName;
    }
    std::FILE* f = platform::OpenFileForReading(iniStore.fileName.Buffer());
    if (!f) {
        // A file not there yet is how a program starts its settings: it is made by
        // the first IniPut. Anything else in the way is a failure.
        const std::string why = platform::ReadProblem(iniStore.fileName.Buffer());
        if (why == "not found") ReportFailure("IniOpen", fileName, "not found (starts empty; IniPut makes it)");
        else ReportFailure("IniOpen", fileName, why.empty() ? "unreadable" : why);
        return;
    }
    LoadIniFromStream(f);
    std::fclose(f);
}

RtString IniGet(const char* section, const char* key) {
    IniSection* s = FindSection(section);
    if (!s) return RtString("NO_DATA");
    IniKey* k = FindKey(*s, key);
    if (!k) return RtString("NO_DATA");
    return k->value;
}

void IniPut(const char* section, const char* key, const char* value) {
    if (!key) key = "";
    if (!value) value = "";
    if (!*key) {
        // The section goes, the last one takes its place; the file learns of it
        // only with the next save that another change causes.
        std::size_t index = 0;
        if (FindSection(section, &index)) {
            if (index + 1 != iniStore.sections.size()) iniStore.sections[index] = std::move(iniStore.sections.back());
            iniStore.sections.pop_back();
        }
        return;
    }
    IniSection* s = FindSection(section);
    if (!s) {
        IniSection fresh;
        fresh.name = section ? section : "";
        iniStore.sections.push_back(std::move(fresh));
        s = &iniStore.sections.back();
    }
    std::size_t index = 0;
    IniKey* k = FindKey(*s, key, &index);
    if (!k) {
        IniKey pair;
        pair.key = key;
        pair.value = value;
        s->keys.push_back(std::move(pair));
    } else if (*value) {
        k->value = value;
    } else {
        if (index + 1 != s->keys.size()) s->keys[index] = std::move(s->keys.back());
        s->keys.pop_back();
    }
    iniStore.dirty = 1;
}

void IniSaveAtExit() {
    SaveIniStore();
    ResetIniStore();
}

} // namespace corvane
