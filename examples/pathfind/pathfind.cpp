// pathfind: a grid map drawn with rectangles; a click sets the target, and the A*
// path from the start (blue) to the target (red) is drawn with its cost.
// Grey cells hold 1, brown mud 4, dark walls 0 (blocked). The search weighs a cell as
// its value / the largest value + 1, so a step costs 1.25 on grey and 2 in mud; the
// cost shown is the path's in those terms, the cost the search made least.
#include <corvane/corvane.h>

#include "../common/example_hook.h"

namespace corvane {
namespace {

constexpr int kColumns = 20, kRows = 13, kCell = 32, kTop = 32;  // the grid below the status line
constexpr int kStartX = 1, kStartY = 6;
constexpr double kMudCost = 4;

const char* const kMap[kRows] = {
    "....................",
    "..#######.....~~~...",
    "........#.....~~~...",
    "..~~....#....#####..",
    "..~~....#...........",
    "........#....~~~~~..",
    "...###..#....~###~..",
    "...#.#.......~#.#~..",  // two closed rooms: (4, 7) and (15, 7) cannot be reached
    "...###.......~###~..",
    "..........#.........",
    "..~~~~~...#...~~....",
    "..........#.........",
    "....................",
};

// Colours are 0xBBGGRR.
constexpr double kFloor = 0xC0C0C0, kMud = 0x305890, kWall = 0x383838;
constexpr double kPathColour = 0x00C000, kStartColour = 0xFF0000, kTargetColour = 0x0000FF;

void DrawCell(int x, int y, int inset, double colour) {
    DrawRect(x * kCell + inset, kTop + y * kCell + inset,
             x * kCell + kCell - 1 - inset, kTop + y * kCell + kCell - 1 - inset, colour);
}

} // namespace

int UserMain() {
    example::StartHook();
    SystemMouse(1);  // the desktop's cursor: the player points at cells

    RtArray map;     // map[x][y]: the cost of entering the cell, 0 for a wall
    DimArray(map, kColumns, kRows);
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x)
            ArrayElement(map, x, y) = kMap[y][x] == '#' ? 0 : kMap[y][x] == '~' ? kMudCost : 1;

    RtArray path;    // path[i][0], path[i][1]: the cells from the start to the target
    double steps = 0, cost = 0, targetX = -1, targetY = -1;
    RtString status = "Click a cell to find the way there from the blue one.";
    bool wasDown = false;

    for (;;) {
        double mx, my, left, right;
        MouseState(mx, my, left, right);
        if (left != 0 && !wasDown) {
            const int cx = ToInt(mx) / kCell, cy = (ToInt(my) - kTop) / kCell;
            if (my >= kTop && cx >= 0 && cx < kColumns && cy < kRows) {
                targetX = cx;
                targetY = cy;
                // Weight 0.5 orders the search by (cost so far + distance left) / 2: plain A*.
                steps = FindPath(map, path, 0.5, kStartX, kStartY, cx, cy);
                cost = 0;
                for (int i = 1; i < steps; ++i)  // the start cell is not entered
                    cost += ArrayElement(map, ArrayElement(path, i, 0), ArrayElement(path, i, 1)) / kMudCost + 1;
                status = steps > 0 ? "Target " + RtString(cx) + "," + RtString(cy) + ": " + RtString(steps) +
                                         " cells, cost " + RtString(cost)
                                   : "Target " + RtString(cx) + "," + RtString(cy) + ": no path";
            }
        }
        wasDown = left != 0;

        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kColumns; ++x) {
                const double v = ArrayElement(map, x, y);
                DrawCell(x, y, 0, v <= 0 ? kWall : v == 1 ? kFloor : kMud);
                DrawRect(x * kCell, kTop + y * kCell, x * kCell + kCell - 1, kTop + y * kCell, 0x909090);  // grid lines
                DrawRect(x * kCell, kTop + y * kCell, x * kCell, kTop + y * kCell + kCell - 1, 0x909090);
            }
        for (int i = 0; i < steps; ++i)
            DrawCell(ToInt(ArrayElement(path, i, 0)), ToInt(ArrayElement(path, i, 1)), 9, kPathColour);
        DrawCell(kStartX, kStartY, 6, kStartColour);
        if (targetX >= 0) DrawCell(ToInt(targetX), ToInt(targetY), 6, kTargetColour);
        PrintText(status, 8, 8);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
