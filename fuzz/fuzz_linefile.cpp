// Fuzzes the line-file reader: every slot holds at most 1023 bytes and no line feed.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "runtime/values/files_internal.h"
#include "runtime/values/values.h"

namespace {

void CheckLine(void*, const char* line, std::size_t length) {
    if (length > 1023 || std::memchr(line, '\n', length)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f) return 0;
    int lines = corvane::ReadCutLines(f, -1, CheckLine, nullptr);
    if (lines < 0 || static_cast<std::size_t>(lines) > size) __builtin_trap();
    std::rewind(f);
    corvane::ResetLineFileStore();
    corvane::LoadLineFileFromStream(f);
    std::fclose(f);
    for (int i = 0; i < 256; ++i) {
        corvane::RtString text;
        // The store is selected under the empty name, so reading uses it as loaded.
        if (corvane::ReadLineText("", i, text) != 0.0) __builtin_trap();
        if (text.length > 1023 || std::memchr(text.Buffer(), '\n', text.length)) __builtin_trap();
    }
    return 0;
}
