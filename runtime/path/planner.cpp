// The planner family: node pool, closed-set table, open heap and the A* search.
#include "runtime/path/planner.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace corvane {

// ---------------------------------------------------------------- NodeFactory

bool NodeFactory::Init(std::int32_t count) {
    if (count <= 0) return false;
    pool.reset();
    capacity = 0;
    used = 0;
    // One block for all nodes; left uninitialised, as Take's caller sets every field.
    pool.reset(new (std::nothrow) Node[static_cast<std::size_t>(count)]);
    if (!pool) return false;
    capacity = count;
    return true;
}

Node* NodeFactory::Take() {
    if (used >= capacity) return nullptr;
    return pool.get() + used++;
}

void NodeFactory::Return(std::int32_t count) {
    used = count >= used ? 0 : used - std::max<std::int32_t>(count, 0);
}

// -------------------------------------------------------------------- OpenHeap

bool OpenHeap::Init(std::int32_t newCapacity) {
    std::free(heap);
    heap = nullptr;
    entries = room = 0;
    capacity = live = 0;
    sequence = 0;
    if (newCapacity <= 0) return true;
    heap = static_cast<Entry*>(std::malloc(sizeof(Entry) * static_cast<std::size_t>(newCapacity)));
    if (!heap) return false;
    room = newCapacity;
    capacity = newCapacity;
    // Renumbering must leave room for new sequence numbers.
    if (limit <= static_cast<std::uint32_t>(capacity)) limit = static_cast<std::uint32_t>(capacity) + 1;
    return true;
}

void OpenHeap::Clear() {
    for (std::int64_t i = 0; i < entries; ++i) heap[i].node->ticket = kNotQueued;
    entries = 0;
    live = 0;
    sequence = 0;
}

std::uint64_t OpenHeap::NextKey(float f) {
    if (sequence >= limit) Renumber();
    // Float bits made monotonic as unsigned (+0 and -0 both as +0), so that
    // (f, sequence) compares as one integer.
    std::uint32_t bits = std::bit_cast<std::uint32_t>(f + 0.0f);
    bits = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
    return (static_cast<std::uint64_t>(bits) << 32) | sequence++;
}

void OpenHeap::Renumber() {
    std::int64_t kept = 0;
    for (std::int64_t i = 0; i < entries; ++i)
        if (heap[i].node->ticket == static_cast<std::uint32_t>(heap[i].key)) heap[kept++] = heap[i];
    // A sorted array is a valid heap; the new numbers keep the queue order.
    std::sort(heap, heap + kept, [](const Entry& a, const Entry& b) { return a.key < b.key; });
    for (std::int64_t i = 0; i < kept; ++i) {
        heap[i].key = (heap[i].key & 0xFFFFFFFF00000000ull) | static_cast<std::uint32_t>(i);
        heap[i].node->ticket = static_cast<std::uint32_t>(i);
    }
    entries = kept;
    sequence = static_cast<std::uint32_t>(kept);
}

bool OpenHeap::Append(Entry entry) {
    if (entries == room) {
        const std::int64_t grown = room + room / 2 + 16;
        auto* bigger = static_cast<Entry*>(std::realloc(heap, sizeof(Entry) * static_cast<std::size_t>(grown)));
        if (!bigger) return false;
        heap = bigger;
        room = grown;
    }
    heap[entries] = entry;
    SiftUp(entries++);
    return true;
}

void OpenHeap::SiftUp(std::int64_t i) {
    const Entry moving = heap[i];
    while (i > 0) {
        const std::int64_t parent = (i - 1) >> 1;
        if (heap[parent].key <= moving.key) break;
        heap[i] = heap[parent];
        i = parent;
    }
    heap[i] = moving;
}

void OpenHeap::SiftDown(std::int64_t i) {
    const Entry moving = heap[i];
    for (;;) {
        const std::int64_t first = 2 * i + 1;
        if (first >= entries) break;
        std::int64_t best = first;
        const std::int64_t last = std::min(first + 2, entries);
        for (std::int64_t c = first + 1; c < last; ++c)
            if (heap[c].key < heap[best].key) best = c;
        if (moving.key <= heap[best].key) break;
        heap[i] = heap[best];
        i = best;
    }
    heap[i] = moving;
}

