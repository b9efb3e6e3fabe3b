// Comparison operators of RtString with texts and numbers (1.0 true, 0.0 false).
#pragma once

namespace corvane {

} // namespace corvane
