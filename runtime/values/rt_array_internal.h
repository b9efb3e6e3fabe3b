// Array plumbing the values library shares between its files; not installed.
#pragma once

#include <cstdint>

#include "runtime/values/rt_array.h"

namespace corvane::array_detail {

// DimArray(a, count) for a caller that assigns elements 0..count-1 itself at
// once: when the storage is kept, only the elements after those are emptied.
RtStringArray& DimArrayForFill(RtStringArray& a, std::uint32_t count);

} // namespace corvane::array_detail
