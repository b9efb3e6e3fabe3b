// The A* planner family behind FindPath: nodes, the node pool, the open heap and
// the planner itself.
//
// AStarPlanner expands nodes in exactly the order of the classic sorted open
// list (smallest f at the back, a newly queued node in front of the nodes with
// equal f, so among equal f the earliest queued one is expanded first), but
// keeps the open list as an indexed binary heap ordered by (f, queue sequence)
// and finds a cell's node through a per-cell index. Lookups are O(1) and
// queue operations O(log n) instead of the linear scans of a sorted ring
// buffer and a 256-bucket chained table, which made big maps quadratic.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace corvane {

struct Node {
    Node* parent;           // the node it was reached from; null for the start
    std::int32_t x, y;      // cell coordinates
    float f;                // ordering key
    float g;                // cost from the start
    Node* nextInBucket;     // chain link inside NodeHashTable
    std::uint32_t ticket;   // AStarPlanner: queue ticket while in the open list, else kNotQueued
};

constexpr std::uint32_t kNotQueued = 0xFFFFFFFFu;

struct PlannerConfig {
    std::int32_t startX = 0, startY = 0, goalX = 0, goalY = 0;
    std::uint8_t diagonalCostFlag = 1;  // 1: a diagonal step costs sqrt(2) x the cell cost
    std::uint8_t allowDiagonal = 0;     // 1: the four diagonal neighbours are visited too
    std::int32_t maxNodes = 0;          // node pool size, 0 = width x height
    std::int32_t openCapacity = 0;      // open list capacity, 0 = width x height
    std::int32_t hashBits = 8;          // closed-set table size (NodeHashTable users)
    float weight = 0.5f;                // heuristic weight, 0..1
    std::int32_t width = 0, height = 0;
    const double* map = nullptr;        // width x height values, x varying fastest
};

// Hands out nodes from one block allocated per Init; nodes are recycled by
// lowering the used count (the planner's Clear does that).
class NodeFactory {
public:
    NodeFactory() = default;
    NodeFactory(const NodeFactory&) = delete;
    NodeFactory& operator=(const NodeFactory&) = delete;
    virtual ~NodeFactory() = default;

    bool Init(std::int32_t count);      // false for count <= 0 (old pool kept) or no memory
    Node* Take();                       // the next unused node, or null when all are used
    void Return(std::int32_t count);    // lowers the used count, not below 0
    std::int32_t Used() const { return used; }
    std::int32_t Capacity() const { return capacity; }
    std::int32_t IndexOf(const Node* node) const { return static_cast<std::int32_t>(node - pool.get()); }
    Node* At(std::int32_t index) const { return pool.get() + index; }

private:
    std::int32_t capacity = 0;
    std::unique_ptr<Node[]> pool;
    std::int32_t used = 0;
};

// Open list of AStarPlanner: a binary min-heap on (f, queue sequence). Popping
// the minimum gives the same node as popping the back of the sorted list, where
// a node queued later sits in front of the equal-f nodes already there. A node
// queued again keeps its old entry, which goes stale: Node::ticket holds the
// sequence of the node's live entry and kNotQueued once the node left the list.
class OpenHeap {
public:
    // sequenceLimit: when the queue counter reaches it, the stale entries are
    // dropped and the live ones renumbered in order (only tests pick a small limit).
    explicit OpenHeap(std::uint32_t sequenceLimit = kNotQueued) : limit(sequenceLimit) {}
    OpenHeap(const OpenHeap&) = delete;
    OpenHeap& operator=(const OpenHeap&) = delete;
    ~OpenHeap() { std::free(heap); }

    bool Init(std::int32_t newCapacity);  // room for newCapacity queued nodes; false when none can be had
    void Clear();                         // empties the list (every queued node's ticket = kNotQueued)
    bool Push(Node* node);                // queues with node->f behind all earlier queued ones; false when full
    bool Requeue(Node* node);             // a queued node's f changed: it takes its place as if just queued
    Node* PopMin();                       // null when empty
    std::int32_t Size() const { return live; }
    bool IsEmpty() const { return live == 0; }
    static bool IsQueued(const Node* node) { return node->ticket != kNotQueued; }

private:
    struct Entry {
        std::uint64_t key;                // ordered f bits (high) and queue sequence (low)
        Node* node;
    };
    std::uint64_t NextKey(float f);
    bool Append(Entry entry);
    void Renumber();
    void SiftUp(std::int64_t i);
    void SiftDown(std::int64_t i);

    Entry* heap = nullptr;                // malloc'd, grows when stale entries need room
    std::int64_t entries = 0;             // live and stale entries
    std::int64_t room = 0;
    std::int32_t capacity = 0;            // most nodes queued at once
    std::int32_t live = 0;
    std::uint32_t sequence = 0;
    std::uint32_t limit;
};

class Planner {
public:
    Planner() = default;
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;
    virtual ~Planner();

    bool Setup(const PlannerConfig& newConfig);  // false for a bad start/goal, a map without cost, no memory
    virtual void Reset();                 // starts a fresh search (what a previous one left is cleared)
    virtual bool Search() = 0;            // runs the search to its end; true when it has ended
    virtual void Clear();                 // returns the queued and closed nodes to the pool

    float PathCost() const { return path ? path->g : -1.0f; }  // -1 without a path
    std::int32_t PathLength() const;      // nodes from the goal back to the start, 0 without a path
    std::int32_t OpenSize() const { return open.Size(); }
    std::int32_t ClosedCount() const { return closedCount; }
    const Node* PathGoal() const { return path; }
    bool IsIdle() const { return idle != 0; }
    std::int32_t SearchCount() const { return searchCount; }
    const PlannerConfig& Config() const { return config; }
    float CostAt(std::int32_t x, std::int32_t y) const;  // normalised cost, -1 blocked or outside

protected:
    std::uint8_t idle = 1;
    NodeFactory nodes;
    PlannerConfig config;
    std::unique_ptr<float[]> costs;       // width x height; -1 = blocked, else in [1, 2]
    std::int32_t searchCount = 0;
    OpenHeap open;
    std::unique_ptr<std::uint32_t[]> cellNode;  // per cell: node index + 1, 0 = no node
    std::int32_t closedCount = 0;
    Node* path = nullptr;
};

class AStarPlanner : public Planner {
public:
    ~AStarPlanner() override;
    void Reset() override;
    bool Search() override;
};

// Normalised cost grid of a map: values <= 0 (and NaN) give -1 (blocked), every
// other value v gives v / max + 1 with max the largest value, in single floats.
// Returns false, leaving costs untouched, when the map has no passable cell.
bool BuildCostGrid(const double* map, std::int64_t count, float* costs);

// The heuristic weight as the planner uses it: clamped to 0..1, NaN as 1.
float ClampPlannerWeight(double weight);

}  // namespace corvane
