// Per-thread scratch objects. In the Windows build (mingw-w64's emulated TLS) a
// thread_local object's destructor runs at thread exit after its storage has been
// freed, so a thread ending with a non-empty container crashes; there such objects
// are made once per thread and never destroyed (a few bytes per ended thread).
#pragma once

#ifdef _WIN32
#define CORVANE_THREAD_SCRATCH(type, name) thread_local type& name = *new type
#else
#define CORVANE_THREAD_SCRATCH(type, name) thread_local type name
#endif
