// Hooks for tests only; programs never call these.
#pragma once

namespace corvane {

using TimeSourceFn = double (*)();
void SetTimeSourceForTesting(TimeSourceFn source); // replace NowMilliseconds' clock (null restores it)

} // namespace corvane
