// RtArray and RtStringArray: the language's arrays of numbers and of strings,
// one to eight dimensions, dimension 1 varying fastest, every access bounds-checked.
// The commands over them are listed in runtime/values/values.h.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

namespace corvane {

struct RtArray {
    double* elements = nullptr;           // inlineStore or a heap block
    double inlineStore[16] = {};          // used while the capacity is at most 16
    std::int32_t strides[7] = {};         // strides[k] = size 1 x ... x size k+1, zeros included
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

namespace array_detail {

// Records the stop code and ends the program: 8 for an array whose first size
// is 0, 9 for an index out of range or missing storage.
[[noreturn]] void StopOnArrayError(int code);

// The element offset, or -1 when the access must stop with error 9. An index is
// accepted when its truncated value lies in 0..size-1; a dimension of size 0 only
// takes index 0 (the language passes 0 for the dimensions an access leaves out).
// The comparisons are made on the doubles, so NaN and huge indices fail too.
inline std::int64_t ElementOffset(const std::int32_t* sizes, const std::int32_t* strides,
                                  double i1, double i2, double i3, double i4,
                                  double i5, double i6, double i7, double i8) {
    const double idx[8] = {i1, i2, i3, i4, i5, i6, i7, i8};
    std::int64_t offset = 0;
    for (int k = 0; k < 8; ++k) {
        const double limit = sizes[k] == 0 ? 1.0 : double(sizes[k]);
        if (!(idx[k] > -1.0 && idx[k] < limit)) return -1;
        const std::int64_t i = std::int64_t(idx[k]);
        offset += k == 0 ? i : i * strides[k - 1];
    }
    return offset;
}

} // namespace array_detail

// Reference to an element, for reading or writing; stops with error 8 or 9.
inline double& ArrayElement(RtArray& a, double i1, double i2 = 0, double i3 = 0, double i4 = 0,
                            double i5 = 0, double i6 = 0, double i7 = 0, double i8 = 0) {
    if (a.sizes[0] == 0) array_detail::StopOnArrayError(8);
    const std::int64_t at =
        array_detail::ElementOffset(a.sizes, a.strides, i1, i2, i3, i4, i5, i6, i7, i8);
    if (at < 0 || !a.elements) array_detail::StopOnArrayError(9);
    return a.elements[at];
}

inline RtString& ArrayElement(RtStringArray& a, double i1, double i2 = 0, double i3 = 0,
                              double i4 = 0, double i5 = 0, double i6 = 0, double i7 = 0,
                              double i8 = 0) {
    if (a.sizes[0] == 0) array_detail::StopOnArrayError(8);
    const std::int64_t at =
        array_detail::ElementOffset(a.sizes, a.strides, i1, i2, i3, i4, i5, i6, i7, i8);
    if (at < 0 || !a.elements) array_detail::StopOnArrayError(9);
    return a.elements[at];
}

} // namespace corvane
