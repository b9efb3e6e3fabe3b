#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "tests/support/engine_fixture.h"
#include "runtime/values/values.h"

namespace corvane {
namespace {

// A stop ends the process through the program end with status 1; the code it
// recorded is printed on the way out so that the parent can check it.
void PrintStopCode() { std::fprintf(stderr, "stop code %g\n", engine.errorCode); }

template <typename Fn>
void RunToStop(Fn fn) {
    std::atexit(PrintStopCode);
    fn();
    std::fprintf(stderr, "no stop\n");
    std::_Exit(3);
}

#define EXPECT_STOPS_WITH(code, statement)                                                 \
    EXPECT_EXIT(RunToStop([&] { statement; }), ::testing::ExitedWithCode(1), "stop code " #code)

class ArrayStops : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST(ArrayDim, CapacitiesAndInlineStore) {
    RtArray a;
    EXPECT_EQ(a.elements, nullptr);
    DimArray(a, 5);
    EXPECT_EQ(a.capacity, 8);
    EXPECT_EQ(a.dimensionCount, 1u);
    EXPECT_TRUE(a.UsesInlineStore());

    RtArray b;
    DimArray(b, 3, 4);
    EXPECT_EQ(b.capacity, 16);
    EXPECT_EQ(b.dimensionCount, 2u);
    EXPECT_TRUE(b.UsesInlineStore());
    EXPECT_EQ(b.strides[0], 3);
    EXPECT_EQ(b.strides[1], 12);

    RtArray c;
    DimArray(c, 4, 4);
    EXPECT_EQ(c.capacity, 24);
    EXPECT_FALSE(c.UsesInlineStore());

    RtArray d;
    DimArray(d, 2, 0, 3);   // the middle size counts as 1
    EXPECT_EQ(d.capacity, 8);
    EXPECT_EQ(d.dimensionCount, 3u);
    EXPECT_EQ(d.sizes[1], 0);

    RtArray e;
    DimArray(e, 0.5, 7);
    EXPECT_EQ(e.sizes[0], 0);
    EXPECT_EQ(e.capacity, 8);
}

TEST(ArrayDim, ElementsAreLaidOutFirstIndexFastest) {
    RtArray a;
    DimArray(a, 3, 4, 2);
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 3; ++i) ArrayElement(a, i, j, k) = i + 10 * j + 100 * k;
    for (int n = 0; n < 24; ++n) {
        const int i = n % 3, j = (n / 3) % 4, k = n / 12;
        EXPECT_EQ(a.elements[n], i + 10 * j + 100 * k);
    }
    // Fractional indices truncate toward zero.
    EXPECT_EQ(ArrayElement(a, 2.9, 3.5, 1.99), 2 + 30 + 100);
    EXPECT_EQ(ArrayElement(a, -0.5, 0, 0), 0.0);
}

TEST(ArrayDim, ZeroSizedMiddleDimensionsKeepElementsApart) {
    // Each zero size takes only index 0, yet the sizes around it still multiply.
    const std::vector<std::vector<double>> shapes = {
        {2, 0, 3}, {2, 3, 0, 2}, {2, 0, 0, 2}, {3, 0, 2, 0, 2}, {2, 2, 2, 2, 2, 2, 0, 2}};
    for (const auto& d : shapes) {
        RtArray a;
        DimArray(a, d[0], d[1], d[2], d.size() > 3 ? d[3] : 0, d.size() > 4 ? d[4] : 0, d.size() > 5 ? d[5] : 0,
                 d.size() > 6 ? d[6] : 0, d.size() > 7 ? d[7] : 0);
        // Every index tuple of the shape, first index fastest, gets its own number.
        std::vector<int> limit(8, 1), idx(8, 0);
        int total = 1;
        for (std::size_t k = 0; k < d.size(); ++k) total *= (limit[k] = d[k] > 0 ? int(d[k]) : 1);
        for (int pass = 0; pass < 2; ++pass) {
            for (int n = 0; n < total; ++n) {
                for (int k = 0, r = n; k < 8; ++k) idx[k] = r % limit[k], r /= limit[k];
                double& e = ArrayElement(a, idx[0], idx[1], idx[2], idx[3], idx[4], idx[5], idx[6], idx[7]);
                if (pass == 0) e = n + 1;
                else EXPECT_EQ(e, n + 1) << "shape " << d.size() << "-d, element " << n;
            }
        }
    }
}

TEST(ArrayDim, DimensioningAgainClearsEvenWhenStorageIsKept) {
    RtArray a;
    DimArray(a, 10, 10);   // capacity 104
    double* block = a.elements;
    ArrayElement(a, 9, 9) = 5;
    DimArray(a, 3);        // storage kept, all cleared
    EXPECT_EQ(a.elements, block);
    EXPECT_EQ(a.capacity, 104);
    EXPECT_EQ(a.dimensionCount, 1u);
    for (int i = 0; i < a.capacity; ++i) ASSERT_EQ(a.elements[i], 0.0) << i;

    RtStringArray s;
    DimArray(s, 20);
    ArrayElement(s, 3) = "kept?";
    RtString* strings = s.elements;
    DimArray(s, 5);
    EXPECT_EQ(s.elements, strings);
    EXPECT_STREQ(ArrayElement(s, 3).Buffer(), "");
    DimArray(s, 0);        // a first size below 1 always replaces the storage
    EXPECT_EQ(s.capacity, 8);
    EXPECT_EQ(s.elements[0].capacity, 4u);
}

TEST(ArrayCopy, CopyAndBound) {
    RtArray a, b;
    DimArray(a, 2, 3);
    ArrayElement(a, 1, 2) = 7.5;
    DimArray(b, 50);
    CopyArray(b, a);
    EXPECT_EQ(b.sizes[0], 2);
    EXPECT_EQ(b.sizes[1], 3);
    EXPECT_EQ(ArrayElement(b, 1, 2), 7.5);
    EXPECT_EQ(ArrayElement(b, 0, 0), 0.0);
    CopyArray(a, a);   // a copy onto itself keeps the data
    EXPECT_EQ(ArrayElement(a, 1, 2), 7.5);

    EXPECT_EQ(ArrayBound(a, 0), 2.0);
    EXPECT_EQ(ArrayBound(a, 1), 3.0);
    EXPECT_EQ(ArrayBound(a, 7), 0.0);
    EXPECT_EQ(ArrayBound(a, 8), 0.0);
    EXPECT_EQ(ArrayBound(a, -1), 0.0);
    EXPECT_EQ(ArrayBound(a, std::numeric_limits<double>::quiet_NaN()), 0.0);
}

TEST(ArrayRedim, KeepsTheOverlap) {
    RtArray a;
    DimArray(a, 3, 3);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) ArrayElement(a, i, j) = 1 + i + 3 * j;
    RedimArray(a, 2, 5);
    EXPECT_EQ(a.sizes[0], 2);
    EXPECT_EQ(a.sizes[1], 5);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(ArrayElement(a, i, j), j < 3 ? 1 + i + 3 * j : 0.0) << i << "," << j;

