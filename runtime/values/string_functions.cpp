// The language's string functions: search, substrings, replacement, splitting,
// case, character codes, number formatting, hex text, slashes, wildcards.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <string.h>   // memmem

#include "runtime/values/rt_array_internal.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

// Truncation toward zero for counts and positions; NaN gives 0, huge values
// saturate far beyond any string length (yet two of them still add up safely).
std::int64_t TruncateCount(double d) {
    if (!(d == d)) return 0;
    if (d >= 4.0e18) return INT64_C(4000000000000000000);
    if (d <= -4.0e18) return -INT64_C(4000000000000000000);
    return static_cast<std::int64_t>(d);
}

inline const char* Safe(const char* s) { return s ? s : ""; }

struct ByteSet {
    bool member[256] = {};
    explicit ByteSet(const char* set) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(Safe(set)); *p; ++p)
            member[*p] = true;
    }
    bool operator[](char c) const { return member[static_cast<unsigned char>(c)]; }
};

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Next occurrence of find (f bytes, f > 0) in text[from, length), or -1.
std::int64_t FindFrom(const char* text, std::size_t length, std::size_t from, const char* find,
                      std::size_t f) {
    if (from > length) return -1;
#ifdef _WIN32
    // The Windows C library has no memmem.
    const std::size_t at = std::string_view(text + from, length - from).find(std::string_view(find, f));
    return at == std::string_view::npos ? -1 : static_cast<std::int64_t>(from + at);
#else
    const void* hit = memmem(text + from, length - from, find, f);
    return hit ? static_cast<const char*>(hit) - text : -1;
#endif
}

} // namespace

// ---------------------------------------------------------------- length and search

double StringLength(const RtString& s) { return s.length; }

double NumberTextLength(double value) { return RtString(value).length; }

double FindText(const char* text, const char* find) {
    const char* hit = std::strstr(Safe(text), Safe(find));
    return hit ? double(hit - Safe(text)) : -1.0;
}
double FindText(const RtString& text, const char* find) { return FindText(text.Buffer(), find); }
double FindText(const char* text, const RtString& find) { return FindText(text, find.Buffer()); }
double FindText(const RtString& text, const RtString& find) { return FindText(text.Buffer(), find.Buffer()); }

double FindAnyOf(const RtString& text, const char* set) {
    const ByteSet in(set);
    for (std::uint32_t i = 0; i < text.length; ++i)
        if (in[text.Buffer()[i]]) return i;
    return -1.0;
}

double FindNotOf(const RtString& text, const char* set) {
    const ByteSet in(set);
    for (std::uint32_t i = 0; i < text.length; ++i)
        if (!in[text.Buffer()[i]]) return i;
    return -1.0;
}

// ---------------------------------------------------------------- case and codes

RtString UpperCase(const RtString& s) {
    RtString out(s);
    for (std::uint32_t i = 0; i < out.length; ++i) out.data[i] = AsciiUpper(out.data[i]);
    return out;
}

RtString LowerCase(const RtString& s) {
    RtString out(s);
    for (std::uint32_t i = 0; i < out.length; ++i) out.data[i] = AsciiLower(out.data[i]);
    return out;
}

double CharCode(const RtString& s) {
    return s.length == 0 ? 0.0 : double(static_cast<signed char>(s.Buffer()[0]));
}

RtString CharFromCode(double code) {
    const char byte = static_cast<char>(static_cast<std::uint64_t>(TruncateCount(code)) & 0xFF);
    RtString out("");
    if (byte != 0) out.Assign(&byte, 1);
    return out;
}

// ---------------------------------------------------------------- formatting

// The width is held to -511..511 and the decimals to 0..99: the longest number
// a double prints with 99 decimals is 410 bytes, so the text always fits the
// 512-byte reservation whole; only padding beyond it is given up. A negative
// width left-aligns, as the printf pattern makes it.
RtString FormatNumber(double width, double decimals, double value) {
    const int w = static_cast<int>(std::clamp<std::int64_t>(TruncateCount(width), -511, 511));
    const int d = static_cast<int>(std::clamp<std::int64_t>(TruncateCount(decimals), 0, 99));
    char format[32];
    std::snprintf(format, sizeof format, "%%%d.%df", w, d);
    // Formatted aside, so the string holds the text and not the whole reservation.
    char text[512];
    const int n = std::snprintf(text, sizeof text, format, value);
    RtString out("");
    out.Reserve(512);
    out.Assign(text, std::uint32_t(std::clamp(n, 0, int(sizeof text) - 1)));
    return out;
}

RtString HexText(const void* bytes, double count) {
    static const char digits[] = "0123456789ABCDEF";
    const std::int64_t n = bytes ? TruncateCount(count) : 0;
    RtString out("");
    if (n <= 0) return out;
    if (n > 0x7FFFFEFF) return out;   // the text would not fit a string
    const auto* b = static_cast<const unsigned char*>(bytes);
    char* p = out.BufferForWriting(std::uint32_t(2 * n));
    for (std::int64_t i = 0; i < n; ++i) {
        p[2 * i] = digits[b[i] >> 4];
        p[2 * i + 1] = digits[b[i] & 15];
    }
    p[2 * n] = 0;
    out.length = std::uint32_t(2 * n);
    return out;
}

// A string holds no more than its length: a larger count would read past it.
RtString HexText(const RtString& bytes, double count) {
    const std::int64_t n = std::min<std::int64_t>(TruncateCount(count), bytes.length);
    return HexText(bytes.Buffer(), double(n));
}

