// What a string's bytes cost and where they may be written: short texts in the
// record, longer ones in a block that always holds what was written, and index
// operations that stay inside the buffer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "runtime/values/values.h"

namespace corvane {
namespace {

std::string Text(const RtString& s) { return std::string(s.Buffer(), s.length); }

// Grown by appends of `piece` until `appended` bytes, then filled through
// BufferForWriting(n) with n bytes and a terminator: every byte promised is
// writable (the sanitizer build checks the block's edges) and the capacity is
// the step the writer asked for.
TEST(RtStringStorage, AppendsThenAFullWriteThroughTheBuffer) {
    struct Case { std::uint32_t appended, piece, n, capacity; };
    const Case cases[] = {
        {0, 1, 0, 4},         {3, 1, 3, 4},          {15, 5, 15, 512},   {16, 8, 16, 512},
        {511, 7, 511, 512},   {511, 1, 512, 1024},   {512, 8, 100, 1024},   {600, 3, 1023, 1024},
        {1023, 11, 1024, 1536}, {1100, 100, 2047, 2048}, {2000, 13, 5000, 5120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "appended " << c.appended << ", n " << c.n);
        RtString s;
        std::string ref;
        for (std::uint32_t i = 0; i < c.appended; i += c.piece) {
            const std::string piece(std::min(c.piece, c.appended - i), char('a' + i % 26));
            s += piece.c_str();
            ref += piece;
        }
        ASSERT_EQ(Text(s), ref);
        char* p = s.BufferForWriting(c.n);
        EXPECT_EQ(std::string(p, s.length), ref);   // the text survives the reservation
        std::memset(p, 'w', c.n);
        p[c.n] = 0;
        EXPECT_EQ(s.Recount(), c.n);
        EXPECT_EQ(s.capacity, c.capacity);
        EXPECT_EQ(Text(s), std::string(c.n, 'w'));
    }
}

// Texts on both sides of the inline size and of the first heap block, copied,
// moved, appended to themselves and assigned from inside themselves.
TEST(RtStringStorage, TextsAroundTheInlineSizeCopyMoveAndAppend) {
    for (std::size_t n : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 32u, 511u, 512u, 1500u}) {
        SCOPED_TRACE(n);
        const std::string ref(n, 'k');
        RtString a(ref.c_str());
        RtString copy(a);
        RtString moved(std::move(a));
        EXPECT_EQ(a.data, nullptr);
        EXPECT_EQ(a.capacity, 0u);
        EXPECT_EQ(Text(moved), ref);
        EXPECT_EQ(moved.capacity, (std::uint32_t(n) & ~511u) + 512u);
        a = std::move(copy);   // a destroyed value takes another's contents
        EXPECT_EQ(Text(a), ref);
        RtString assigned;
        assigned = a;
        assigned += assigned;
        EXPECT_EQ(Text(assigned), ref + ref);
        assigned += assigned.Buffer() + n;   // the second half, from inside itself
        EXPECT_EQ(Text(assigned), ref + ref + ref);
        assigned = assigned.Buffer() + 2 * n;
        EXPECT_EQ(Text(assigned), ref);
        RtString swapped("other");
        std::swap(swapped, a);
        EXPECT_EQ(Text(swapped), ref);
        EXPECT_EQ(Text(a), "other");
        EXPECT_EQ(Text(UpperCase(RtString(ref.c_str()))), std::string(n, 'K'));
    }
}

// Reads beyond the capacity give 0; writes and cuts there change nothing.
// Within the capacity, bytes past the text can be written and read back, also
// far beyond what the text needed so far.
TEST(RtStringStorage, IndexOperationsStayInsideTheBuffer) {
    struct Case { const char* text; std::uint32_t index; bool inside; };
    const std::string longText(700, 'L');
    const Case cases[] = {
        {"", 3, true},        {"", 4, false},            {"abc", 3, true},
        {"xyz", 5, false},     {"0123456789", 511, true}, {"0123456789", 512, false},
        {"0123456789", 400, true}, {"short", 0xFFFFFFFFu, false},
        {longText.c_str(), 1023, true}, {longText.c_str(), 1024, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "text of " << std::strlen(c.text) << ", index " << c.index);
        RtString s;
        if (*c.text) s = c.text;
        const std::string before = Text(s);
        const std::uint32_t capacity = s.capacity;
        if (!c.inside) {
            EXPECT_EQ(s.ByteAt(c.index), 0);
            s.SetByteAt(c.index, 'Q');
            EXPECT_EQ(s.ByteAt(c.index), 0);
            s.CutAt(c.index);
            EXPECT_EQ(Text(s), before);
            EXPECT_EQ(s.capacity, capacity);
            continue;
        }
        s.SetByteAt(c.index, char(0xC8));
        EXPECT_EQ(s.ByteAt(c.index), -56);
        EXPECT_EQ(s.capacity, capacity);
        if (c.index > before.size()) {
            EXPECT_EQ(Text(s), before);           // the text ends where it did
            EXPECT_EQ(s.Recount(), before.size());
            EXPECT_EQ(s.ByteAt(c.index - 1), 0);  // a byte never written
        }
        s.CutAt(c.index);
        EXPECT_EQ(s.ByteAt(c.index), 0);
        EXPECT_LE(s.length, before.size());
    }
}

// Overwriting every terminator with set byte leaves a text that still ends
// inside the buffer, below the capacity.
TEST(RtStringStorage, AFilledBufferStaysTerminated) {
    for (const char* text : {"", "ab", "a longer text than fits inline"}) {
        SCOPED_TRACE(text);
        RtString s;
        if (*text) s = text;
        for (std::uint32_t i = 0; i < s.capacity; ++i) s.SetByteAt(i, 'z');
        EXPECT_EQ(s.Recount(), s.capacity - 1);
        EXPECT_EQ(std::strlen(s.Buffer()), s.length);
        EXPECT_EQ(Text(s), std::string(s.capacity - 1, 'z'));
    }
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// In a child process: the resident memory gained while `build` holds its
// strings, reported on stderr; exit 0 when it stays under 64 MB, 2 when the
// strings came out wrong.
template <typename Build>
void MeasureInChild(Build build) {
    const long before = ResidentBytes();
    RtStringArray strings;
    if (!build(strings)) std::_Exit(2);
    const long grown = ResidentBytes() - before;
    std::fprintf(stderr, "grown %ld KB\n", grown / 1024);
    std::_Exit(grown < 64L * 1024 * 1024 ? 0 : 1);
}

TEST(RtStringStorage, AMillionShortTextsTakeLittleMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(MeasureInChild([](RtStringArray& pieces) {
                    std::string text;
                    for (int i = 0; i < 1000000; ++i) text += "a,";
                    const RtString source(text.c_str());
                    text = std::string();
                    return SplitText(source, pieces, ",") == 1000000.0 &&
                           Text(ArrayElement(pieces, 999999)) == "a";
                }),
                ::testing::ExitedWithCode(0), "grown");
    EXPECT_EXIT(MeasureInChild([](RtStringArray& names) {
                    DimArray(names, 1000000);
                    for (int i = 0; i < 1000000; ++i) ArrayElement(names, i) = "name_00042";
                    return Text(ArrayElement(names, 123456)) == "name_00042";
                }),
                ::testing::ExitedWithCode(0), "grown");
}

} // namespace
} // namespace corvane
