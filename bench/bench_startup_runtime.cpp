// A runtime program that ends after its first presented frame (start-up presents
// the loading screen; the user program then returns at once).
#include "runtime/frame/frame.h"

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

int main() { return corvane::RuntimeMain(nullptr, nullptr, "", 1); }
