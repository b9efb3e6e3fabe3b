// Shared by the input sources: argument conversion and the joystick table sync.
#pragma once

#include <climits>

#include "runtime/input_sound/input.h"

namespace corvane::input_detail {

// A language number as a 32-bit integer, truncated toward zero; NaN reads as 0 and
// numbers beyond the range saturate instead of being undefined.
inline int TruncateArgument(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);
}

// The record's joystick count, slots and names follow the platform's joystick list.
void SyncJoysticks(InputDevices& devices);

} // namespace corvane::input_detail
