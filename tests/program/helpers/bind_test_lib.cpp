// A library for the binding tests. BIND_TEST_VALUE tells its builds apart.
// (Decorated export names like "_Name@4" cannot be produced here: the linker
// reads '@' as a symbol version, which is why lookups fall back to "Name".)
#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int BindTestValue() { return BIND_TEST_VALUE; }
EXPORT int BindTestAdd(int a, int b) { return a + b; }
EXPORT int BindTestNegate(int x) { return -x; }
