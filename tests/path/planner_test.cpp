// The planner's building blocks, and the fast planner against the plain
// sorted-list planner and against Dijkstra.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <queue>
#include <random>
#include <vector>

#include "runtime/path/planner.h"
#include "tests/path/reference_planner.h"

namespace corvane {
namespace {

using Points = std::vector<std::pair<int, int>>;

Points FastPoints(const AStarPlanner& planner) {
    Points points;
    for (const Node* p = planner.PathGoal(); p; p = p->parent) points.emplace_back(p->x, p->y);
    return {points.rbegin(), points.rend()};
}

PlannerConfig MakeConfig(const std::vector<double>& map, int w, int h, int sx, int sy, int gx, int gy,
                         float weight) {
    PlannerConfig c;
    c.startX = sx;
    c.startY = sy;
    c.goalX = gx;
    c.goalY = gy;
    c.weight = weight;
    c.width = w;
    c.height = h;
    c.map = map.data();
    return c;
}

// ------------------------------------------------------------ FixedDeque

TEST(FixedDeque, FollowsADequeThroughWrapAroundInsertsAndErases) {
    std::mt19937 rng(7);
    for (int capacity : {1, 2, 5, 16}) {
        FixedDeque<int> d;
        ASSERT_TRUE(d.Init(capacity));
        std::deque<int> model;
        for (int step = 0; step < 4000; ++step) {
            const int op = int(rng() % 6);
            const int value = int(rng() % 1000);
            const int size = int(model.size());
            const bool full = size == capacity;
            if (op == 0) {
                ASSERT_EQ(d.PushBack(value), !full);
                if (!full) model.push_back(value);
            } else if (op == 1) {
                ASSERT_EQ(d.PushFront(value), !full);
                if (!full) model.push_front(value);
            } else if (op == 2) {
                ASSERT_EQ(d.PopBack(), size > 0);
                if (size) model.pop_back();
            } else if (op == 3) {
                ASSERT_EQ(d.PopFront(), size > 0);
                if (size) model.pop_front();
            } else if (op == 4) {
                const int at = int(rng() % (size + 2));
                const bool ok = !full && at <= size;
                ASSERT_EQ(d.InsertAt(at, value), ok);
                if (ok) model.insert(model.begin() + at, value);
            } else {
                const int at = int(rng() % (size + 2));
                const bool ok = at < size;
                ASSERT_EQ(d.EraseAt(at), ok);
                if (ok) model.erase(model.begin() + at);
            }
            ASSERT_EQ(d.Size(), int(model.size()));
            ASSERT_EQ(d.IsEmpty(), model.empty());
            for (int i = 0; i < int(model.size()); ++i) ASSERT_EQ(d.At(i), model[i]);
            if (!model.empty()) {
                ASSERT_EQ(d.Back(), model.back());
            }
        }
    }
}

TEST(FixedDeque, EmptyFullAndOutOfRangeAreRefusedSafely) {
    FixedDeque<Node*> none;
    ASSERT_TRUE(none.Init(0));
    EXPECT_FALSE(none.PushBack(nullptr));
    EXPECT_FALSE(none.InsertAt(0, nullptr));
    EXPECT_FALSE(none.PopBack());
    EXPECT_EQ(none.At(0), nullptr);
    EXPECT_EQ(none.Back(), nullptr);

    FixedDeque<int> d;
    ASSERT_TRUE(d.Init(3));
    EXPECT_FALSE(d.EraseAt(0));
    EXPECT_FALSE(d.InsertAt(1, 9));  // beyond the size
    EXPECT_FALSE(d.InsertAt(-1, 9));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(d.PushBack(i));
    EXPECT_FALSE(d.PushFront(7));
    EXPECT_EQ(d.Size(), 3);  // full: head == tail, yet not empty
    EXPECT_EQ(d.At(3), 0);
    EXPECT_EQ(d.At(-1), 0);
    d.Clear();
    EXPECT_TRUE(d.IsEmpty());
    EXPECT_FALSE(d.PopFront());
}

// ---------------------------------------------------------- NodeHashTable

TEST(NodeHashTable, BitsAreEvenAndCappedAndBucketsUseLowCoordinateBits) {
    NodeHashTable t;
    ASSERT_TRUE(t.Init(8));
    EXPECT_EQ(t.BucketCount(), 256u);
    EXPECT_EQ(t.BucketOf(3, 2), 3u | (2u << 4));
    EXPECT_EQ(t.BucketOf(17, 33), 1u | (1u << 4));
    EXPECT_EQ(t.BucketOf(-1, 0), 15u);
    ASSERT_TRUE(t.Init(7));
    EXPECT_EQ(t.Bits(), 6);
    ASSERT_TRUE(t.Init(31));
    EXPECT_EQ(t.Bits(), 24);
    ASSERT_TRUE(t.Init(-5));
    EXPECT_EQ(t.Bits(), 0);
    EXPECT_EQ(t.BucketOf(1234, 99), 0u);
}

TEST(NodeHashTable, ChainsFindUnlinkAndCopiesAreIndependent) {
    NodeHashTable t;
    ASSERT_TRUE(t.Init(8));
    Node a{}, b{}, c{};
    a.x = 1, a.y = 1;
    b.x = 17, b.y = 1;   // same bucket as a
    c.x = 33, c.y = 17;  // same bucket again
    EXPECT_TRUE(t.Insert(&a));
    EXPECT_TRUE(t.Insert(&b));
    EXPECT_TRUE(t.Insert(&c));
    EXPECT_FALSE(t.Insert(&b));  // the very node already chained
    EXPECT_EQ(t.BucketHead(t.BucketOf(1, 1)), &c);  // pushed at the front

    NodeHashTable copy(t);
    NodeHashTable::Cursor cursor;
    ASSERT_EQ(t.Find(17, 1, cursor), &b);  // middle of the chain
    t.UnlinkFound(cursor);
    EXPECT_EQ(t.Find(17, 1, cursor), nullptr);
    EXPECT_EQ(t.Find(1, 1, cursor), &a);
    EXPECT_EQ(t.Find(33, 17, cursor), &c);
    EXPECT_EQ(t.Find(2, 1, cursor), nullptr);
    // The copy had its own buckets; c -> b -> a were still linked when it was made,
    // but unlinking b rewired c's link, which both share.
    EXPECT_EQ(copy.BucketHead(copy.BucketOf(1, 1)), &c);
    t.Clear();
    EXPECT_EQ(t.Find(1, 1, cursor), nullptr);
    EXPECT_EQ(copy.Find(1, 1, cursor), &a);
}

// ------------------------------------------------------------ NodeFactory

TEST(NodeFactory, HandsOutEachNodeOnceAndRecyclesByCount) {
    NodeFactory f;
    EXPECT_FALSE(f.Init(0));
    EXPECT_EQ(f.Take(), nullptr);
    ASSERT_TRUE(f.Init(2));
    Node* a = f.Take();
    Node* b = f.Take();
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(f.Take(), nullptr);
    EXPECT_FALSE(f.Init(-1));  // refused: the old pool stays
    EXPECT_EQ(f.Used(), 2);
    f.Return(1);
    EXPECT_EQ(f.Take(), b);
    f.Return(5);
    EXPECT_EQ(f.Used(), 0);
    EXPECT_EQ(f.Take(), a);
}

// --------------------------------------------------------------- OpenHeap

// Pops must come out as from the back of the sorted deque, with updates and
// many equal keys, also when the queue sequence is renumbered often.
TEST(OpenHeap, PopsInTheSortedListOrderWithTiesAndUpdates) {
    for (std::uint32_t limit : {0xFFFFFFFFu, 70u}) {
        std::mt19937 rng(11 + limit);
        const int count = 60;
        std::vector<Node> heapNodes(count), listNodes(count);
        OpenHeap heap(limit);
        ASSERT_TRUE(heap.Init(count));
        FixedDeque<Node*> list;
        ASSERT_TRUE(list.Init(count));
        auto insertSorted = [&](Node* m) {
            int lo = 0, hi = list.Size();
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (list.At(mid)->f > m->f) lo = mid + 1;
                else hi = mid;
            }
            ASSERT_TRUE(list.InsertAt(lo, m));
        };
        std::vector<bool> queued(count, false);
        for (int step = 0; step < 20000; ++step) {
            const int i = int(rng() % count);
            const float f = float(rng() % 5) * 0.5f;
            const int op = int(rng() % 3);
            if (op == 0 && !queued[i]) {
                heapNodes[i].f = listNodes[i].f = f;
                heapNodes[i].x = listNodes[i].x = i;
                ASSERT_TRUE(heap.Push(&heapNodes[i]));
                insertSorted(&listNodes[i]);
                queued[i] = true;
            } else if (op == 1 && queued[i]) {
                heapNodes[i].f = listNodes[i].f = f;
                heap.Requeue(&heapNodes[i]);
                for (int k = 0; k < list.Size(); ++k)
                    if (list.At(k) == &listNodes[i]) list.EraseAt(k);
                insertSorted(&listNodes[i]);
            } else if (op == 2 && !list.IsEmpty()) {
                Node* expected = list.Back();
                list.PopBack();
                Node* got = heap.PopMin();
                ASSERT_NE(got, nullptr);
                ASSERT_EQ(got->x, expected->x) << "step " << step;
                ASSERT_EQ(got->ticket, kNotQueued);
                queued[got->x] = false;
            }
            ASSERT_EQ(heap.Size(), list.Size());
        }
    }
}

TEST(OpenHeap, RefusesWhenFull) {
    OpenHeap heap;
    ASSERT_TRUE(heap.Init(1));
    Node a{}, b{};
    EXPECT_TRUE(heap.Push(&a));
    EXPECT_FALSE(heap.Push(&b));
    EXPECT_EQ(heap.PopMin(), &a);
    EXPECT_EQ(heap.PopMin(), nullptr);
}

// ----------------------------------------------------------- cost grid

TEST(CostGrid, NormalisesToOneToTwoAndBlocksNonPositiveAndNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> map = {5, 0, -3, 2.5, nan};
    std::vector<float> costs(map.size());
    ASSERT_TRUE(BuildCostGrid(map.data(), 5, costs.data()));
    EXPECT_FLOAT_EQ(costs[0], 2.0f);
    EXPECT_EQ(costs[1], -1.0f);
    EXPECT_EQ(costs[2], -1.0f);
    EXPECT_FLOAT_EQ(costs[3], 1.5f);
    EXPECT_EQ(costs[4], -1.0f);

    // Values a float cannot hold must not turn the costs into NaN or 0.
    std::vector<double> extreme = {1e300, std::numeric_limits<double>::infinity(), 1e-300, 1};
    ASSERT_TRUE(BuildCostGrid(extreme.data(), 4, costs.data()));
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(costs[i], 1.0f) << i;
        EXPECT_LE(costs[i], 2.0f) << i;
    }
    EXPECT_EQ(costs[0], 2.0f);
    EXPECT_EQ(costs[2], 1.0f);

