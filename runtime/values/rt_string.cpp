// RtString: owned NUL-terminated byte buffer with capacity and cached length.
#include "runtime/values/rt_string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvane {

namespace {

// The allocator's failure is not something a string operation can report;
// stopping at once is better than writing through a null buffer.
[[noreturn]] void OutOfMemory() {
    std::fputs("RtString: out of memory\n", stderr);
    std::abort();
}

// Room for any int or any double rendered with 10 significant digits.
constexpr std::size_t kNumberTextSize = 64;

// The decimal text of an int, as _itoa with radix 10 writes it.
std::size_t IntText(int value, char* out) {
    return static_cast<std::size_t>(std::snprintf(out, kNumberTextSize, "%d", value));
}

// General format with 10 significant digits: trailing zeros are suppressed and a
// trailing decimal point is dropped, so integral values show as plain digits.
std::size_t DoubleText(double value, char* out) {
    int n = std::snprintf(out, kNumberTextSize, "%.10g", value);
    std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (len > 0 && out[len - 1] == '.') out[--len] = 0;
    return len;
}

std::uint32_t CheckedLength(std::size_t n) {
    // The largest length whose capacity step still fits 32 bits.
    if (n > 0xFFFFFDFFu) OutOfMemory();
    return static_cast<std::uint32_t>(n);
}

// A number's text replaces the contents; numbers always reserve 64 bytes.
RtString& AssignNumberText(RtString& s, const char* text, std::size_t n) {
    s.Reserve(kNumberTextSize);
    return s.Assign(text, static_cast<std::uint32_t>(n));
}

// Heap blocks come in 16-byte units, the allocator's own granularity.
constexpr std::size_t RoundBlock(std::size_t bytes) { return (bytes + 15) & ~std::size_t(15); }

} // namespace

// ---------------------------------------------------------------- growth
// Reserve only moves the capacity through its steps; the memory follows what is
// written. Every writer below first makes the block hold its bytes (Hold), so
// a short text in a large capacity costs only what it holds.

void RtString::Reserve(std::uint32_t n) {
    if (n < capacity) return;
    if (n > 0xFFFFFDFFu) OutOfMemory();
    capacity = (n & ~511u) + 512u;
    if (!data) Hold(1);
}

void RtString::Grow(std::size_t bytes, bool zeroNew) {
    if (data) {
        const std::size_t old = Block();
        // Geometric growth keeps a loop of appends linear in the total length.
        const std::size_t block = std::max(RoundBlock(bytes), std::min<std::size_t>(2 * old, 0xFFFFFFF0u));
        if (block > 0xFFFFFFF0u) OutOfMemory();
        char* fresh;
        if (data == small) {
            fresh = static_cast<char*>(std::malloc(block));
            if (!fresh) OutOfMemory();
            std::memcpy(fresh, small, kInlineBytes);
        } else {
            // Every byte of the old block is kept, also those past the terminator
            // that SetByteAt may have written.
            fresh = static_cast<char*>(std::realloc(data, block));
            if (!fresh) OutOfMemory();
        }
        if (zeroNew) std::memset(fresh + old, 0, block - old);
        fresh[block - 1] = 0;
        data = fresh;
        heapBlock = static_cast<std::uint32_t>(block);
        return;
    }
    length = 0;
    if (bytes <= kInlineBytes) {
        std::memset(small, 0, kInlineBytes);
        data = small;
        return;
    }
    const std::size_t block = RoundBlock(bytes);
    if (block > 0xFFFFFFF0u) OutOfMemory();
    data = static_cast<char*>(std::malloc(block));
    if (!data) OutOfMemory();
    if (zeroNew) std::memset(data, 0, block);
    data[0] = 0;
    data[block - 1] = 0;
    heapBlock = static_cast<std::uint32_t>(block);
}

void RtString::TakeFrom(RtString& other) noexcept {
    if (other.data == other.small) {
        std::memcpy(small, other.small, kInlineBytes);
        data = small;
    } else {
        data = other.data;
        heapBlock = other.heapBlock;
    }
    capacity = other.capacity;
    length = other.length;
    other.data = nullptr;
    other.capacity = 0;
    other.length = 0;
}

// ---------------------------------------------------------------- construction

RtString::RtString() {
    std::memset(small, 0, kInlineBytes);
    data = small;
    capacity = 4;
    length = 0;
}

RtString::RtString(const char* text) {
    std::uint32_t n = CheckedLength(text ? std::strlen(text) : 0);
    Reserve(n);
    Hold(std::size_t(n) + 1);
    if (n) std::memcpy(data, text, n);
    data[n] = 0;
    length = n;
}

RtString::RtString(std::string_view text) : RtString() { Assign(text.data(), CheckedLength(text.size())); }

