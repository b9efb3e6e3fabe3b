// The network's start and end, called by the program's start-up and end (and the
// tests); not installed with net.h.
#pragma once

#include "runtime/net/net.h"

namespace corvane {

void InitNetwork();                                           // the idle session record of start-up (once)
void ReleaseNetwork();                                        // stop the thread (at most 3 s), say goodbye, free the record

} // namespace corvane
