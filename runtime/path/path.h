// Pathfinding: A* search over a grid map held in a numeric array. A map cell
// with a value <= 0 is blocked; a positive value is the cell's cost weighting.
// The planner classes behind it are in runtime/path/planner.h.
#pragma once

#include "runtime/values/rt_array.h"

namespace corvane {

// ---------------------------------------------------------------- path search
double FindPath(const RtArray& map, RtArray& path, double weight, double startX, double startY, double goalX, double goalY); // path[n][2] (x, y) from start to goal, returns n; no path: all sizes 0, returns 0

} // namespace corvane