    std::vector<double> walls = {0, -1, nan};
    EXPECT_FALSE(BuildCostGrid(walls.data(), 3, costs.data()));
}

TEST(ClampPlannerWeight, ClampsAndTakesNaNAsOne) {
    EXPECT_EQ(ClampPlannerWeight(2), 1.0f);
    EXPECT_EQ(ClampPlannerWeight(-1), 0.0f);
    EXPECT_EQ(ClampPlannerWeight(0.25), 0.25f);
    EXPECT_EQ(ClampPlannerWeight(std::nan("")), 1.0f);
}

// ------------------------------------------------------------- planner

TEST(AStarPlanner, SetupRefusesBadRequestsAndFindsNothingAfterwards) {
    std::vector<double> map(9, 1.0);
    AStarPlanner p;
    EXPECT_FALSE(p.Setup(MakeConfig(map, 3, 3, 0, 0, 0, 0, 0.5f)));   // start = goal
    EXPECT_FALSE(p.Setup(MakeConfig(map, 3, 3, -1, 0, 2, 2, 0.5f)));
    EXPECT_FALSE(p.Setup(MakeConfig(map, 3, 3, 0, 0, 3, 2, 0.5f)));
    std::vector<double> walls(9, 0.0);
    EXPECT_FALSE(p.Setup(MakeConfig(walls, 3, 3, 0, 0, 2, 2, 0.5f)));  // nothing passable
    p.Reset();
    EXPECT_TRUE(p.Search());
    EXPECT_EQ(p.PathGoal(), nullptr);
    EXPECT_EQ(p.PathCost(), -1.0f);
    EXPECT_TRUE(p.IsIdle());
}

