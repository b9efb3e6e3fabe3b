// Typed access to the nine extension entry points start-up looked up. Each is
// null when the driver lacks it; callers test before use.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "runtime/engine/engine.h"
#include "runtime/engine/surface.h"

namespace corvane::gl {

template <typename Fn>
inline Fn Entry(void* p) { return reinterpret_cast<Fn>(p); }

inline PFNGLACTIVETEXTUREARBPROC ActiveTexture() { return Entry<PFNGLACTIVETEXTUREARBPROC>(GLEntryPoints().activeTexture); }
inline PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2f() { return Entry<PFNGLMULTITEXCOORD2FARBPROC>(GLEntryPoints().multiTexCoord2f); }
inline PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTexture() { return Entry<PFNGLCLIENTACTIVETEXTUREARBPROC>(GLEntryPoints().clientActiveTexture); }
inline PFNGLGENBUFFERSARBPROC GenBuffers() { return Entry<PFNGLGENBUFFERSARBPROC>(GLEntryPoints().genBuffers); }
inline PFNGLBINDBUFFERARBPROC BindBuffer() { return Entry<PFNGLBINDBUFFERARBPROC>(GLEntryPoints().bindBuffer); }
inline PFNGLBUFFERDATAARBPROC BufferData() { return Entry<PFNGLBUFFERDATAARBPROC>(GLEntryPoints().bufferData); }
inline PFNGLDELETEBUFFERSARBPROC DeleteBuffers() { return Entry<PFNGLDELETEBUFFERSARBPROC>(GLEntryPoints().deleteBuffers); }
inline PFNGLMAPBUFFERARBPROC MapBuffer() { return Entry<PFNGLMAPBUFFERARBPROC>(GLEntryPoints().mapBuffer); }
inline PFNGLUNMAPBUFFERARBPROC UnmapBuffer() { return Entry<PFNGLUNMAPBUFFERARBPROC>(GLEntryPoints().unmapBuffer); }

// Multitexture: a second texture unit can be selected.
inline bool HasMultitexture() { return GLEntryPoints().activeTexture && GLEntryPoints().clientActiveTexture; }

// Buffer objects: everything needed to create, fill, bind and delete one.
inline bool HasBuffers() {
    return GLEntryPoints().genBuffers && GLEntryPoints().bindBuffer && GLEntryPoints().bufferData && GLEntryPoints().deleteBuffers;
}

} // namespace corvane::gl
