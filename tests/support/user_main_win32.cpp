// The test programs have no program of their own. The Windows linker may bring in
// the runtime's entry (for a shared inline definition) and with it the call of
// UserMain, so the tests give one that ends at once.
#include "runtime/frame/frame.h"

namespace corvane {

int UserMain() { return 0; }

} // namespace corvane