    // Heap to heap: the blocks are exchanged.
    RtArray h;
    DimArray(h, 10, 10);
    ArrayElement(h, 9, 9) = 99;
    ArrayElement(h, 4, 2) = 42;
    RedimArray(h, 20, 5);
    EXPECT_EQ(h.capacity, 104);
    EXPECT_EQ(ArrayElement(h, 4, 2), 42.0);
    EXPECT_EQ(ArrayElement(h, 19, 4), 0.0);

    // Shrinking to one dimension keeps the first column only.
    RedimArray(h, 6);
    EXPECT_EQ(h.dimensionCount, 1u);
    EXPECT_EQ(ArrayElement(h, 4), 0.0);
    RtArray g;
    DimArray(g, 3, 2);
    ArrayElement(g, 2, 0) = 8;
    ArrayElement(g, 2, 1) = 9;
    RedimArray(g, 3);
    EXPECT_EQ(ArrayElement(g, 2), 8.0);
}

TEST(ArrayStrings, ElementsAreStrings) {
    RtStringArray s;
    DimArray(s, 2, 2);
    ArrayElement(s, 1, 1) = "corner";
    ArrayElement(s, 0, 1) += 12.5;
    EXPECT_STREQ(s.elements[3].Buffer(), "corner");
    EXPECT_STREQ(s.elements[2].Buffer(), "12.5");
    EXPECT_EQ(ArrayBound(s, 1), 2.0);
}

TEST_F(ArrayStops, AccessErrorsRecordTheirCodes) {
    EXPECT_STOPS_WITH(8, { RtArray a; ArrayElement(a, 0); });
    EXPECT_STOPS_WITH(8, { RtArray a; DimArray(a, 0.5); ArrayElement(a, 0); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 5); ArrayElement(a, 5); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 5); ArrayElement(a, -1); });
    // A negative index stops even on a dimension the array does not use.
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 5); ArrayElement(a, 0, 0, 0, 0, 0, 0, 0, -1); });
    // A non-zero index on a dimension of size 0 is refused.
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 5); ArrayElement(a, 0, 1); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 2, 0, 3); ArrayElement(a, 1, 1, 2); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 3, 4); ArrayElement(a, 0, 4); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 3); ArrayElement(a, std::nan("")); });
    EXPECT_STOPS_WITH(9, { RtArray a; DimArray(a, 3); ArrayElement(a, 1e300); });
    EXPECT_STOPS_WITH(8, { RtStringArray s; ArrayElement(s, 0); });
    EXPECT_STOPS_WITH(9, { RtStringArray s; DimArray(s, 2); ArrayElement(s, 2); });
}

TEST_F(ArrayStops, StorageThatCannotBeHadStopsWithSeven) {
    // 2^16 x 2^16 elements do not fit a 32-bit element count.
    EXPECT_STOPS_WITH(7, { RtArray a; DimArray(a, 65536, 65536); });
    EXPECT_STOPS_WITH(7, { RtStringArray s; DimArray(s, 65536, 65536); });
}

TEST_F(ArrayStops, DebugBuildWritesTheStopRecord) {
    // The child re-runs this body, so it must find the directory the parent made
    // rather than make its own: the name travels in the environment.
    std::string dir;
    if (const char* inherited = std::getenv("VALUES_STOP_LOG_DIR")) {
        dir = inherited;
    } else {
        char pattern[] = "/tmp/values_stop_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("VALUES_STOP_LOG_DIR", dir.c_str(), 1);
    }
    const std::string savedTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", dir.c_str(), 1);
    EXPECT_EXIT(
        {
            engine.debugMode = 1;
            SetSourcePosition(2, 17);
            RtArray a;
            DimArray(a, 3);
            ArrayElement(a, 3);
        },
        ::testing::ExitedWithCode(1), "stopped: array index out of range \\(error 9\\) at line 17 of source file 2");
    unsetenv("VALUES_STOP_LOG_DIR");
    if (savedTmp.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", savedTmp.c_str(), 1);

    // The child never started the engine, so its log carries the executable's name.
    const std::vector<std::string> lines = testing::ErrorLogLines(dir + "/", "test_values");
    const std::vector<std::string> expected = {
        "stopped: array index out of range (error 9) at line 17 of source file 2", "-End On Line", "9", "16", "17", "2"};
    EXPECT_EQ(lines, expected);
    std::remove((dir + "/test_values.log").c_str());
    rmdir(dir.c_str());
}

} // namespace
} // namespace corvane