bool OpenHeap::Push(Node* node) {
    if (live >= capacity) return false;
    const std::uint64_t key = NextKey(node->f);
    if (!Append(Entry{key, node})) return false;
    node->ticket = static_cast<std::uint32_t>(key);
    ++live;
    return true;
}

bool OpenHeap::Requeue(Node* node) {
    if (!IsQueued(node)) return false;
    const std::uint64_t key = NextKey(node->f);
    if (!Append(Entry{key, node})) return false;
    node->ticket = static_cast<std::uint32_t>(key);
    return true;
}

Node* OpenHeap::PopMin() {
    while (entries > 0) {
        const Entry top = heap[0];
        if (--entries > 0) {
            heap[0] = heap[entries];
            SiftDown(0);
        }
        if (top.node->ticket == static_cast<std::uint32_t>(top.key)) {
            top.node->ticket = kNotQueued;
            --live;
            return top.node;
        }
    }
    return nullptr;
}

// ------------------------------------------------------------------- costs

bool BuildCostGrid(const double* map, std::int64_t count, float* costs) {
    if (!map || !costs || count <= 0) return false;
    float maxValue = 0.0f;
    bool any = false;
    for (std::int64_t i = 0; i < count; ++i) {
        const double v = map[i];
        if (v > 0.0) {  // false for NaN too: such a cell is blocked
            // Values beyond float range stay the costliest; tiny ones stay passable.
            float c = static_cast<float>(std::min(v, static_cast<double>(FLT_MAX)));
            if (c == 0.0f) c = FLT_TRUE_MIN;
            costs[i] = c;
            maxValue = std::max(maxValue, c);
            any = true;
        } else {
            costs[i] = -1.0f;
        }
    }
    if (!any) return false;
    for (std::int64_t i = 0; i < count; ++i)
        if (costs[i] != -1.0f) costs[i] = costs[i] / maxValue + 1;
    return true;
}

float ClampPlannerWeight(double weight) {
    if (std::isnan(weight)) return 1.0f;
    return static_cast<float>(std::clamp(weight, 0.0, 1.0));
}

// -------------------------------------------------------------------- Planner

Planner::~Planner() = default;

bool Planner::Setup(const PlannerConfig& newConfig) {
    const PlannerConfig& c = newConfig;
    if (c.startX < 0 || c.startX >= c.width || c.startY < 0 || c.startY >= c.height) return false;
    if (c.goalX < 0 || c.goalX >= c.width || c.goalY < 0 || c.goalY >= c.height) return false;
    if (c.startX == c.goalX && c.startY == c.goalY) return false;
    if (!c.map) return false;

    open.Clear();
    costs.reset();
    cellNode.reset();
    closedCount = 0;
    path = nullptr;
    idle = 1;
    // A failed set-up leaves no cost grid, so Reset and Search find nothing to do.
    auto fail = [this] {
        costs.reset();
        cellNode.reset();
        return false;
    };

    const std::int64_t cells = static_cast<std::int64_t>(c.width) * c.height;
    if (cells > INT32_MAX) return fail();
    costs.reset(new (std::nothrow) float[static_cast<std::size_t>(cells)]);
    if (!costs || !BuildCostGrid(c.map, cells, costs.get())) return fail();

    const std::int32_t count = static_cast<std::int32_t>(cells);
    if (!nodes.Init(c.maxNodes > 0 ? c.maxNodes : count)) return fail();
    if (!open.Init(c.openCapacity > 0 ? c.openCapacity : count)) return fail();
    cellNode.reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(cells)]());
    if (!cellNode) return fail();

    config = c;
    config.map = nullptr;  // the costs are all the search needs; the map may go away
    config.weight = std::isnan(c.weight) ? 1.0f : std::clamp(c.weight, 0.0f, 1.0f);
    searchCount = 0;
    return true;
}

void Planner::Reset() {
    if (open.Size() > 0 || closedCount > 0) Clear();
    idle = 0;
    searchCount = 0;
    path = nullptr;
}

