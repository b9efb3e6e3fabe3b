// Run-time binding of functions in outside libraries for the user program.
#pragma once

#include <cstdint>

#include "runtime/platform/platform_dynlib.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// Every library load the program made, in load order. Handles are pointer-sized:
// a 64-bit library handle does not fit the 32 bits a Win32 module handle had.
struct ModuleList {
    platform::LibraryHandle* entries = nullptr;   // count used of capacity
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;                   // 0, then 512, then +128 per growth
};
extern ModuleList loadedModules;

// ---------------------------------------------------------------- DLL binding
void BindDllFunction(const RtString& libraryName, const RtString& functionName, void** target); // load the library, fill *target with the function (null when absent); untouched when the library does not load
void FreeLoadedModules();                         // free every load in load order, then the list (process exit)

} // namespace corvane
