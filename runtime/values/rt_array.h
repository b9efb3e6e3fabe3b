// RtArray and RtStringArray: the language's arrays of numbers and of strings,
// one to eight dimensions, dimension 1 varying fastest, every access bounds-checked.
// The commands over them are listed in runtime/values/values.h.
#pragma once

#include <cstdint>

#include "runtime/engine/error_codes.h"
#include "runtime/values/rt_string.h"

namespace corvane {

struct RtArray {
    double* elements = nullptr;           // inlineStore or a heap block
    double inlineStore[16] = {};          // used while the capacity is at most 16
    std::int32_t strides[7] = {};         // strides[k] = size 1 x ... x size k+1, a 0 counted as 1
    std::int32_t sizes[8] = {};           // sizes as given, truncated; 0 = not used
    std::uint32_t dimensionCount = 0;     // 1..8 once dimensioned
    std::int32_t capacity = 0;            // elements the storage holds

    RtArray() = default;
    ~RtArray();
    // elements may point into the object itself, so a member-wise copy would be
    // wrong; the language copies arrays with CopyArray.
    RtArray(const RtArray&) = delete;
    RtArray& operator=(const RtArray&) = delete;

    bool UsesInlineStore() const { return elements == inlineStore; }
};

struct RtStringArray {
    RtString* elements = nullptr;         // heap array of capacity strings
    std::int32_t strides[7] = {};
    std::int32_t sizes[8] = {};
    std::int32_t dimensionCount = 0;
    std::int32_t capacity = 0;

    RtStringArray() = default;
    ~RtStringArray();
    RtStringArray(const RtStringArray&) = delete;
    RtStringArray& operator=(const RtStringArray&) = delete;
};

// ---------------------------------------------------------------- inline machinery of ArrayElement (not commands)
namespace array_detail {

// Records the stop code and ends the program: 8 for an array whose first size
// is 0, 9 for an index out of range or missing storage.
[[noreturn]] void StopOnArrayError(ErrorCode code);

// An index truncated toward zero; NaN and indices beyond 64 bits come out as
// INT64_MIN, which every range check refuses.
inline std::int64_t TruncateIndex(double index) {
    return (index > -9.0e18 && index < 9.0e18) ? std::int64_t(index) : INT64_MIN;
}

// 1 when the truncated index lies outside 0..size-1, else 0. A dimension of
// size 0 only takes index 0 (the language passes 0 for the dimensions an access
// leaves out); a negative size takes none.
inline std::uint64_t IndexOutside(std::int64_t index, std::int32_t size) {
    const std::uint64_t limit = size > 0 ? std::uint64_t(size) : (size == 0 ? 1u : 0u);
    return std::uint64_t(index) >= limit;
}

// The element offset of an access; `outside` is non-zero when it must stop with
// error 9. The checks are combined arithmetically and tested once by the caller.
struct ElementPlace {
    std::int64_t offset;
    std::uint64_t outside;
};

inline ElementPlace PlaceElement(const std::int32_t* sizes, const std::int32_t* strides,
                                 double d1, double d2, double d3, double d4,
                                 double d5, double d6, double d7, double d8) {
    const std::int64_t i1 = TruncateIndex(d1), i2 = TruncateIndex(d2), i3 = TruncateIndex(d3),
                       i4 = TruncateIndex(d4), i5 = TruncateIndex(d5), i6 = TruncateIndex(d6),
                       i7 = TruncateIndex(d7), i8 = TruncateIndex(d8);
    // Grouped from the last dimension to the first: in the usual loop nest the
    // first index changes fastest, and the rest forms one invariant term.
    const std::uint64_t outside =
        ((((((IndexOutside(i8, sizes[7]) | IndexOutside(i7, sizes[6])) | IndexOutside(i6, sizes[5])) |
            IndexOutside(i5, sizes[4])) | IndexOutside(i4, sizes[3])) | IndexOutside(i3, sizes[2])) |
         IndexOutside(i2, sizes[1])) | IndexOutside(i1, sizes[0]);
    // Computed before the check is known, so in wrapping arithmetic: a refused
    // index must not overflow on its way to being refused.
    using U = std::uint64_t;
    const U offset = (((((U(i8) * U(std::int64_t(strides[6])) + U(i7) * U(std::int64_t(strides[5]))) +
                        U(i6) * U(std::int64_t(strides[4]))) + U(i5) * U(std::int64_t(strides[3]))) +
                      U(i4) * U(std::int64_t(strides[2]))) + U(i3) * U(std::int64_t(strides[1])) +
                     U(i2) * U(std::int64_t(strides[0]))) + U(i1);
    return {std::int64_t(offset), outside};
}

} // namespace array_detail

// ---------------------------------------------------------------- element access
// Reference to an element, for reading or writing; stops with error 8 when the
// first size is 0, with 9 for an index out of range or missing storage.
inline double& ArrayElement(RtArray& a, double i1, double i2 = 0, double i3 = 0, double i4 = 0,
                            double i5 = 0, double i6 = 0, double i7 = 0, double i8 = 0) {
    if (a.sizes[0] == 0) array_detail::StopOnArrayError(ErrorCode::EmptyArray);
    const array_detail::ElementPlace at =
        array_detail::PlaceElement(a.sizes, a.strides, i1, i2, i3, i4, i5, i6, i7, i8);
    if (at.outside | (a.elements == nullptr)) array_detail::StopOnArrayError(ErrorCode::IndexOutOfRange);
    return a.elements[at.offset];
}

inline RtString& ArrayElement(RtStringArray& a, double i1, double i2 = 0, double i3 = 0,
                              double i4 = 0, double i5 = 0, double i6 = 0, double i7 = 0,
                              double i8 = 0) {
    if (a.sizes[0] == 0) array_detail::StopOnArrayError(ErrorCode::EmptyArray);
    const array_detail::ElementPlace at =
        array_detail::PlaceElement(a.sizes, a.strides, i1, i2, i3, i4, i5, i6, i7, i8);
    if (at.outside | (a.elements == nullptr)) array_detail::StopOnArrayError(ErrorCode::IndexOutOfRange);
    return a.elements[at.offset];
}

} // namespace corvane
