// The plain A* planner that the fast one must match step for step: the open
// list is a FixedDeque kept sorted by falling f (smallest at the back, a new
// node in front of equal f), found by a linear scan from the back; the closed
// set is a NodeHashTable of chained buckets. Quadratic on big maps, so it is
// only for comparison (tests, and the benchmark for scale).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/path/planner.h"
#include "tests/path/reference_structures.h"

namespace corvane::testing {

class ReferencePlanner {
public:
    ~ReferencePlanner() { Clear(); }

    bool Setup(const PlannerConfig& c) {
        if (c.startX < 0 || c.startX >= c.width || c.startY < 0 || c.startY >= c.height) return false;
        if (c.goalX < 0 || c.goalX >= c.width || c.goalY < 0 || c.goalY >= c.height) return false;
        if (c.startX == c.goalX && c.startY == c.goalY) return false;
        costs.clear();
        const std::int64_t count = std::int64_t(c.width) * c.height;
        costs.resize(std::size_t(count));
        float maxValue = 0.0f;
        bool any = false;
        for (std::int64_t i = 0; i < count; ++i) {
            const double v = c.map[i];
            if (v > 0.0) {
                float f = v > 3.4028234663852886e38 ? 3.4028234663852886e38f : float(v);
                if (f == 0.0f) f = 1.4e-45f;
                costs[i] = f;
                if (f > maxValue) maxValue = f;
                any = true;
            } else {
                costs[i] = -1.0f;
            }
        }
        if (!any) return false;
        for (float& cost : costs)
            if (cost > 0.0f) cost = cost / maxValue + 1;
        const std::int32_t cells = std::int32_t(count);
        nodes.Init(c.maxNodes ? c.maxNodes : cells);
        open.Init(c.openCapacity ? c.openCapacity : cells);
        closed.Init(c.hashBits);
        config = c;
        config.weight = std::isnan(c.weight) ? 1.0f : c.weight < 0 ? 0.0f : c.weight > 1 ? 1.0f : c.weight;
        path = nullptr;
        searchCount = 0;
        idle = 1;
        return true;
    }

    void Reset() {
        idle = 0;
        searchCount = 0;
        path = nullptr;
        Node* n = nodes.Take();
        if (!n) return;
        n->parent = nullptr;
        n->g = 0.0f;
        n->x = config.startX;
        n->y = config.startY;
        n->f = config.weight * float(std::abs(config.goalX - config.startX) + std::abs(config.goalY - config.startY));
        n->nextInBucket = nullptr;
        open.PushBack(n);
    }

    bool Search() {
        ++searchCount;
        const float d = config.diagonalCostFlag ? 1.4142137f : 1.0f;
        static const int dx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
        static const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
        static const bool diag[8] = {true, false, true, false, false, true, false, true};
        while (!open.IsEmpty()) {
            Node* n = open.Back();
            open.PopBack();
            ++expansions;
            if (n->x == config.goalX && n->y == config.goalY) {
                closed.Insert(n);
                path = n;
                idle = 1;
                return true;
            }
            for (int k = 0; k < 8; ++k) {
                if (diag[k] && !config.allowDiagonal) continue;
                const int nx = n->x + dx[k], ny = n->y + dy[k];
                if (nx < 0 || ny < 0 || nx >= config.width || ny >= config.height) continue;
                const float c = costs[std::size_t(ny) * config.width + nx];
                if (c == -1.0f) continue;
                const float g = diag[k] ? n->g + d * c : n->g + c;
                const int h = std::abs(config.goalX - nx) + std::abs(config.goalY - ny);
                const float f = g + config.weight * (float(h) - g);

                NodeHashTable::Cursor cursor;
                if (Node* m = closed.Find(nx, ny, cursor)) {
                    if (g < m->g) {
                        closed.UnlinkFound(cursor);
                        m->parent = n;
                        m->g = g;
                        m->f = f;
                        InsertSorted(m);
                    }
                    continue;
                }
                std::int32_t at = -1;
                for (std::int32_t i = open.Size() - 1; i >= 0; --i) {
                    const Node* o = open.At(i);
                    if (o->x == nx && o->y == ny) {
                        at = i;
                        break;
                    }
                }
                if (at >= 0) {
                    Node* m = open.At(at);
                    if (g < m->g) {
                        open.EraseAt(at);
                        m->parent = n;
                        m->g = g;
                        m->f = f;
                        InsertSorted(m);
                    }
                    continue;
                }
                Node* m = nodes.Take();
                if (!m) continue;
                m->x = nx;
                m->y = ny;
                m->parent = n;
                m->g = g;
                m->f = f;
                m->nextInBucket = nullptr;
                InsertSorted(m);
            }
            closed.Insert(n);
        }
        idle = 1;
        return true;
    }

    void Clear() {
        for (std::int32_t i = 0; i < open.Size(); ++i) nodes.Return(1);
        open.Clear();
        for (std::uint32_t b = 0; b < closed.BucketCount(); ++b)
            for (Node* n = closed.BucketHead(b); n; n = n->nextInBucket) nodes.Return(1);
        closed.Clear();
        path = nullptr;
        idle = 1;
    }

    std::int32_t OpenSize() const { return open.Size(); }
    std::int32_t ClosedCount() const {
        std::int32_t count = 0;
        for (std::uint32_t b = 0; b < closed.BucketCount(); ++b)
            for (Node* n = closed.BucketHead(b); n; n = n->nextInBucket) ++count;
        return count;
    }
    const Node* PathGoal() const { return path; }
    float PathCost() const { return path ? path->g : -1.0f; }
    std::int64_t Expansions() const { return expansions; }

    // The path from start to goal as (x, y) points; empty without a path.
    std::vector<std::pair<int, int>> Points() const {
        std::vector<std::pair<int, int>> points;
        for (const Node* p = path; p; p = p->parent) points.emplace_back(p->x, p->y);
        return {points.rbegin(), points.rend()};
    }

private:
    void InsertSorted(Node* m) {
        std::int32_t lo = 0, hi = open.Size();
        while (lo < hi) {
            const std::int32_t mid = (lo + hi) / 2;
            if (open.At(mid)->f > m->f) lo = mid + 1;
            else hi = mid;
        }
        open.InsertAt(lo, m);
    }

    std::uint8_t idle = 1;
    NodeFactory nodes;
    PlannerConfig config;
    std::vector<float> costs;
    std::int32_t searchCount = 0;
    FixedDeque<Node*> open;
    NodeHashTable closed;
    Node* path = nullptr;
    std::int64_t expansions = 0;
};

// The whole command on the plain planner: points from start to goal, or none.
inline std::vector<std::pair<int, int>> ReferencePath(const PlannerConfig& config) {
    ReferencePlanner planner;
    if (!planner.Setup(config)) return {};
    planner.Reset();
    planner.Search();
    return planner.Points();
}

}  // namespace corvane::testing