TEST(AStarPlanner, EqualCostsAllBecomeTwoAndThePathCostCountsThem) {
    std::vector<double> map(4 * 3, 5.0);
    AStarPlanner p;
    ASSERT_TRUE(p.Setup(MakeConfig(map, 4, 3, 0, 0, 3, 2, 0.5f)));
    EXPECT_EQ(p.CostAt(2, 1), 2.0f);
    p.Reset();
    EXPECT_FALSE(p.IsIdle());
    ASSERT_TRUE(p.Search());
    EXPECT_TRUE(p.IsIdle());
    EXPECT_EQ(p.PathLength(), 6);
    EXPECT_EQ(p.PathCost(), 10.0f);  // five steps of 2
    EXPECT_EQ(p.SearchCount(), 1);
}

TEST(AStarPlanner, ASecondSearchOnTheSamePlannerStartsClean) {
    std::vector<double> map = {1, 1, 1, 1, 0, 1, 1, 1, 1};
    AStarPlanner p;
    ASSERT_TRUE(p.Setup(MakeConfig(map, 3, 3, 0, 0, 2, 2, 0.5f)));
    p.Reset();
    p.Search();
    const Points first = FastPoints(p);
    ASSERT_EQ(first.size(), 5u);
    p.Reset();
    p.Search();
    EXPECT_EQ(FastPoints(p), first);
    p.Clear();
    EXPECT_EQ(p.OpenSize(), 0);
    EXPECT_EQ(p.ClosedCount(), 0);
    EXPECT_EQ(p.PathGoal(), nullptr);
}

