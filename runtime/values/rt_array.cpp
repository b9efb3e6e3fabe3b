// Numeric and string arrays: dimensioning, copying, re-dimensioning, bounds.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/engine/engine_internal.h"
#include "runtime/values/rt_array.h"
#include "runtime/values/rt_array_internal.h"
#include "runtime/values/values.h"

namespace corvane {

namespace array_detail {

void StopOnArrayError(ErrorCode code) {
    UpStopProgram(code, code == ErrorCode::EmptyArray ? "an array with no elements was read or written" : "array index out of range");
}

} // namespace array_detail

namespace {

// Truncation toward zero into 32 bits; NaN gives 0 and values beyond the range
// saturate (they can never describe storage anyway).
std::int32_t TruncateSize(double d) {
    if (!(d == d)) return 0;
    if (d >= 2147483647.0) return 2147483647;
    if (d <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(d);
}

// Everything a dimension statement decides from its eight sizes.
struct Shape {
    std::int32_t sizes[8];
    std::int32_t strides[7];
    std::uint32_t dimensionCount;
    bool firstBelowOne;
    std::int64_t count;           // elements; -1 when it cannot be stored
    std::int32_t neededCapacity;  // count with its low three bits cleared, plus 8
};

Shape MakeShape(const double d[8]) {
    Shape s{};
    s.firstBelowOne = !(d[0] >= 1.0);   // NaN counts as below 1
    for (int k = 0; k < 8; ++k) s.sizes[k] = TruncateSize(d[k]);
    if (s.firstBelowOne) s.sizes[0] = 0;

    // Element count with every later size below 1 counted as 1; it is kept in
    // 64 bits so that an oversized request is refused instead of wrapping.
    const std::int64_t limit = 0x7FFFFFF0;   // the capacity must still fit 32 bits
    std::int64_t n = s.sizes[0];
    for (int k = 1; k < 8 && n > 0; ++k) {
        n *= std::max<std::int64_t>(1, s.sizes[k]);
        if (n > limit) break;
    }
    s.count = n > limit ? -1 : n;
    s.neededCapacity = s.count < 0 ? 0 : std::int32_t((s.count & ~std::int64_t(7)) + 8);

    // Strides count a size of 0 as 1, like the element count: a zero stride would
    // make (1,0,2) and (1,0,0) of a (2,0,3) array the same element. With the count
    // in range the product never exceeds it unless a size is negative, and such an
    // array refuses every access anyway.
    std::int64_t p = 1;
    for (int k = 0; k < 7; ++k) {
        p *= s.sizes[k] == 0 ? 1 : s.sizes[k];
        if (p > INT32_MAX || p < INT32_MIN) p = 0;   // only negative sizes get here
        s.strides[k] = std::int32_t(p);
    }

    s.dimensionCount = 1;
    for (int k = 7; k >= 2; --k) {
        if (s.sizes[k] != 0) { s.dimensionCount = std::uint32_t(k + 1); break; }
    }
    if (s.dimensionCount == 1 && s.sizes[1] != 0) s.dimensionCount = 2;
    return s;
}

template <typename Array>
void TakeShape(Array& a, const Shape& s) {
    std::memcpy(a.sizes, s.sizes, sizeof a.sizes);
    std::memcpy(a.strides, s.strides, sizeof a.strides);
    a.dimensionCount = static_cast<decltype(a.dimensionCount)>(s.dimensionCount);
}

void ReleaseStorage(RtArray& a) {
    if (a.elements && !a.UsesInlineStore()) std::free(a.elements);
    a.elements = nullptr;
    a.capacity = 0;
}

[[noreturn]] void StopForStorage() { UpStopProgram(ErrorCode::NoStorage, "no memory for an array of that size"); }

void SizesOf(const std::int32_t sizes[8], double out[8]) {
    for (int k = 0; k < 8; ++k) out[k] = sizes[k];
}

} // namespace

RtArray::~RtArray() { ReleaseStorage(*this); }

RtStringArray::~RtStringArray() {
    delete[] elements;
    elements = nullptr;
    capacity = 0;
}

// ---------------------------------------------------------------- dimensioning

static RtArray& DimArrayImpl(RtArray& a, const double d[8]) {
    const Shape s = MakeShape(d);
    if (s.count < 0) {
        ReleaseStorage(a);
        StopForStorage();
    }
    if (a.capacity < s.neededCapacity || s.firstBelowOne || !a.elements) {
        ReleaseStorage(a);
        if (s.neededCapacity <= 16) {
            a.elements = a.inlineStore;
        } else {
            a.elements = static_cast<double*>(std::malloc(sizeof(double) * std::size_t(s.neededCapacity)));
        }
        if (!a.elements) StopForStorage();
        a.capacity = s.neededCapacity;
    }
    std::fill(a.elements, a.elements + a.capacity, 0.0);
    TakeShape(a, s);
    return a;
}

RtArray& DimArray(RtArray& a, double d1, double d2, double d3, double d4, double d5, double d6,
                  double d7, double d8) {
    const double d[8] = {d1, d2, d3, d4, d5, d6, d7, d8};
    return DimArrayImpl(a, d);
}

namespace {

// Dimensioning a string array; the first `filled` elements of kept storage are
// left for the caller to assign.
RtStringArray& DimStrings(RtStringArray& a, const double d[8], std::int32_t filled) {
    const Shape s = MakeShape(d);
    if (s.count < 0) {
        delete[] a.elements;
        a.elements = nullptr;
        a.capacity = 0;
        StopForStorage();
    }
    if (a.capacity < s.neededCapacity || s.firstBelowOne || !a.elements) {
        delete[] a.elements;
        a.elements = new (std::nothrow) RtString[std::size_t(s.neededCapacity)];
        a.capacity = a.elements ? s.neededCapacity : 0;
        if (!a.elements) StopForStorage();
    } else {
        for (std::int32_t i = std::max(filled, 0); i < s.neededCapacity; ++i) a.elements[i] = "";
    }
    TakeShape(a, s);
    return a;
}

} // namespace

RtStringArray& DimArray(RtStringArray& a, double d1, double d2, double d3, double d4, double d5,
                        double d6, double d7, double d8) {
    const double d[8] = {d1, d2, d3, d4, d5, d6, d7, d8};
    return DimStrings(a, d, 0);
}

namespace array_detail {

RtStringArray& DimArrayForFill(RtStringArray& a, std::uint32_t count) {
    // A count beyond 32-bit storage stops with error 7 inside, as DimArray would.
    const double d[8] = {double(count), 0, 0, 0, 0, 0, 0, 0};
    return DimStrings(a, d, std::int32_t(std::min<std::uint32_t>(count, INT32_MAX)));
}

} // namespace array_detail

// ---------------------------------------------------------------- copy and re-dimension

RtArray& CopyArray(RtArray& target, const RtArray& source) {
    if (&target == &source) return target;   // dimensioning would clear the source first
    double d[8];
    SizesOf(source.sizes, d);
    DimArrayImpl(target, d);
    const Shape s = MakeShape(d);
    if (s.count > 0 && source.elements) {
        // The source holds at least as many elements as its own sizes describe.
        const std::int64_t n = std::min<std::int64_t>(s.count, source.capacity);
        std::memcpy(target.elements, source.elements, sizeof(double) * std::size_t(n));
    }
    return target;
}

namespace {

// Copies the elements whose indices lie below the bounds m, dimension by dimension;
// the nesting stops at the first dimension whose bound is 0, its index and the
// ones after it staying 0.
void CopyOverlap(RtArray& to, RtArray& from, const std::int32_t m[8], int k, double idx[8]) {
    if (k == 8 || m[k] == 0) {
        ArrayElement(to, idx[0], idx[1], idx[2], idx[3], idx[4], idx[5], idx[6], idx[7]) =
            ArrayElement(from, idx[0], idx[1], idx[2], idx[3], idx[4], idx[5], idx[6], idx[7]);
        return;
    }
    for (std::int32_t i = 0; i < m[k]; ++i) {
        idx[k] = i;
        CopyOverlap(to, from, m, k + 1, idx);
    }
    idx[k] = 0;
}

} // namespace

RtArray& RedimArray(RtArray& a, double d1, double d2, double d3, double d4, double d5, double d6,
                    double d7, double d8) {
    RtArray temp;
    DimArray(temp, d1, d2, d3, d4, d5, d6, d7, d8);

    std::int32_t m[8];
    for (int k = 0; k < 8; ++k) m[k] = std::min(temp.sizes[k], a.sizes[k]);
    // The first dimension always loops; with no overlap there nothing is copied.
    if (m[0] > 0) {
        double idx[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (std::int32_t i = 0; i < m[0]; ++i) {
            idx[0] = i;
            CopyOverlap(temp, a, m, 1, idx);
        }
    }

    if (a.UsesInlineStore() || temp.UsesInlineStore()) {
        CopyArray(a, temp);
    } else {
        std::swap(a.elements, temp.elements);
        std::swap(a.capacity, temp.capacity);
        std::memcpy(a.sizes, temp.sizes, sizeof a.sizes);
        std::memcpy(a.strides, temp.strides, sizeof a.strides);
        a.dimensionCount = temp.dimensionCount;
    }
    return a;   // temp frees the block it holds now
}

double ArrayBound(const RtArray& a, double dimension) {
    if (!(dimension > -1.0 && dimension < 8.0)) return 0.0;
    return a.sizes[static_cast<int>(dimension)];
}

double ArrayBound(const RtStringArray& a, double dimension) {
    if (!(dimension > -1.0 && dimension < 8.0)) return 0.0;
    return a.sizes[static_cast<int>(dimension)];
}

} // namespace corvane
