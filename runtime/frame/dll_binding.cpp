// Run-time binding of outside library functions, and the list of every load
// made for it, kept so that process exit can release them in order.
#include "runtime/frame/dll_binding.h"

#include <cstring>
#include <new>

namespace corvane {

ModuleList loadedModules;

namespace {

constexpr std::uint32_t kFirstCapacity = 512;
constexpr std::uint32_t kCapacityStep = 128;

// False only when no room could be had; the list is then unchanged.
bool AppendModule(platform::LibraryHandle module) {
    ModuleList& list = loadedModules;
    if (list.count == list.capacity) {
        std::uint32_t grown = list.capacity == 0 ? kFirstCapacity : list.capacity + kCapacityStep;
        auto* entries = new (std::nothrow) platform::LibraryHandle[grown];
        if (!entries) return false;
        if (list.count) std::memcpy(entries, list.entries, list.count * sizeof(platform::LibraryHandle));
        delete[] list.entries;
        list.entries = entries;
        list.capacity = grown;
    }
    list.entries[list.count++] = module;
    return true;
}

} // namespace

void BindDllFunction(const RtString& libraryName, const RtString& functionName, void** target) {
    try {
        platform::LibraryHandle module = platform::LoadDynamicLibrary(libraryName.Buffer());
        if (!module) return;
        // Should the list not grow, the load stays unrecorded rather than being
        // dropped: the function handed out below must stay mapped.
        AppendModule(module);
        void* function = platform::FindLibrarySymbol(module, functionName.Buffer());
        if (target) *target = function;
    } catch (...) {
        // Out of memory while mapping the names: as if the library was not found.
    }
}

void FreeLoadedModules() {
    ModuleList& list = loadedModules;
    for (std::uint32_t i = 0; i < list.count; ++i) platform::FreeDynamicLibrary(list.entries[i]);
    delete[] list.entries;
    list.entries = nullptr;
    list.count = 0;
    list.capacity = 0;
}

} // namespace corvane