// Random maps of 1 x 1 to 64 x 64: few distinct values so that many paths tie,
// walls, negative and zero cells, weights over the whole range and beyond.
struct RandomCase {
    std::vector<double> map;
    PlannerConfig config;
};

RandomCase MakeRandomCase(std::mt19937& rng, bool plannerOptions) {
    RandomCase rc;
    const int w = 1 + int(rng() % 64), h = 1 + int(rng() % 64);
    const double wallShare = std::uniform_real_distribution<double>(0.0, 0.45)(rng);
    const int levels = 1 + int(rng() % 4);
    const bool smooth = rng() % 4 == 0;
    rc.map.resize(std::size_t(w) * h);
    for (double& v : rc.map) {
        const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        if (u < wallShare) v = rng() % 3 == 0 ? -2.0 : 0.0;
        else if (smooth) v = std::uniform_real_distribution<double>(0.1, 9.0)(rng);
        else v = 1.0 + double(rng() % levels);
    }
    static const float weights[] = {0.0f, 0.25f, 0.5f, 0.5f, 0.75f, 0.9f, 1.0f, -1.0f, 2.0f};
    float weight = weights[rng() % 9];
    if (rng() % 5 == 0) weight = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
    rc.config = MakeConfig(rc.map, w, h, int(rng() % w), int(rng() % h), int(rng() % w), int(rng() % h), weight);
    if (rng() % 3 == 0) {  // corner to corner
        rc.config.startX = rc.config.startY = 0;
        rc.config.goalX = w - 1;
        rc.config.goalY = h - 1;
    }
    if (plannerOptions) {
        rc.config.allowDiagonal = rng() % 2;
        rc.config.diagonalCostFlag = rng() % 2;
        if (rng() % 3 == 0) rc.config.openCapacity = 1 + int(rng() % 12);
        if (rng() % 3 == 0) rc.config.maxNodes = 1 + int(rng() % (w * h));
    }
    return rc;
}

