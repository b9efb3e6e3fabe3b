// FindPath corner to corner with weight 0.5 on open, 30 % walled and maze maps of
// 256 x 256 and 1024 x 1024, against a plain binary-heap A* (std::priority_queue,
// per-cell g array) in the same run; the plain sorted-list planner on 256 x 256
// for scale. After the run a table of FindPath / baseline ratios is printed
// (CPU time, as the machine may be shared).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <queue>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/path/path.h"
#include "runtime/values/values.h"
#include "tests/path/reference_planner.h"

namespace {

using corvane::RtArray;

enum MapKind { kOpen = 0, kWalls = 1, kMaze = 2 };
const char* const kKindNames[] = {"open", "walls30", "maze"};

// Four-direction reachability from (0, 0) to the far corner.
bool Connected(const std::vector<double>& m, int w, int h) {
    std::vector<char> seen(m.size(), 0);
    std::vector<int> stack = {0};
    seen[0] = 1;
    while (!stack.empty()) {
        const int c = stack.back();
        stack.pop_back();
        if (c == w * h - 1) return true;
        const int x = c % w, y = c / w;
        const int nb[4][2] = {{x, y - 1}, {x + 1, y}, {x - 1, y}, {x, y + 1}};
        for (const auto& n : nb) {
            if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h) continue;
            const int i = n[1] * w + n[0];
            if (!seen[i] && m[i] > 0) {
                seen[i] = 1;
                stack.push_back(i);
            }
        }
    }
    return false;
}

std::vector<double> MakeMap(MapKind kind, int size) {
    std::vector<double> m(std::size_t(size) * size, 1.0);
    if (kind == kWalls) {
        for (unsigned seed = 1;; ++seed) {
            std::mt19937 rng(seed);
            for (double& v : m) v = rng() % 100 < 30 ? 0.0 : 1.0;
            m.front() = m.back() = 1.0;
            if (Connected(m, size, size)) break;
        }
    } else if (kind == kMaze) {
        // Rooms on even coordinates, carved by a depth-first walk; the far corner
        // is reached only through the last room.
        std::fill(m.begin(), m.end(), 0.0);
        std::mt19937 rng(3);
        const int rooms = (size + 1) / 2;
        std::vector<char> visited(std::size_t(rooms) * rooms, 0);
        std::vector<std::pair<int, int>> stack = {{0, 0}};
        visited[0] = 1;
        m[0] = 1.0;
        while (!stack.empty()) {
            const auto [rx, ry] = stack.back();
            std::pair<int, int> options[4];
            int count = 0;
            const int d[4][2] = {{0, -1}, {1, 0}, {-1, 0}, {0, 1}};
            for (const auto& dd : d) {
                const int nx = rx + dd[0], ny = ry + dd[1];
                if (nx >= 0 && ny >= 0 && nx < rooms && ny < rooms && 2 * nx < size && 2 * ny < size &&
                    !visited[std::size_t(ny) * rooms + nx])
                    options[count++] = {nx, ny};
            }
            if (count == 0) {
                stack.pop_back();
                continue;
            }
            const auto [nx, ny] = options[rng() % count];
            visited[std::size_t(ny) * rooms + nx] = 1;
            m[std::size_t(ry + ny) * size + (rx + nx)] = 1.0;  // the wall between
            m[std::size_t(2 * ny) * size + 2 * nx] = 1.0;
            stack.emplace_back(nx, ny);
        }
        m[std::size_t(size - 1) * size + size - 1] = 1.0;
        m[std::size_t(size - 2) * size + size - 1] = 1.0;
    }
    return m;
}

struct BenchMap {
    std::vector<double> values;
    RtArray array;
    int size = 0;
};

BenchMap& GetMap(MapKind kind, int size) {
    static std::map<std::pair<int, int>, BenchMap> maps;
    BenchMap& b = maps[{int(kind), size}];
    if (b.size == 0) {
        b.values = MakeMap(kind, size);
        b.size = size;
        corvane::DimArray(b.array, size, size);
        std::copy(b.values.begin(), b.values.end(), b.array.elements);
    }
    return b;
}

// The baseline: textbook A* with lazy deletion, over the same normalised costs
// and the same f = g + weight x (h - g), four directions.
struct BaselineResult {
    std::vector<std::pair<int, int>> points;
    float cost = -1;
};

