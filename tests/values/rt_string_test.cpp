#include "runtime/values/rt_string.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace corvane {
namespace {

std::string Text(const RtString& s) { return std::string(s.Buffer(), s.length); }

TEST(RtStringCapacity, DefaultGrowsOnlyWhenTheFourthByteArrives) {
    RtString s;
    EXPECT_EQ(s.capacity, 4u);
    EXPECT_EQ(s.length, 0u);
    EXPECT_STREQ(s.Buffer(), "");
    s += "abc";
    EXPECT_EQ(s.capacity, 4u);
    s += "d";
    EXPECT_EQ(s.capacity, 512u);
    EXPECT_EQ(Text(s), "abcd");
}

TEST(RtStringCapacity, ReservingTheCapacityGrowsButOneLessDoesNot) {
    RtString s("x");
    ASSERT_EQ(s.capacity, 512u);
    s.Reserve(511);
    EXPECT_EQ(s.capacity, 512u);
    s.Reserve(512);
    EXPECT_EQ(s.capacity, 1024u);
    EXPECT_EQ(Text(s), "x");   // contents survive the move
}

TEST(RtStringCapacity, TextsAtTheStepBoundary) {
    std::string t511(511, 'a'), t512(512, 'b');
    RtString a(t511.c_str()), b(t512.c_str());
    EXPECT_EQ(a.capacity, 512u);
    EXPECT_EQ(b.capacity, 1024u);
    EXPECT_EQ(Text(a), t511);
    EXPECT_EQ(Text(b), t512);
    // A number always lands in a 512 buffer; assigning one never shrinks.
    EXPECT_EQ(RtString(7).capacity, 512u);
    b = 3.0;
    EXPECT_EQ(b.capacity, 1024u);
    EXPECT_EQ(Text(b), "3");
}

TEST(RtStringNumberText, DoublesFloatsAndInts) {
    EXPECT_EQ(Text(RtString(100.0)), "100");
    EXPECT_EQ(Text(RtString(-0.5)), "-0.5");
    EXPECT_EQ(Text(RtString(12345.678)), "12345.678");
    EXPECT_EQ(Text(RtString(0.1f)), "0.1000000015");
    EXPECT_EQ(Text(RtString(-42)), "-42");
    EXPECT_EQ(Text(RtString(1.0 / 3.0)), "0.3333333333");
    EXPECT_EQ(Text(RtString(2.5)), "2.5");
    EXPECT_EQ(Text(RtString(-7.0)), "-7");
    EXPECT_EQ(Text(RtString(1234567890.0)), "1234567890");
    // Beyond 10 digits the text switches to exponent form, still without
    // trailing zeros or a trailing point.
    EXPECT_EQ(Text(RtString(12345678901.0)), "1.23456789e+10");
    EXPECT_EQ(Text(RtString(0.0)), "0");
}

TEST(RtStringNumberText, TheStatusLineRoad) {
    RtString name("yoshi1.it");
    RtString line = "PLAY: " + name + " returns: " + 1.0;
    EXPECT_EQ(Text(line), "PLAY: yoshi1.it returns: 1");
    EXPECT_EQ(Text(Concat(3, " apples")), "3 apples");
    EXPECT_EQ(Text(Concat("n=", 0.25f)), "n=0.25");
    EXPECT_EQ(Text(2.5 + RtString("x")), "2.5x");
    EXPECT_EQ(Text(RtString("x") + -1), "x-1");
    RtString s("a");
    s += 10;
    s += 0.5;
    EXPECT_EQ(Text(s), "a100.5");
}

TEST(RtStringCompare, TextsAndNumbers) {
    RtString ten("10");
    EXPECT_EQ(ten == 10.0, 1.0);
    EXPECT_EQ(ten == 10, 1.0);
    EXPECT_EQ(ten == RtString("10.0"), 0.0);
    EXPECT_EQ(ten == "10.0", 0.0);
    EXPECT_EQ(TextEqual("10", "10.0"), 0.0);
    EXPECT_EQ(TextEqual("10", 10.0), 1.0);
    EXPECT_EQ(RtString("abc") == 0.0, 1.0);
    EXPECT_EQ(9.5 < ten, 1.0);
    EXPECT_EQ(ten >= 10.5f, 0.0);
    // Bytes compare unsigned: 0xE9 orders after 'z'.
    EXPECT_EQ(RtString("\xE9") > "z", 1.0);
    EXPECT_EQ(RtString("ab") < RtString("abc"), 1.0);
    EXPECT_EQ(TextLessEqual("b", "a"), 0.0);
    EXPECT_EQ(RtString("  -3x") .Value(), -3.0);
}

TEST(RtStringValue, OnlyADecimalPrefixCounts) {
    EXPECT_EQ(TextValue(" \t+2.5e1z"), 25.0);
    EXPECT_EQ(TextValue("-.5"), -0.5);
    EXPECT_EQ(TextValue("7."), 7.0);
    EXPECT_EQ(TextValue("1e"), 1.0);
    // Hexadecimal, infinity and NaN spellings are not decimal numbers: the
    // prefix is the 0 before the x, or there is none at all.
    EXPECT_EQ(TextValue("0x1A"), 0.0);
    EXPECT_EQ(TextValue(" -0X10"), 0.0);
    EXPECT_EQ(TextValue("inf"), 0.0);
    EXPECT_EQ(TextValue("-Infinity"), 0.0);
    EXPECT_EQ(TextValue("nan"), 0.0);
    EXPECT_EQ(TextValue("."), 0.0);
    EXPECT_EQ(RtString("nan") == 0.0, 1.0);
    EXPECT_EQ(RtString("0x10") < 1.0, 1.0);
}

TEST(RtStringCompare, NaNIsUnorderedOnEverySide) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    RtString one("1");
    EXPECT_EQ(one == nan, 0.0);
    EXPECT_EQ(one != nan, 1.0);
    EXPECT_EQ(one < nan, 0.0);
    EXPECT_EQ(one >= nan, 0.0);
    EXPECT_EQ(nan == one, 0.0);
    EXPECT_EQ(nan != one, 1.0);
    EXPECT_EQ(nan > one, 0.0);
    EXPECT_EQ(TextEqual("1", nan), 0.0);
    EXPECT_EQ(TextNotEqual(nan, "1"), 1.0);
    EXPECT_EQ(one.Compare3(nan), 0);
    EXPECT_EQ(one.Compare3(0.5), 1);
    EXPECT_EQ(one.Compare3(2.0), -1);
    EXPECT_EQ(one.Compare3(1.0), 0);
}