double ForwardSlashes(RtString& s) {
    for (std::uint32_t i = 0; i < s.length; ++i)
        if (s.data[i] == '\\') s.data[i] = '/';
    return s.length;
}

// ---------------------------------------------------------------- wildcards

double WildcardMatch(const char* pattern, const char* name) {
    const char* p = Safe(pattern);
    const char* n = Safe(name);
    const char* starPattern = nullptr;   // just after the last star run
    const char* starName = nullptr;      // where that star's run currently ends
    while (*n) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return 1.0;          // a trailing star run takes the rest
            starPattern = p;
            starName = n;
            continue;
        }
        const bool match = *p && (*p == '?' ? *n != '.' : AsciiLower(*p) == AsciiLower(*n));
        if (match) {
            ++p;
            ++n;
        } else if (starPattern) {
            n = ++starName;               // the star swallows one byte more
            p = starPattern;
        } else {
            return 0.0;
        }
    }
    while (*p == '*') ++p;
    return *p ? 0.0 : 1.0;
}

// ---------------------------------------------------------------- substrings

RtString MidText(const RtString& s, double start, double count) {
    const std::int64_t length = s.length;
    const std::int64_t from = TruncateCount(start);
    std::int64_t n = TruncateCount(count);
    if (from + n > length) n = length - from;
    RtString out("");
    if (n <= 0 || from < 0 || from > length) return out;
    out.Assign(s.Buffer() + from, std::uint32_t(n));
    return out;
}

// Left to right over the original text, occurrences not overlapping: the search
// resumes right after each inserted replacement, so replacement bytes are never
// searched again. Built in one pass into a result reserved once.
RtString ReplaceText(const RtString& s, const char* find, const char* replacement) {
    replacement = Safe(replacement);
    const char* text = s.Buffer();
    const std::size_t length = s.length;
    const std::size_t f = std::strlen(Safe(find));
    const std::size_t r = std::strlen(Safe(replacement));
    if (f == 0 || f > length) return s;   // an empty text to find matches nowhere

    if (r == f) {
        RtString out(s);
        for (std::int64_t at = FindFrom(out.data, length, 0, find, f); at >= 0;
             at = FindFrom(out.data, length, std::size_t(at) + f, find, f)) {
            std::memcpy(out.data + at, replacement, r);
        }
        return out;
    }

    std::size_t hits = 0;
    for (std::int64_t at = FindFrom(text, length, 0, find, f); at >= 0;
         at = FindFrom(text, length, std::size_t(at) + f, find, f))
        ++hits;
    if (hits == 0) return s;

    const std::size_t total = length - hits * f + hits * r;
    if (total > 0xFFFFFDFFu) return s;   // the result could not be held; keep the text
    RtString out(static_cast<const char*>(nullptr));
    char* p = out.BufferForWriting(std::uint32_t(total));
    std::size_t from = 0, to = 0;
    for (std::int64_t at = FindFrom(text, length, 0, find, f); at >= 0;
         at = FindFrom(text, length, std::size_t(at) + f, find, f)) {
        const std::size_t keep = std::size_t(at) - from;
        std::memcpy(p + to, text + from, keep);
        to += keep;
        std::memcpy(p + to, replacement, r);
        to += r;
        from = std::size_t(at) + f;
    }
    std::memcpy(p + to, text + from, length - from);
    to += length - from;
    p[to] = 0;
    out.length = std::uint32_t(to);
    return out;
}

RtString ReplaceText(const RtString& s, const RtString& find, const RtString& replacement) {
    return ReplaceText(s, find.Buffer(), replacement.Buffer());
}

// ---------------------------------------------------------------- splitting

double SplitText(const RtString& source, RtStringArray& pieces, const char* delimiters) {
    // The text may be an element of the very array being filled; it is copied
    // before dimensioning would clear or free it.
    const bool inside = pieces.elements && &source >= pieces.elements &&
                        &source < pieces.elements + pieces.capacity;
    const RtString copy = inside ? source : RtString(static_cast<const char*>(nullptr));
    const RtString& text = inside ? copy : source;

    const ByteSet isDelimiter(delimiters);
    const char* t = text.Buffer();
    const std::uint32_t length = text.length;

    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < length;) {
        while (i < length && isDelimiter[t[i]]) ++i;
        if (i == length) break;
        ++count;
        while (i < length && !isDelimiter[t[i]]) ++i;
    }
    // The array ends dimensioned to the number of pieces, first size 0 when there
    // are none. Going through a first size of 0 on the way would only throw away
    // storage (and the strings' buffers) that the pieces can reuse.
    array_detail::DimArrayForFill(pieces, count);
    if (count == 0) return 0.0;

    std::uint32_t piece = 0;
    for (std::uint32_t i = 0; i < length;) {
        while (i < length && isDelimiter[t[i]]) ++i;
        if (i == length) break;
        const std::uint32_t start = i;
        while (i < length && !isDelimiter[t[i]]) ++i;
        // Each piece lands in its own buffer; fetching a few ahead keeps a long
        // split from waiting on memory for every piece.
        if (piece + 16 < count) __builtin_prefetch(pieces.elements[piece + 16].data, 1);
        pieces.elements[piece++].Assign(t + start, i - start);
    }
    return count;
}

} // namespace corvane