RtString::RtString(const std::string& text) : RtString(std::string_view(text)) {}

RtString::RtString(const RtString& other) {
    Reserve(other.length);
    Hold(std::size_t(other.length) + 1);
    if (other.length) std::memcpy(data, other.data, other.length);
    data[other.length] = 0;
    length = other.length;
}

RtString::RtString(RtString&& other) noexcept { TakeFrom(other); }

RtString::RtString(int value) { *this = value; }
RtString::RtString(float value) { *this = static_cast<double>(value); }
RtString::RtString(double value) { *this = value; }

RtString::~RtString() { Destroy(); }

void RtString::Destroy() {
    if (data != small) std::free(data);
    data = nullptr;
    capacity = 0;
    length = 0;
}

// ---------------------------------------------------------------- assignment

RtString& RtString::operator=(const char* text) {
    std::uint32_t n = CheckedLength(text ? std::strlen(text) : 0);
    // A text inside our own block ends inside it too, so the block already holds
    // n + 1 bytes and does not move; memmove handles the overlap.
    Reserve(n);
    Hold(std::size_t(n) + 1);
    if (n) std::memmove(data, text, n);
    data[n] = 0;
    length = n;
    return *this;
}

RtString& RtString::Assign(const char* bytes, std::uint32_t count) {
    // The bytes may lie inside our own block, which growing it may move.
    std::size_t inside = SIZE_MAX;
    if (data && bytes >= data && bytes < data + Block()) inside = std::size_t(bytes - data);
    Reserve(count);
    Hold(std::size_t(count) + 1);
    if (inside != SIZE_MAX) bytes = data + inside;
    if (count) std::memmove(data, bytes, count);
    data[count] = 0;
    length = count;
    return *this;
}

RtString& RtString::operator=(const RtString& other) {
    if (this == &other) return *this;
    Reserve(other.length);
    Hold(std::size_t(other.length) + 1);
    if (other.length) std::memcpy(data, other.data, other.length);
    data[other.length] = 0;
    length = other.length;
    return *this;
}

RtString& RtString::operator=(RtString&& other) noexcept {
    if (this == &other) return *this;
    if (data != small) std::free(data);
    TakeFrom(other);
    return *this;
}

RtString& RtString::operator=(int value) {
    char text[kNumberTextSize];
    std::size_t n = IntText(value, text);
    return AssignNumberText(*this, text, n);
}

RtString& RtString::operator=(float value) { return *this = static_cast<double>(value); }

RtString& RtString::operator=(double value) {
    char text[kNumberTextSize];
    std::size_t n = DoubleText(value, text);
    return AssignNumberText(*this, text, n);
}

// ---------------------------------------------------------------- append

RtString& RtString::operator+=(const char* text) {
    if (!text) return *this;
    std::size_t n = std::strlen(text);
    if (n == 0) return *this;
    // The cached length gives the end, so appending never rescans our own text.
    // A text that lies inside our own buffer must survive the reallocation.
    std::size_t inside = SIZE_MAX;
    if (data && text >= data && text < data + Block()) inside = std::size_t(text - data);
    std::uint32_t newLength = CheckedLength(std::size_t(length) + n);
    if (newLength >= capacity) Reserve(newLength);
    Hold(std::size_t(newLength) + 1);
    if (inside != SIZE_MAX) text = data + inside;
    std::memmove(data + length, text, n);
    data[newLength] = 0;
    length = newLength;
    return *this;
}

RtString& RtString::operator+=(const RtString& other) {
    std::uint32_t n = other.length;   // captured first: other may be *this
    if (n == 0) return *this;
    std::uint32_t newLength = CheckedLength(std::size_t(length) + n);
    Reserve(newLength);
    Hold(std::size_t(newLength) + 1);   // moves other.data too when other is *this
    std::memmove(data + length, other.data, n);
    data[newLength] = 0;
    length = newLength;
    return *this;
}

RtString& RtString::operator+=(int value) {
    char text[kNumberTextSize];
    IntText(value, text);
    return *this += static_cast<const char*>(text);
}

RtString& RtString::operator+=(float value) { return *this += static_cast<double>(value); }

RtString& RtString::operator+=(double value) {
    char text[kNumberTextSize];
    DoubleText(value, text);
    return *this += static_cast<const char*>(text);
}

// ---------------------------------------------------------------- access

char* RtString::BufferForWriting(std::uint32_t n) {
    Reserve(n);
    // n bytes and the terminator, and the block's own last 0 after them, so even
    // a writer that fills all n + 1 bytes leaves a terminated text.
    Hold(std::size_t(n) + 2);
    return data;
}