TEST(RtStringCompare, EqualBytesWithUnequalCachedLengthsDiffer) {
    RtString a("ab"), b("a");
    a.SetByteAt(1, 0);   // terminator written, no recount
    EXPECT_EQ(a.length, 2u);
    EXPECT_EQ(a == b, 0.0);
    EXPECT_EQ(a != b, 1.0);
    EXPECT_EQ(a == "a", 1.0);   // against a plain text only the bytes count
    EXPECT_EQ(a.RawCompare("a"), 0);
    EXPECT_EQ(a.Recount(), 1u);
    EXPECT_EQ(a == b, 1.0);
}

TEST(RtStringAccess, BytesCutAndWriteBuffer) {
    RtString s("A\xC8z");
    EXPECT_EQ(s.ByteAt(1), -56);
    EXPECT_EQ(s.ByteAt(0), 65);
    s.SetByteAt(2, 'q');
    EXPECT_EQ(Text(s), "A\xC8q");
    s.CutAt(1);
    EXPECT_EQ(s.length, 1u);
    EXPECT_EQ(Text(s), "A");

    char* p = s.BufferForWriting(1024);
    EXPECT_EQ(s.capacity, 1536u);
    EXPECT_STREQ(p, "A");   // contents kept across the reservation
    std::strcpy(p, "filled by a system call");
    EXPECT_EQ(s.Recount(), 23u);
    EXPECT_EQ(Text(s), "filled by a system call");
}

TEST(RtStringLifecycle, CopiesAreDeepAndDestroyIsIdempotent) {
    RtString a("hello");
    RtString b(a);
    b.SetByteAt(0, 'J');
    EXPECT_EQ(Text(a), "hello");
    a = b;
    EXPECT_EQ(Text(a), "Jello");
    a = a;   // self-assignment leaves the text alone
    EXPECT_EQ(Text(a), "Jello");
    a.Destroy();
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.capacity, 0u);
    a.Destroy();
    EXPECT_STREQ(a.Buffer(), "");
    a += "again";   // a destroyed value can be used again
    EXPECT_EQ(Text(a), "again");
}

TEST(RtStringAppend, SelfAppendSurvivesReallocation) {
    std::string t(300, 'x');
    RtString s(t.c_str());
    s += s;   // 600 bytes: grows from 512 to 1024 while reading itself
    EXPECT_EQ(Text(s), t + t);
    RtString u(t.c_str());
    u += u.Buffer();   // the plain text lies inside the buffer being replaced
    EXPECT_EQ(Text(u), t + t);
    u = u.Buffer() + 100;   // assignment from inside itself
    EXPECT_EQ(Text(u), std::string(500, 'x'));
}

TEST(RtStringAppend, PlainTextUsesTheCachedEnd) {
    // A value whose bytes hold an early terminator but whose cached length is
    // longer: the append lands after the cached length, not at the terminator.
    RtString s("abcd");
    s.SetByteAt(1, 0);
    s += "Z";
    EXPECT_EQ(s.length, 5u);
    EXPECT_EQ(std::memcmp(s.Buffer(), "a\0cdZ", 6), 0);
}

TEST(RtStringAppend, LoopGrowsInSteps) {
    RtString s;
    std::string ref;
    std::uint32_t reallocations = 0, last = s.capacity;
    for (int i = 0; i < 10000; ++i) {
        s += "12345678";
        ref += "12345678";
        if (s.capacity != last) { ++reallocations; last = s.capacity; }
    }
    EXPECT_EQ(Text(s), ref);
    EXPECT_EQ(s.capacity, (80000u & ~511u) + 512u);
    EXPECT_LE(reallocations, 80000u / 512u + 2u);
}

} // namespace
} // namespace corvane

namespace {

TEST(RtStringWithStd, ConvertsBothWaysKeepingEveryByte) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"short", "hero.png"},
        {"past the inline buffer", std::string(600, 'x') + "end"},
        {"a NUL inside", "a\0b"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const corvane::RtString fromString(c.bytes), fromView{std::string_view(c.bytes)};
        for (const corvane::RtString* s : {&fromString, &fromView}) {
            EXPECT_EQ(s->length, c.bytes.size());
            EXPECT_EQ(std::string_view(*s), c.bytes);
            EXPECT_EQ(s->Str(), c.bytes);
            EXPECT_EQ(std::string(*s), c.bytes);
            EXPECT_EQ(s->c_str(), s->Buffer());
            EXPECT_EQ(s->c_str()[s->length], '\0');
        }
    }
}

} // namespace
