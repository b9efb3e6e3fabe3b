// FindPath: the language's path command over an AStarPlanner.
#include "runtime/path/path.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/path/planner.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

// Coordinates arrive as numbers; anything outside the 32-bit range (or NaN)
// becomes -1, which the planner refuses as outside the map.
std::int32_t CellCoordinate(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return -1;
    return static_cast<std::int32_t>(v);
}

} // namespace

double FindPath(const RtArray& map, RtArray& path, double weight, double startX, double startY,
                double goalX, double goalY) {
    PlannerConfig config;
    config.startX = CellCoordinate(startX);
    config.startY = CellCoordinate(startY);
    config.goalX = CellCoordinate(goalX);
    config.goalY = CellCoordinate(goalY);
    config.diagonalCostFlag = 1;
    config.allowDiagonal = 0;
    config.maxNodes = 0;
    config.openCapacity = 0;
    config.hashBits = 8;
    config.weight = ClampPlannerWeight(weight);
    // A one-dimensional map is one row, as its storage holds size 1 elements.
    config.width = std::max(map.sizes[0], 0);
    config.height = config.width > 0 ? std::max(map.sizes[1], 1) : 0;
    const std::int64_t cells = std::int64_t(config.width) * config.height;
    config.map = map.elements && cells <= map.capacity ? map.elements : nullptr;

    std::int32_t n = 0;
    {
        AStarPlanner planner;
        if (config.map && planner.Setup(config)) {
            planner.Reset();
            planner.Search();
            n = planner.PathLength();
            if (n > 0) {
                // The map may be the path array itself; it is no longer read.
                DimArray(path, n, 2);
                std::int32_t row = n - 1;
                for (const Node* p = planner.PathGoal(); p && row >= 0; p = p->parent, --row) {
                    ArrayElement(path, row, 0) = p->x;
                    ArrayElement(path, row, 1) = p->y;
                }
            }
        }
    }
    if (n > 0) return n;
    DimArray(path, 0, 0, 0, 0, 0, 0, 0, 0);
    return 0;
}

} // namespace corvane
