// RtString: the runtime's one string value. An owned, NUL-terminated byte buffer
// with a capacity and a cached length; numbers convert to text with 10
// significant digits and no trailing point.
//
// With C and C++ text: c_str() (or Buffer()) gives the bytes as a NUL-terminated
// const char*, valid until the string changes; an RtString converts by itself to
// std::string_view, and std::string(text) or text.Str() copies it; it is made from a
// const char*, a std::string or a std::string_view (all bytes, NULs included). The
// commands that give file or folder names return RtString (ProgramDirectory,
// GetCurrentDir, FileDialog, ...); only ErrorLogPath, which lies below the string
// value, gives a std::string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The capacity follows fixed 512-byte steps that programs can observe; the
// memory behind the text does not. Texts of up to 15 bytes live in the record
// itself, longer ones in a heap block sized to what was written (growing
// geometrically), so a short text costs the 32-byte record and nothing more.
class RtString {
public:
    static constexpr std::uint32_t kInlineBytes = 16;

    char* data = nullptr;          // the bytes, NUL-terminated: `small` or an owned heap block
    std::uint32_t capacity = 0;    // bytes the text may grow to (4, then steps of 512)
    std::uint32_t length = 0;      // bytes before the terminator, cached

    // ---- construction and destruction
    RtString();                                    // empty text, capacity 4
    RtString(const char* text);                    // copy of a plain text (null = empty)
    RtString(std::string_view text);               // copy of the bytes
    RtString(const std::string& text);             // copy of the bytes
    RtString(const RtString& other);               // copy of other's length bytes
    RtString(RtString&& other) noexcept;           // takes other's buffer; other becomes empty
    explicit RtString(int value);                  // decimal text
    explicit RtString(float value);                // widened, then as double
    explicit RtString(double value);               // 10 significant digits, no trailing point
    ~RtString();                                   // frees the buffer; idempotent
    void Destroy();                                // frees the buffer, fields zeroed

    void Reserve(std::uint32_t n);                 // capacity (n & ~511) + 512 unless n < capacity

    // ---- assignment and append
    RtString& operator=(const char* text);
    RtString& operator=(const RtString& other);
    RtString& operator=(RtString&& other) noexcept;
    RtString& operator=(int value);
    RtString& operator=(float value);
    RtString& operator=(double value);
    RtString& Assign(const char* bytes, std::uint32_t count); // exactly count bytes, then a terminator
    RtString& operator+=(const char* text);
    RtString& operator+=(const RtString& other);
    RtString& operator+=(int value);
    RtString& operator+=(float value);
    RtString& operator+=(double value);

    // ---- access
    const char* Buffer() const { return data ? data : ""; } // read-only bytes ("" once destroyed)
    const char* c_str() const { return Buffer(); } // the same, as std::string names it
    operator std::string_view() const { return {Buffer(), length}; } // a view of the bytes, valid until the string changes
    std::string Str() const { return std::string(Buffer(), length); } // a copy as std::string
    char* BufferForWriting(std::uint32_t n);       // Reserve(n), then the buffer for a system call to fill
    std::uint32_t Recount();                       // length from the terminator
    signed char ByteAt(std::uint32_t index) const; // signed byte (-128..127)
    void SetByteAt(std::uint32_t index, char byte);// length unchanged
    void CutAt(std::uint32_t index);               // terminator at index, then recount
    double Value() const;                          // the leading decimal number, 0 when none
    int Compare3(double number) const;             // -1, 0, 1 of Value() against number (0 when unordered)
    int RawCompare(const char* text) const;        // strcmp result

private:
    // Bytes behind data: the inline buffer's size, or the heap block's. The last
    // byte of the block is always 0, so a scan for the terminator ends inside it.
    std::uint32_t Block() const { return data == small ? kInlineBytes : heapBlock; }
    void Hold(std::size_t bytes, bool zeroNew = false) { // the block holds at least bytes
        if (!data || bytes > Block()) Grow(bytes, zeroNew);
    }
    void Grow(std::size_t bytes, bool zeroNew);         // a larger block, or the first one
    void TakeFrom(RtString& other) noexcept;            // other's contents; other ends destroyed

    union {
        char small[kInlineBytes];  // the text itself while it fits
        std::uint32_t heapBlock;   // size of the heap block otherwise
    };
};

// Concatenation: the left operand copied or converted first, the right appended.
RtString operator+(const RtString& a, const RtString& b);
RtString operator+(const RtString& a, const char* b);
RtString operator+(const char* a, const RtString& b);
RtString operator+(const RtString& a, int b);
RtString operator+(const RtString& a, float b);
RtString operator+(const RtString& a, double b);
RtString operator+(int a, const RtString& b);
RtString operator+(float a, const RtString& b);
RtString operator+(double a, const RtString& b);
RtString Concat(const char* a, const char* b);     // plain text + plain text
RtString Concat(const char* a, int b);             // plain text + number
RtString Concat(const char* a, float b);
RtString Concat(const char* a, double b);
RtString Concat(int a, const char* b);             // number + plain text
RtString Concat(float a, const char* b);
RtString Concat(double a, const char* b);

double TextValue(const char* text);                // the same for a plain text (null = 0)

// Text comparisons (1.0 true, 0.0 false) and text-with-number comparisons are
// declared in the same header by the values library: see rt_string_compare.h.

} // namespace corvane

#include "runtime/values/rt_string_compare.h"