BaselineResult BaselineAStar(const std::vector<double>& map, int w, int h, float weight) {
    const int goal = w * h - 1, gx = w - 1, gy = h - 1;
    std::vector<float> cost(map.size());
    float maxValue = 0;
    for (std::size_t i = 0; i < map.size(); ++i) {
        cost[i] = map[i] > 0 ? float(map[i]) : -1.0f;
        maxValue = std::max(maxValue, cost[i]);
    }
    for (float& c : cost)
        if (c > 0) c = c / maxValue + 1;
    std::vector<float> g(map.size(), std::numeric_limits<float>::infinity());
    std::vector<int> parent(map.size(), -1);
    std::vector<char> closed(map.size(), 0);
    using Item = std::pair<float, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    g[0] = 0;
    open.emplace(weight * float(gx + gy), 0);
    BaselineResult r;
    while (!open.empty()) {
        const int cell = open.top().second;
        open.pop();
        if (closed[cell]) continue;
        closed[cell] = 1;
        if (cell == goal) {
            r.cost = g[cell];
            for (int c = cell; c >= 0; c = parent[c]) r.points.emplace_back(c % w, c / w);
            std::reverse(r.points.begin(), r.points.end());
            return r;
        }
        const int x = cell % w, y = cell / w;
        const int nb[4][2] = {{x, y - 1}, {x + 1, y}, {x - 1, y}, {x, y + 1}};
        for (const auto& n : nb) {
            if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h) continue;
            const int i = n[1] * w + n[0];
            if (cost[i] < 0 || closed[i]) continue;
            const float gi = g[cell] + cost[i];
            if (gi < g[i]) {
                g[i] = gi;
                parent[i] = cell;
                const float hi = float(gx - n[0] + gy - n[1]);
                open.emplace(gi + weight * (hi - gi), i);
            }
        }
    }
    return r;
}

void BM_FindPath(benchmark::State& state, MapKind kind, int size) {
    BenchMap& m = GetMap(kind, size);
    RtArray path;
    double n = 0;
    for (auto _ : state) {
        n = corvane::FindPath(m.array, path, 0.5, 0, 0, size - 1, size - 1);
        benchmark::DoNotOptimize(n);
    }
    // The same path cost as the baseline (the points may differ among equal-cost paths).
    const BaselineResult base = BaselineAStar(m.values, size, size, 0.5f);
    corvane::PlannerConfig c;
    c.goalX = c.goalY = size - 1;
    c.width = c.height = size;
    c.map = m.values.data();
    corvane::AStarPlanner p;
    p.Setup(c);
    p.Reset();
    p.Search();
    if (n <= 0 || std::fabs(p.PathCost() - base.cost) > 1e-4f * base.cost)
        state.SkipWithError("FindPath and the baseline disagree on the path cost");
    state.counters["points"] = n;
}

void BM_BinaryHeapAStar(benchmark::State& state, MapKind kind, int size) {
    BenchMap& m = GetMap(kind, size);
    std::size_t points = 0;
    for (auto _ : state) {
        BaselineResult r = BaselineAStar(m.values, size, size, 0.5f);
        points = r.points.size();
        benchmark::DoNotOptimize(r.points.data());
    }
    state.counters["points"] = double(points);
}

void BM_SortedListPlanner(benchmark::State& state, MapKind kind, int size) {
    BenchMap& m = GetMap(kind, size);
    corvane::PlannerConfig c;
    c.goalX = c.goalY = size - 1;
    c.width = c.height = size;
    c.map = m.values.data();
    std::size_t points = 0;
    for (auto _ : state) {
        points = corvane::testing::ReferencePath(c).size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = double(points);
}

void Register() {
    for (int size : {256, 1024}) {
        for (MapKind kind : {kOpen, kWalls, kMaze}) {
            const std::string suffix = std::string(kKindNames[kind]) + "/" + std::to_string(size);
            benchmark::RegisterBenchmark(("FindPath/" + suffix).c_str(), BM_FindPath, kind, size)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BinaryHeapAStar/" + suffix).c_str(), BM_BinaryHeapAStar, kind, size)
                ->Unit(benchmark::kMillisecond);
            if (size == 256)
                benchmark::RegisterBenchmark(("SortedListPlanner/" + suffix).c_str(), BM_SortedListPlanner, kind,
                                             size)
                    ->Unit(benchmark::kMillisecond);
        }
    }
}

// Collects the per-search times to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nper search, CPU ms        FindPath   binary heap   ratio   sorted list\n");
        for (int size : {256, 1024})
            for (int kind = 0; kind < 3; ++kind) {
                const std::string s = std::string(kKindNames[kind]) + "/" + std::to_string(size);
                const double f = times["FindPath/" + s], b = times["BinaryHeapAStar/" + s];
                const auto ref = times.find("SortedListPlanner/" + s);
                std::printf("%-22s %12.3f %13.3f %7.2f", s.c_str(), f, b, b > 0 ? f / b : 0.0);
                if (ref != times.end()) std::printf("   %10.1f (x%.0f)", ref->second, ref->second / f);
                std::printf("\n");
            }
    }

private:
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
