// FindPath over language arrays: the map in, the [n][2] point array out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "runtime/path/path.h"
#include "runtime/values/values.h"
#include "tests/path/reference_planner.h"

namespace corvane {
namespace {

using Points = std::vector<std::pair<int, int>>;

void FillMap(RtArray& map, int w, int h, const std::vector<double>& values) {
    DimArray(map, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ArrayElement(map, x, y) = values[std::size_t(y) * w + x];
}

Points ReadPath(RtArray& path, double n) {
    Points points;
    EXPECT_EQ(path.sizes[0], int(n));
    if (n > 0) {
        EXPECT_EQ(path.sizes[1], 2);
    }
    for (int i = 0; i < int(n); ++i)
        points.emplace_back(int(ArrayElement(path, i, 0)), int(ArrayElement(path, i, 1)));
    return points;
}

void ExpectNoPath(const RtArray& path) {
    for (int k = 0; k < 8; ++k) EXPECT_EQ(path.sizes[k], 0) << "dimension " << k;
}

TEST(FindPath, ARowOfThreeGivesThreePointsFromStartToGoal) {
    RtArray map, path;
    FillMap(map, 3, 1, {1, 1, 1});
    const double n = FindPath(map, path, 0.5, 0, 0, 2, 0);
    EXPECT_EQ(n, 3.0);
    EXPECT_EQ(ReadPath(path, n), (Points{{0, 0}, {1, 0}, {2, 0}}));

    // Backwards, and with coordinates truncated toward zero.
    const double back = FindPath(map, path, 0.5, 2.9, 0.7, 0.2, -0.9);
    EXPECT_EQ(ReadPath(path, back), (Points{{2, 0}, {1, 0}, {0, 0}}));
}

TEST(FindPath, OneDimensionalMapIsOneRow) {
    RtArray map, path;
    DimArray(map, 4);
    for (int x = 0; x < 4; ++x) ArrayElement(map, x) = 3;
    EXPECT_EQ(FindPath(map, path, 0.5, 0, 0, 3, 0), 4.0);
}

TEST(FindPath, NeverStepsDiagonally) {
    RtArray map, path;
    FillMap(map, 2, 2, {1, 1, 1, 1});
    const double n = FindPath(map, path, 0.5, 0, 0, 1, 1);
    ASSERT_EQ(n, 3.0);
    const Points p = ReadPath(path, n);
    EXPECT_EQ(p.front(), std::make_pair(0, 0));
    EXPECT_EQ(p.back(), std::make_pair(1, 1));
    EXPECT_EQ(p[1], std::make_pair(1, 0));  // the row above is tried before the row below
}

TEST(FindPath, GoesAroundWallsAndScalesOfCostDoNotMatter) {
    // 5 x 4 with a wall across the middle but for its right end.
    const std::vector<double> ones = {
        1, 1, 1, 1, 1,
        0, 0, 0, 0, 1,
        1, 1, 1, 1, 1,
        1, 1, 1, 1, 1,
    };
    std::vector<double> fives = ones;
    for (double& v : fives) v *= 5;
    RtArray a, b, pa, pb;
    FillMap(a, 5, 4, ones);
    FillMap(b, 5, 4, fives);
    const double n = FindPath(a, pa, 0.5, 0, 0, 0, 3);
    ASSERT_EQ(n, 12.0);  // eleven steps round the end of the wall
    EXPECT_EQ(FindPath(b, pb, 0.5, 0, 0, 0, 3), n);
    EXPECT_EQ(ReadPath(pa, n), ReadPath(pb, n));
    const Points p = ReadPath(pa, n);
    for (const auto& [x, y] : p) EXPECT_FALSE(y == 1 && x < 4) << x << "," << y;
}

// Through an expensive middle row, or around it over the cheap top row.
TEST(FindPath, WeightIsClampedAndNaNCountsAsOne) {
    const std::vector<double> values = {
        1, 1, 1, 1, 1, 1, 1,
        1, 9, 9, 9, 9, 9, 1,
        1, 1, 1, 9, 1, 1, 1,
    };
    RtArray map, path;
    FillMap(map, 7, 3, values);
    auto points = [&](double weight) { return ReadPath(path, FindPath(map, path, weight, 0, 1, 6, 1)); };
    const Points greedy = points(1), uniform = points(0);
    ASSERT_NE(greedy, uniform);  // otherwise the map cannot tell the weights apart
    EXPECT_EQ(greedy.size(), 7u);
    EXPECT_EQ(uniform.size(), 9u);
    EXPECT_EQ(points(2), greedy);
    EXPECT_EQ(points(1e300), greedy);
    EXPECT_EQ(points(std::numeric_limits<double>::quiet_NaN()), greedy);
    EXPECT_EQ(points(-1), uniform);
    EXPECT_EQ(points(-std::numeric_limits<double>::infinity()), uniform);
}

TEST(FindPath, NoPathLeavesAnEmptyArrayAndZero) {
    RtArray map, path;
    FillMap(map, 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 0});
    FindPath(map, path, 0.5, 0, 0, 2, 0);  // path holds something first
    ASSERT_GT(path.sizes[0], 0);

    EXPECT_EQ(FindPath(map, path, 0.5, 1, 1, 1, 1), 0.0);  // start = goal
    ExpectNoPath(path);
    EXPECT_EQ(FindPath(map, path, 0.5, 0, 0, 2, 2), 0.0);  // blocked goal
    ExpectNoPath(path);
    EXPECT_EQ(FindPath(map, path, 0.5, 0, 0, 3, 0), 0.0);  // outside
    EXPECT_EQ(FindPath(map, path, 0.5, -1, 0, 2, 0), 0.0);
    EXPECT_EQ(FindPath(map, path, 0.5, 0, 0, 1e12, 0), 0.0);
    EXPECT_EQ(FindPath(map, path, 0.5, std::nan(""), 0, 2, 0), 0.0);
    ExpectNoPath(path);

    RtArray walled, none;
    FillMap(walled, 3, 3, {1, 0, 1, 0, 0, 1, 1, 1, 1});  // start boxed in
    EXPECT_EQ(FindPath(walled, path, 0.5, 0, 0, 2, 2), 0.0);
    ExpectNoPath(path);
    EXPECT_EQ(FindPath(none, path, 0.5, 0, 0, 1, 0), 0.0);  // map never dimensioned
    ExpectNoPath(path);
}

TEST(FindPath, TheMapMayAlsoReceiveThePath) {
    RtArray map;
    FillMap(map, 4, 1, {1, 1, 1, 1});
    const double n = FindPath(map, map, 0.5, 0, 0, 3, 0);
    ASSERT_EQ(n, 4.0);
    EXPECT_EQ(ReadPath(map, n), (Points{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
}

// FindPath gives what the plain sorted-list planner gives, through the arrays.
TEST(FindPath, AgreesWithThePlainPlanner) {
    std::mt19937 rng(31);
    for (int i = 0; i < 60; ++i) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 40);
        std::vector<double> values(std::size_t(w) * h);
        for (double& v : values) v = rng() % 4 == 0 ? 0.0 : 1.0 + rng() % 3;
        RtArray map, path;
        FillMap(map, w, h, values);
        const double weight = (rng() % 5) * 0.25;
        const int sx = int(rng() % w), sy = int(rng() % h), gx = int(rng() % w), gy = int(rng() % h);
        PlannerConfig c;
        c.startX = sx, c.startY = sy, c.goalX = gx, c.goalY = gy;
        c.weight = float(weight);
        c.width = w, c.height = h;
        c.map = values.data();
        const Points expected = testing::ReferencePath(c);
        const double n = FindPath(map, path, weight, sx, sy, gx, gy);
        EXPECT_EQ(ReadPath(path, n), expected) << "case " << i;
    }
}

// Reading the emptied path array is an access to an array of first size 0.
void PrintStopCode() { std::fprintf(stderr, "stop code %g\n", engine.errorCode); }

void ReadEmptiedPath() {
    std::atexit(PrintStopCode);
    RtArray map, path;
    FillMap(map, 2, 1, {1, 0});
    FindPath(map, path, 0.5, 0, 0, 1, 0);
    ArrayElement(path, 0, 0);
    std::_Exit(3);
}

TEST(FindPathStops, ReadingAnEmptyResultStopsWithError8) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ReadEmptiedPath(), ::testing::ExitedWithCode(1), "stop code 8");
}

}  // namespace
}  // namespace corvane
