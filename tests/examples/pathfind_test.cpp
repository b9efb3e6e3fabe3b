// pathfind as a player sees it: a click on a cell, the path drawn to it, its cost.
// The map, the path and the cost are all read back from the screen, and the path is
// checked against a search of the test's own over the map it read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <queue>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/examples/example_run.h"

using namespace example_test;

namespace {

constexpr int kColumns = 20, kRows = 13, kCell = 32, kTop = 32, kStartX = 1, kStartY = 6;
using Cell = std::pair<int, int>;

// What a cell shows: its cost to enter (0 wall) as the search weighs it (the value
// over the largest value, plus 1: grey 1 -> 1.25, mud 4 -> 2), and what is drawn on
// its middle.
struct Board {
    double cost[kColumns][kRows] = {};
    std::set<Cell> green;                // the path's cells between the two ends
    std::set<Cell> blue, red;            // start, target
};

Board ReadBoard(const Image& screen) {
    Board b;
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x) {
            const int px = x * kCell, py = kTop + y * kCell;
            switch (screen.Pixel(px + 3, py + 3)) {            // the cell's own colour
                case 0xC0C0C0: b.cost[x][y] = 1.25; break;
                case 0x905830: b.cost[x][y] = 2; break;
                default: b.cost[x][y] = 0; break;
            }
            const std::uint32_t middle = screen.Pixel(px + 16, py + 16);
            if (middle == 0x00C000) b.green.insert({x, y});
            if (middle == 0x0000FF) b.blue.insert({x, y});
            if (middle == 0xFF0000) b.red.insert({x, y});
        }
    return b;
}

// The least cost from the start to every cell, moving in the four directions.
double LeastCost(const Board& b, Cell goal) {
    std::vector<double> best(kColumns * kRows, 1e300);
    std::priority_queue<std::pair<double, Cell>, std::vector<std::pair<double, Cell>>, std::greater<>> open;
    best[kStartY * kColumns + kStartX] = 0;
    open.push({0, {kStartX, kStartY}});
    while (!open.empty()) {
        auto [g, c] = open.top();
        open.pop();
        if (c == goal) return g;
        if (g > best[c.second * kColumns + c.first]) continue;
        for (auto [dx, dy] : {Cell{1, 0}, Cell{-1, 0}, Cell{0, 1}, Cell{0, -1}}) {
            const int nx = c.first + dx, ny = c.second + dy;
            if (nx < 0 || ny < 0 || nx >= kColumns || ny >= kRows || b.cost[nx][ny] == 0) continue;
            const double ng = g + b.cost[nx][ny];
            if (ng < best[ny * kColumns + nx]) {
                best[ny * kColumns + nx] = ng;
                open.push({ng, {nx, ny}});
            }
        }
    }
    return -1;
}

// Walks the drawn path from the start: every step to the one unvisited neighbour in
// the path; returns the cells in order (ending at the goal when the path is whole).
std::vector<Cell> WalkPath(const Board& b, Cell goal) {
    std::set<Cell> cells = b.green;
    cells.insert(goal);
    std::vector<Cell> walk = {{kStartX, kStartY}};
    while (walk.back() != goal) {
        std::vector<Cell> next;
        for (auto [dx, dy] : {Cell{1, 0}, Cell{-1, 0}, Cell{0, 1}, Cell{0, -1}}) {
            const Cell n{walk.back().first + dx, walk.back().second + dy};
            if (cells.count(n)) next.push_back(n);
        }
        if (next.size() != 1) break;     // a fork or a gap: not one path
        cells.erase(walk.back());
        cells.erase(next[0]);
        cells.insert(goal);
        walk.push_back(next[0]);
    }
    return walk;
}

struct ClickCase {
    const char* what;
    int cellX, cellY;
    bool reachable;
};

TEST(PathfindExample, ClickSetsTargetAndTheLeastCostPathIsDrawn) {
    if (!ExampleBuilt("pathfind")) GTEST_SKIP() << "examples not built";
    const ClickCase cases[] = {
        {"across the wall, round the room", 18, 6, true},
        {"through or round the mud", 3, 3, true},
        {"the far corner", 19, 12, true},
        {"a neighbour of the start", 1, 5, true},
        {"the closed room on the left", 4, 7, false},
        {"the closed room on the right", 15, 7, false},
        {"a wall", 8, 3, false},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.what);
        // A click before the last one proves the target follows the latest click.
        const std::string script = "3 click 300 400\n12 click " + std::to_string(c.cellX * kCell + 16) + " " +
                                   std::to_string(kTop + c.cellY * kCell + 16) + "\n";
        ExampleRun run = RunExample("pathfind", {}, script, 24);
        ASSERT_FALSE(run.process.timedOut) << run.process.output;
        ASSERT_EQ(0, run.process.exitStatus) << run.process.output;
        ASSERT_EQ(640, run.screen.width);
        const Board b = ReadBoard(run.screen);
        const std::string status = ScreenText(run.shotPath, 8, 8);
        const std::string where = "Target " + std::to_string(c.cellX) + "," + std::to_string(c.cellY) + ": ";
        ASSERT_EQ(where, status.substr(0, where.size())) << status;
        EXPECT_EQ((std::set<Cell>{{kStartX, kStartY}}), b.blue);
        EXPECT_EQ((std::set<Cell>{{c.cellX, c.cellY}}), b.red);
        if (!c.reachable) {
            EXPECT_EQ(where + "no path", status);
            EXPECT_TRUE(b.green.empty());
            continue;
        }
        int cells = 0;
        double cost = 0;
        ASSERT_EQ(2, std::sscanf(status.c_str() + where.size(), "%d cells, cost %lf", &cells, &cost)) << status;
        const std::vector<Cell> walk = WalkPath(b, {c.cellX, c.cellY});
        ASSERT_EQ((Cell{c.cellX, c.cellY}), walk.back()) << "the drawn path does not lead to the target";
        EXPECT_EQ(walk.size(), b.green.size() + 2) << "cells drawn off the path";
        EXPECT_EQ(int(walk.size()), cells);
        double walked = 0;
        for (size_t i = 1; i < walk.size(); ++i) walked += b.cost[walk[i].first][walk[i].second];
        EXPECT_NEAR(walked, cost, 1e-6) << "the cost shown is not the drawn path's";
        EXPECT_NEAR(LeastCost(b, {c.cellX, c.cellY}), cost, 1e-6) << "not the cheapest way";
    }
}

} // namespace

namespace {

// The hook refuses a script it cannot read, so a test cannot pass on input never given.
TEST(ExampleHook, ScriptItCannotReadEndsTheRunAsAFailure) {
    if (!ExampleBuilt("pathfind")) GTEST_SKIP() << "examples not built";
    const char* scripts[] = {"5 jump 1 2\n", "five click 1 2\n", "@x key A\n", "@10 shot a.ppm\n", "3 click 1\n"};
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        ExampleRun run = RunExample("pathfind", {}, script, 10);
        EXPECT_FALSE(run.process.timedOut);
        EXPECT_NE(0, run.process.exitStatus);
        EXPECT_NE(std::string::npos, run.process.output.find("cannot read")) << run.process.output;
    }
}

} // namespace
