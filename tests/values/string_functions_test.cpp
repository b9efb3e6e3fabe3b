#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/values/values.h"

namespace corvane {
namespace {

std::string Text(const RtString& s) { return std::string(s.Buffer(), s.length); }

std::vector<std::string> Pieces(const RtStringArray& a, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(Text(a.elements[i]));
    return out;
}

TEST(StringSearch, FindTextAndSets) {
    EXPECT_EQ(FindText("hello", "lo"), 3.0);
    EXPECT_EQ(FindText("hello", ""), 0.0);
    EXPECT_EQ(FindText("hello", "x"), -1.0);
    EXPECT_EQ(FindText(RtString("abcabc"), RtString("ca")), 2.0);
    EXPECT_EQ(FindText(RtString("ab"), "abc"), -1.0);

    EXPECT_EQ(FindAnyOf(RtString("path/to\\x"), "\\/"), 4.0);
    EXPECT_EQ(FindAnyOf(RtString("abc"), "xyz"), -1.0);
    EXPECT_EQ(FindNotOf(RtString("   x "), " "), 3.0);
    EXPECT_EQ(FindNotOf(RtString("    "), " "), -1.0);
    EXPECT_EQ(FindAnyOf(RtString("a\xE9"), "\xE9"), 1.0);   // high bytes are members too

    EXPECT_EQ(StringLength(RtString("four")), 4.0);
    EXPECT_EQ(NumberTextLength(100.0), 3.0);
    EXPECT_EQ(NumberTextLength(-0.5), 4.0);
}

TEST(StringCase, AsciiOnlyAndCodes) {
    EXPECT_EQ(Text(UpperCase(RtString("Hello, w\xE9rld z"))), "HELLO, W\xE9RLD Z");
    EXPECT_EQ(Text(LowerCase(RtString("ABC@[\xC9"))), "abc@[\xC9");
    EXPECT_EQ(CharCode(RtString("\xE9" "a")), -23.0);
    EXPECT_EQ(CharCode(RtString("A")), 65.0);
    EXPECT_EQ(CharCode(RtString("")), 0.0);
    EXPECT_EQ(Text(CharFromCode(65.9)), "A");
    EXPECT_EQ(Text(CharFromCode(321)), "A");
    EXPECT_EQ(Text(CharFromCode(-191)), "A");
    EXPECT_EQ(CharFromCode(0).length, 0u);
    EXPECT_EQ(CharFromCode(256).length, 0u);
    EXPECT_EQ(Text(CharFromCode(233)), "\xE9");
}

TEST(StringFormat, FormatNumberAndHex) {
    EXPECT_EQ(Text(FormatNumber(8, 2, 3.14159)), "    3.14");
    char expected[16];
    std::snprintf(expected, sizeof expected, "%0.0f", 2.5);
    EXPECT_EQ(Text(FormatNumber(0, 0, 2.5)), expected);
    EXPECT_EQ(Text(FormatNumber(6.9, 1.9, -1.25)), "  -1.2");   // width 6, 1 decimal
    EXPECT_EQ(Text(FormatNumber(-6, 1, 2)), "2.0   ");          // negative width left-aligns
    // Oversized requests are bounded: the number is whole and the text fits.
    RtString wide = FormatNumber(100000, 2, 1.5);
    EXPECT_EQ(wide.length, 511u);
    EXPECT_EQ(Text(wide).substr(507), "1.50");
    RtString huge = FormatNumber(0, 1000, -1.0e308);
    EXPECT_LT(huge.length, 512u);
    EXPECT_EQ(Text(huge).substr(0, 4), "-100");
    EXPECT_EQ(Text(huge).substr(huge.length - 3), "000");
    EXPECT_EQ(Text(FormatNumber(4, -3, 7.6)), "   8");           // negative decimals count as 0

    const unsigned char bytes[] = {0x0F, 0xA0, 0x00, 0xFF};
    EXPECT_EQ(Text(HexText(bytes, 2)), "0FA0");
    EXPECT_EQ(Text(HexText(bytes, 4)), "0FA000FF");
    EXPECT_EQ(HexText(bytes, -1).length, 0u);
    EXPECT_EQ(Text(HexText(RtString("AB"), 100)), "4142");   // never past the string
}

TEST(StringPaths, ForwardSlashesInPlace) {
    RtString p("C:\\Games\\x");
    EXPECT_EQ(ForwardSlashes(p), 10.0);
    EXPECT_EQ(Text(p), "C:/Games/x");
}

TEST(StringWildcard, PatternsAgainstNames) {
    EXPECT_EQ(WildcardMatch("*.bmp", "FONT.BMP"), 1.0);
    EXPECT_EQ(WildcardMatch("?.txt", ".txt"), 0.0);
    EXPECT_EQ(WildcardMatch("?.txt", "a.txt"), 1.0);
    EXPECT_EQ(WildcardMatch("a*", ""), 0.0);
    EXPECT_EQ(WildcardMatch("*", ""), 1.0);
    EXPECT_EQ(WildcardMatch("", ""), 1.0);
    EXPECT_EQ(WildcardMatch("", "a"), 0.0);
    EXPECT_EQ(WildcardMatch("***", "abc"), 1.0);
    EXPECT_EQ(WildcardMatch("a*b*c", "aXbYbZc"), 1.0);
    EXPECT_EQ(WildcardMatch("a*b*c", "aXbYbZ"), 0.0);
    EXPECT_EQ(WildcardMatch("*.*", "noext"), 0.0);
    EXPECT_EQ(WildcardMatch("*a", "banana"), 1.0);     // backtracks past earlier a's
    EXPECT_EQ(WildcardMatch("*?", "."), 0.0);          // ? refuses the full stop after a star too
    EXPECT_EQ(WildcardMatch("*?", "x."), 0.0);
    EXPECT_EQ(WildcardMatch("a?c*", "ABCDEF"), 1.0);
    EXPECT_EQ(WildcardMatch("\xC9*", "\xE9x"), 0.0);   // only ASCII letters fold
}

TEST(StringMid, Clamping) {
    RtString h("hello");
    EXPECT_EQ(Text(MidText(h, 1, 3)), "ell");
    EXPECT_EQ(Text(MidText(h, 3, 10)), "lo");
    EXPECT_EQ(Text(MidText(h, 5, 1)), "");
    EXPECT_EQ(Text(MidText(h, -1, 3)), "");
    EXPECT_EQ(Text(MidText(h, 6, 1)), "");
    EXPECT_EQ(Text(MidText(h, 0, 0)), "");
    EXPECT_EQ(Text(MidText(h, 0, -2)), "");
    EXPECT_EQ(Text(MidText(h, 1.9, 2.9)), "el");
    EXPECT_EQ(Text(MidText(h, 0, 1e300)), "hello");
}

TEST(StringReplace, LeftToRightWithoutRescanning) {
    EXPECT_EQ(Text(ReplaceText(RtString("aXbXc"), "X", "YY")), "aYYbYYc");
    EXPECT_EQ(Text(ReplaceText(RtString("abc"), "b", "B")), "aBc");
    EXPECT_EQ(Text(ReplaceText(RtString("aaaa"), "aa", "a")), "aa");
    EXPECT_EQ(Text(ReplaceText(RtString("aaa"), "a", "aa")), "aaaaaa");
    EXPECT_EQ(Text(ReplaceText(RtString("abcabc"), "abc", "")), "");
    EXPECT_EQ(Text(ReplaceText(RtString("xabcx"), "abc", "")), "xx");
    EXPECT_EQ(Text(ReplaceText(RtString("aaa"), "aa", "bb")), "bba");   // same length, in place
    EXPECT_EQ(Text(ReplaceText(RtString("abc"), "", "Z")), "abc");      // an empty find matches nowhere
    EXPECT_EQ(Text(ReplaceText(RtString("ab"), "abc", "Z")), "ab");
    // A missing replacement is the empty text, as a missing text is elsewhere.
    EXPECT_EQ(Text(ReplaceText(RtString("abcb"), "b", nullptr)), "ac");
    EXPECT_EQ(Text(ReplaceText(RtString("x.y.z"), RtString("."), RtString("::"))), "x::y::z");
    // A result that crosses the 512-byte step.
    std::string big(600, 'q');
    EXPECT_EQ(Text(ReplaceText(RtString(big.c_str()), "q", "qq")), std::string(1200, 'q'));
}

TEST(StringSplit, PiecesWithoutEmptyOnes) {
    RtStringArray a;
    EXPECT_EQ(SplitText(RtString("a,,b,"), a, ","), 2.0);
    EXPECT_EQ(Pieces(a, 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(a.sizes[0], 2);

    EXPECT_EQ(SplitText(RtString("  one two  "), a, ", "), 2.0);
    EXPECT_EQ(Pieces(a, 2), (std::vector<std::string>{"one", "two"}));

    EXPECT_EQ(SplitText(RtString("solid"), a, ","), 1.0);
    EXPECT_EQ(Pieces(a, 1), (std::vector<std::string>{"solid"}));

    EXPECT_EQ(SplitText(RtString(",,,"), a, ","), 0.0);
    EXPECT_EQ(a.sizes[0], 0);
    EXPECT_EQ(SplitText(RtString(""), a, ","), 0.0);
    EXPECT_EQ(a.sizes[0], 0);
}

TEST(StringSplit, RefillingTheSameArray) {
    RtStringArray a;
    EXPECT_EQ(SplitText(RtString("a b c d e f g h i j"), a, " "), 10.0);
    EXPECT_EQ(SplitText(RtString("x y"), a, " "), 2.0);
    EXPECT_EQ(a.sizes[0], 2);
    EXPECT_EQ(Pieces(a, 2), (std::vector<std::string>{"x", "y"}));
    // The text to split may be one of the array's own elements.
    ArrayElement(a, 1) = "p,q,r";
    EXPECT_EQ(SplitText(ArrayElement(a, 1), a, ","), 3.0);
    EXPECT_EQ(Pieces(a, 3), (std::vector<std::string>{"p", "q", "r"}));
    DimArray(a, 40);
    ArrayElement(a, 39) = "long,enough,to,need,new,storage";
    EXPECT_EQ(SplitText(ArrayElement(a, 39), a, ","), 6.0);
    EXPECT_EQ(Pieces(a, 6), (std::vector<std::string>{"long", "enough", "to", "need", "new", "storage"}));
}

} // namespace
} // namespace corvane