// The scan ends inside the block (its last byte is 0). A text whose terminator
// was overwritten by SetByteAt is cut at the last byte the capacity allows,
// so the length stays below the capacity.
std::uint32_t RtString::Recount() {
    if (!data) return length = 0;
    std::size_t n = std::strlen(data);
    if (n >= capacity) {
        n = capacity - 1;
        data[n] = 0;
    }
    length = static_cast<std::uint32_t>(n);
    return length;
}

// Index operations stay inside the buffer: a byte beyond the capacity reads as
// 0 and is never written. Within the capacity, bytes the block does not hold yet
// were never written and read as 0; a write makes the block hold them.
signed char RtString::ByteAt(std::uint32_t index) const {
    if (index >= capacity || !data || index >= Block()) return 0;
    return static_cast<signed char>(data[index]);
}

void RtString::SetByteAt(std::uint32_t index, char byte) {
    if (index >= capacity || !data) return;
    Hold(std::size_t(index) + 2, true);   // the block's last 0 stays after the byte
    data[index] = byte;
}

void RtString::CutAt(std::uint32_t index) {
    if (index >= capacity || !data) return;
    // Past the block the text already ends (at the block's last 0 at the latest).
    if (index < Block()) data[index] = 0;
    Recount();
}

double RtString::Value() const { return TextValue(data); }

int RtString::Compare3(double number) const {
    double v = Value();
    if (v < number) return -1;
    if (v > number) return 1;
    return 0;
}

int RtString::RawCompare(const char* text) const {
    return std::strcmp(Buffer(), text ? text : "");
}

// The longest decimal prefix after white space; the C library would also read
// hexadecimal, infinity and NaN spellings, which a text never means here.
double TextValue(const char* text) {
    if (!text) return 0.0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const char* q = (*p == '+' || *p == '-') ? p + 1 : p;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(q[0]) && !(q[0] == '.' && digit(q[1]))) return 0.0;
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) return *p == '-' ? -0.0 : 0.0;
    return std::strtod(p, nullptr);
}

// ---------------------------------------------------------------- concatenation
// The result is reserved once for the joined length; the capacity reached is the
// one that copying the left operand and then appending the right would give.

namespace {

RtString Join(const char* a, std::size_t la, const char* b, std::size_t lb) {
    RtString out(static_cast<const char*>(nullptr));
    std::uint32_t n = CheckedLength(la + lb);
    char* p = out.BufferForWriting(n);
    if (la) std::memcpy(p, a, la);
    if (lb) std::memcpy(p + la, b, lb);
    p[n] = 0;
    out.length = n;
    return out;
}

inline std::size_t Len(const char* s) { return s ? std::strlen(s) : 0; }

struct NumberText {
    char text[kNumberTextSize];
    std::size_t length;
    explicit NumberText(int v) { length = IntText(v, text); }
    explicit NumberText(double v) { length = DoubleText(v, text); }
};

} // namespace

RtString operator+(const RtString& a, const RtString& b) { return Join(a.Buffer(), a.length, b.Buffer(), b.length); }
RtString operator+(const RtString& a, const char* b) { return Join(a.Buffer(), a.length, b, Len(b)); }
RtString operator+(const char* a, const RtString& b) { return Join(a, Len(a), b.Buffer(), b.length); }

RtString operator+(const RtString& a, int b) { NumberText t(b); return Join(a.Buffer(), a.length, t.text, t.length); }
RtString operator+(const RtString& a, float b) { return a + static_cast<double>(b); }
RtString operator+(const RtString& a, double b) { NumberText t(b); return Join(a.Buffer(), a.length, t.text, t.length); }
RtString operator+(int a, const RtString& b) { NumberText t(a); return Join(t.text, t.length, b.Buffer(), b.length); }
RtString operator+(float a, const RtString& b) { return static_cast<double>(a) + b; }
RtString operator+(double a, const RtString& b) { NumberText t(a); return Join(t.text, t.length, b.Buffer(), b.length); }

RtString Concat(const char* a, const char* b) { return Join(a, Len(a), b, Len(b)); }
RtString Concat(const char* a, int b) { NumberText t(b); return Join(a, Len(a), t.text, t.length); }
RtString Concat(const char* a, float b) { return Concat(a, static_cast<double>(b)); }
RtString Concat(const char* a, double b) { NumberText t(b); return Join(a, Len(a), t.text, t.length); }
RtString Concat(int a, const char* b) { NumberText t(a); return Join(t.text, t.length, b, Len(b)); }
RtString Concat(float a, const char* b) { return Concat(static_cast<double>(a), b); }
RtString Concat(double a, const char* b) { NumberText t(a); return Join(t.text, t.length, b, Len(b)); }

} // namespace corvane
