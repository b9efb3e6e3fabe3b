// Platform services: dynamic libraries.
#pragma once

#include <string>
#include <vector>

namespace corvane::platform {

// ---------------------------------------------------------------- dynamic libraries
using LibraryHandle = void*;                        // opaque; null = no library

LibraryHandle LoadDynamicLibrary(const char* name); // "X.dll" found as given or as libX.so; null when none loads
void* FindLibrarySymbol(LibraryHandle library, const char* name); // "_Name@N" found as given, then as "Name"; null when absent
// Exactly this file: a bare name through the system's search, a path as given; error: why not.
LibraryHandle OpenLibraryFile(const char* file, std::string* error);
bool FreeDynamicLibrary(LibraryHandle library);     // drop one load of the library; false for null or on failure

std::vector<std::string> LibraryFileCandidates(const char* name); // the files LoadDynamicLibrary tries, in order
std::string UndecoratedSymbolName(const char* name); // "_Name@N" -> "Name"; empty when name is not decorated

} // namespace corvane::platform