void ExpectSameSearch(const RandomCase& rc, int index) {
    testing::ReferencePlanner reference;
    AStarPlanner fast;
    const bool refOk = reference.Setup(rc.config);
    ASSERT_EQ(fast.Setup(rc.config), refOk) << "case " << index;
    if (!refOk) return;
    reference.Reset();
    fast.Reset();
    reference.Search();
    fast.Search();
    ASSERT_EQ(FastPoints(fast), reference.Points()) << "case " << index << " " << rc.config.width << "x"
                                                    << rc.config.height << " weight " << rc.config.weight;
    EXPECT_EQ(fast.PathCost(), reference.PathCost()) << "case " << index;
    // Same number of expansions and the same frontier left behind.
    EXPECT_EQ(fast.ClosedCount(), reference.ClosedCount()) << "case " << index;
    EXPECT_EQ(fast.OpenSize(), reference.OpenSize()) << "case " << index;
}

TEST(AStarPlanner, MatchesThePlainSortedListPlannerOnRandomMaps) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 300; ++i) ExpectSameSearch(MakeRandomCase(rng, false), i);
}

TEST(AStarPlanner, MatchesThePlainPlannerWithDiagonalsAndSmallCapacities) {
    std::mt19937 rng(99);
    for (int i = 0; i < 200; ++i) ExpectSameSearch(MakeRandomCase(rng, true), i);
}

// Dijkstra over the planner's own cost grid, four directions, in doubles.
double DijkstraCost(const AStarPlanner& p, int w, int h, int sx, int sy, int gx, int gy) {
    std::vector<double> dist(std::size_t(w) * h, std::numeric_limits<double>::infinity());
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
    dist[std::size_t(sy) * w + sx] = 0;
    q.emplace(0.0, sy * w + sx);
    while (!q.empty()) {
        const auto [d, cell] = q.top();
        q.pop();
        if (d > dist[cell]) continue;
        const int x = cell % w, y = cell / w;
        if (x == gx && y == gy) return d;
        const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
        for (int k = 0; k < 4; ++k) {
            const int nx = x + dx[k], ny = y + dy[k];
            const float c = p.CostAt(nx, ny);
            if (c == -1.0f) continue;
            const int next = ny * w + nx;
            if (d + c < dist[next]) {
                dist[next] = d + c;
                q.emplace(d + c, next);
            }
        }
    }
    return -1;
}

TEST(AStarPlanner, HalfWeightPathsCostWhatDijkstraFinds) {
    std::mt19937 rng(5);
    int withPath = 0;
    for (int i = 0; i < 150; ++i) {
        RandomCase rc = MakeRandomCase(rng, false);
        rc.config.weight = i % 3 == 0 ? 0.0f : 0.5f;
        AStarPlanner p;
        if (!p.Setup(rc.config)) continue;
        p.Reset();
        p.Search();
        const PlannerConfig& c = rc.config;
        const double best = DijkstraCost(p, c.width, c.height, c.startX, c.startY, c.goalX, c.goalY);
        if (best < 0) {
            EXPECT_EQ(p.PathGoal(), nullptr) << "case " << i;
            continue;
        }
        ASSERT_NE(p.PathGoal(), nullptr) << "case " << i;
        ++withPath;
        // Sum the steps again in doubles, and check they are four-direction moves.
        const Points points = FastPoints(p);
        double cost = 0;
        for (std::size_t k = 1; k < points.size(); ++k) {
            const int step = std::abs(points[k].first - points[k - 1].first) +
                             std::abs(points[k].second - points[k - 1].second);
            ASSERT_EQ(step, 1) << "case " << i;
            cost += p.CostAt(points[k].first, points[k].second);
        }
        EXPECT_NEAR(cost, best, 1e-5 * best) << "case " << i;
    }
    EXPECT_GT(withPath, 50);
}

}  // namespace
}  // namespace corvane