void Planner::Clear() {
    // Forget every node handed out so far, then give back the queued and closed ones.
    if (cellNode) {
        const std::int32_t used = nodes.Used();
        const std::size_t cells = static_cast<std::size_t>(config.width) * config.height;
        if (static_cast<std::size_t>(used) * 8 > cells) {
            std::fill(cellNode.get(), cellNode.get() + cells, 0u);  // most cells were reached
        } else {
            for (std::int32_t i = 0; i < used; ++i) {
                const Node* n = nodes.At(i);
                cellNode[static_cast<std::size_t>(n->y) * config.width + n->x] = 0;
            }
        }
    }
    nodes.Return(open.Size());
    open.Clear();
    nodes.Return(closedCount);
    closedCount = 0;
    path = nullptr;
    idle = 1;
}

std::int32_t Planner::PathLength() const {
    std::int32_t n = 0;
    // Bounded by the pool: a chain never holds more nodes than were handed out.
    for (const Node* p = path; p && n <= nodes.Capacity(); p = p->parent) ++n;
    return n;
}

float Planner::CostAt(std::int32_t x, std::int32_t y) const {
    if (!costs || x < 0 || y < 0 || x >= config.width || y >= config.height) return -1.0f;
    return costs[static_cast<std::size_t>(y) * config.width + x];
}

// ---------------------------------------------------------------- AStarPlanner

AStarPlanner::~AStarPlanner() { Clear(); }

void AStarPlanner::Reset() {
    Planner::Reset();
    if (!costs || !cellNode) return;
    Node* start = nodes.Take();
    if (!start) return;
    start->parent = nullptr;
    start->x = config.startX;
    start->y = config.startY;
    start->g = 0.0f;
    const std::int32_t h = std::abs(config.goalX - config.startX) + std::abs(config.goalY - config.startY);
    start->f = config.weight * static_cast<float>(h);
    start->nextInBucket = nullptr;
    start->ticket = kNotQueued;
    if (open.Push(start))
        cellNode[static_cast<std::size_t>(start->y) * config.width + start->x] =
            static_cast<std::uint32_t>(nodes.IndexOf(start)) + 1;
}

bool AStarPlanner::Search() {
    ++searchCount;
    if (!costs || !cellNode) {
        idle = 1;
        return true;
    }
    const float diagonal = config.diagonalCostFlag ? 1.4142137f : 1.0f;
    const std::int32_t w = config.width, h = config.height;
    const std::int32_t gx = config.goalX, gy = config.goalY;
    const float weight = config.weight;
    const float* cost = costs.get();
    std::uint32_t* cells = cellNode.get();

    // Neighbour order: the row above left to right, right, left, the row below left to right.
    static constexpr std::int32_t kDx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
    static constexpr std::int32_t kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    static constexpr bool kDiagonal[8] = {true, false, true, false, false, true, false, true};

    while (Node* n = open.PopMin()) {
        if (n->x == gx && n->y == gy) {
            ++closedCount;
            path = n;
            idle = 1;
            return true;
        }
        for (int k = 0; k < 8; ++k) {
            if (kDiagonal[k] && !config.allowDiagonal) continue;
            const std::int32_t nx = n->x + kDx[k], ny = n->y + kDy[k];
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            const std::size_t cell = static_cast<std::size_t>(ny) * w + nx;
            const float c = cost[cell];
            if (c == -1.0f) continue;
            const float g = kDiagonal[k] ? n->g + diagonal * c : n->g + c;
            const std::int32_t hh = std::abs(gx - nx) + std::abs(gy - ny);
            const float f = g + weight * (static_cast<float>(hh) - g);

            if (const std::uint32_t index = cells[cell]) {
                Node* m = nodes.At(static_cast<std::int32_t>(index - 1));
                if (!(g < m->g)) continue;
                m->parent = n;
                m->g = g;
                m->f = f;
                if (OpenHeap::IsQueued(m)) {
                    open.Requeue(m);
                } else if (open.Push(m)) {
                    --closedCount;  // reopened
                } else {
                    // No room to reopen it: the node drops out of the search.
                    --closedCount;
                    cells[cell] = 0;
                }
                continue;
            }
            Node* m = nodes.Take();
            if (!m) continue;
            m->parent = n;
            m->x = nx;
            m->y = ny;
            m->g = g;
            m->f = f;
            m->nextInBucket = nullptr;
            m->ticket = kNotQueued;
            if (open.Push(m)) cells[cell] = static_cast<std::uint32_t>(nodes.IndexOf(m)) + 1;
        }
        ++closedCount;
    }
    idle = 1;
    return true;
}

}  // namespace corvane
