// Degree trigonometry, integer remainder, rectangle overlap and the ISAAC
// random-number generator.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/values/values.h"

namespace corvane {

namespace {

// Degrees per radian as the language has always written it (10 significant
// digits), not 180/pi: programs depend on the exact results.
constexpr double kDegreesPerRadian = 57.2957795;

std::int32_t TruncateInt32(double d) {
    if (!(d == d)) return 0;
    if (d >= 2147483647.0) return 2147483647;
    if (d <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(d);
}

} // namespace

// ---------------------------------------------------------------- trigonometry

double SinDeg(double angle) { return std::sin(angle / kDegreesPerRadian); }
double CosDeg(double angle) { return std::cos(angle / kDegreesPerRadian); }
double TanDeg(double angle) { return std::tan(angle / kDegreesPerRadian); }

double ASinDeg(double x) {
    if (x >= 1.0) return 90.0;
    if (x <= -1.0) return -90.0;
    return std::asin(x) * kDegreesPerRadian;
}

double ACosDeg(double x) {
    if (x >= 1.0) return 0.0;
    if (x <= -1.0) return 180.0;
    return std::acos(x) * kDegreesPerRadian;
}

double ATan2Deg(double y, double x) { return std::atan2(y, x) * kDegreesPerRadian; }

// ---------------------------------------------------------------- arithmetic

double Power(double base, double exponent) { return std::pow(base, exponent); }
double SquareRoot(double x) { return std::sqrt(x); }
double Absolute(double x) { return std::fabs(x); }

double IntMod(double a, double b) {
    const std::int32_t ia = TruncateInt32(a);
    const std::int32_t ib = TruncateInt32(b);
    if (ib == 0) return 0.0;
    if (ib == -1) return 0.0;   // INT32_MIN % -1 overflows in hardware; the remainder is 0
    return ia % ib;             // C++ keeps the sign of the dividend
}

double BoxesOverlap(double x1, double y1, double w1, double h1,
                    double x2, double y2, double w2, double h2) {
    // Each rectangle covers [start, start + size] on an axis, a negative size
    // reaching backwards; touching intervals count as overlapping.
    auto overlaps = [](double s1, double len1, double s2, double len2) {
        const double lo1 = std::min(s1, s1 + len1), hi1 = std::max(s1, s1 + len1);
        const double lo2 = std::min(s2, s2 + len2), hi2 = std::max(s2, s2 + len2);
        return std::max(lo1, lo2) <= std::min(hi1, hi2);
    };
    return overlaps(x1, w1, x2, w2) && overlaps(y1, h1, y2, h2) ? 1.0 : 0.0;
}

// ---------------------------------------------------------------- ISAAC

namespace {

constexpr int kSizeLog = 8;
constexpr int kSize = 1 << kSizeLog;   // 256 words

struct Isaac {
    std::uint32_t memory[kSize];   // the state
    std::uint32_t a, b, c;         // accumulator, last result, counter
    std::uint32_t results[kSize];  // the result block of the last round
    std::uint32_t count;           // results not yet drawn
};

Isaac generator;

// One ISAAC round: 256 new state words and 256 new results.
void IsaacRound(Isaac& g) {
    std::uint32_t* mm = g.memory;
    std::uint32_t* r = g.results;
    std::uint32_t a = g.a;
    std::uint32_t b = g.b + (++g.c);
    auto step = [&](std::uint32_t mix, std::uint32_t*& m, std::uint32_t*& m2) {
        const std::uint32_t x = *m;
        a = (a ^ mix) + *(m2++);
        const std::uint32_t y = mm[(x >> 2) & (kSize - 1)] + a + b;
        *(m++) = y;
        b = mm[(y >> (kSizeLog + 2)) & (kSize - 1)] + x;
        *(r++) = b;
    };
    std::uint32_t* m = mm;
    std::uint32_t* mend = mm + kSize / 2;
    std::uint32_t* m2 = mend;
    while (m < mend) {
        step(a << 13, m, m2);
        step(a >> 6, m, m2);
        step(a << 2, m, m2);
        step(a >> 16, m, m2);
    }
    m2 = mm;
    while (m2 < mend) {
        step(a << 13, m, m2);
        step(a >> 6, m, m2);
        step(a << 2, m, m2);
        step(a >> 16, m, m2);
    }
    g.a = a;
    g.b = b;
}

inline void Mix(std::uint32_t v[8]) {
    std::uint32_t &a = v[0], &b = v[1], &c = v[2], &d = v[3], &e = v[4], &f = v[5], &g = v[6], &h = v[7];
    a ^= b << 11; d += a; b += c;
    b ^= c >> 2;  e += b; c += d;
    c ^= d << 8;  f += c; d += e;
    d ^= e >> 16; g += d; e += f;
    e ^= f << 10; h += e; f += g;
    f ^= g >> 4;  a += f; g += h;
    g ^= h << 8;  b += g; h += a;
    h ^= a >> 9;  c += h; a += b;
}

// ISAAC's initialisation with the seed words already in the result block.
void IsaacInit(Isaac& g) {
    g.a = g.b = g.c = 0;
    std::uint32_t v[8];
    std::fill(v, v + 8, 0x9E3779B9u);
    for (int i = 0; i < 4; ++i) Mix(v);
    for (int pass = 0; pass < 2; ++pass) {
        const std::uint32_t* source = pass == 0 ? g.results : g.memory;
        for (int i = 0; i < kSize; i += 8) {
            for (int j = 0; j < 8; ++j) v[j] += source[i + j];
            Mix(v);
            for (int j = 0; j < 8; ++j) g.memory[i + j] = v[j];
        }
    }
    IsaacRound(g);
    g.count = kSize;
}

void Seed(Isaac& g, std::uint32_t seed) {
    std::fill(g.results, g.results + kSize, 0u);
    std::fill(g.memory, g.memory + kSize, 0u);
    g.results[0] = seed;
    IsaacInit(g);
}

// The generator holds a proper (if fixed) stream before start-up seeds it.
struct InitialSeed {
    InitialSeed() { Seed(generator, 0); }
} initialSeed;

// Successive words of a round are handed out, a new round running only when all
// 256 are used, as ISAAC is meant to be read.
inline std::uint32_t NextWord(Isaac& g) {
    if (g.count == 0) {
        IsaacRound(g);
        g.count = kSize;
    }
    return g.results[--g.count];
}

} // namespace

void SeedRandom(std::uint32_t seed) { Seed(generator, seed); }

// The range's low 32 bits plus 1 form the modulus, computed in 64 bits so that
// n = -1 (low bits all ones) means the whole 32-bit range rather than a division
// by zero; other negative n give their low bits plus 1 as the range.
double Random(double n) {
    std::int64_t range;
    if (!(n == n)) range = 0;
    else if (n >= 9.2e18) range = INT64_MAX;
    else if (n <= -9.2e18) range = INT64_MIN;
    else range = static_cast<std::int64_t>(n);
    const std::uint64_t modulus = std::uint64_t(std::uint32_t(range)) + 1;
    return double(NextWord(generator) % modulus);
}

} // namespace corvane
