// Typed access to the nine extension entry points start-up looked up. Each is
// null when the driver lacks it; callers test before use.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "runtime/engine/renderer.h"

namespace corvane::gl {

template <typename Fn>
inline Fn Entry(void* p) { return reinterpret_cast<Fn>(p); }

inline PFNGLACTIVETEXTUREARBPROC ActiveTexture(const OpenGLRainbows& r) { return Entry<PFNGLACTIVETEXTUREARBPROC>(r.ext.activeTexture); }
inline PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2f(const OpenGLRainbows& r) { return Entry<PFNGLMULTITEXCOORD2FARBPROC>(r.ext.multiTexCoord2f); }
inline PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTexture(const OpenGLRainbows& r) { return Entry<PFNGLCLIENTACTIVETEXTUREARBPROC>(r.ext.clientActiveTexture); }
inline PFNGLGENBUFFERSARBPROC GenBuffers(const OpenGLRainbows& r) { return Entry<PFNGLGENBUFFERSARBPROC>(r.ext.genBuffers); }
inline PFNGLBINDBUFFERARBPROC BindBuffer(const OpenGLRainbows& r) { return Entry<PFNGLBINDBUFFERARBPROC>(r.ext.bindBuffer); }
inline PFNGLBUFFERDATAARBPROC BufferData(const OpenGLRainbows& r) { return Entry<PFNGLBUFFERDATAARBPROC>(r.ext.bufferData); }
inline PFNGLDELETEBUFFERSARBPROC DeleteBuffers(const OpenGLRainbows& r) { return Entry<PFNGLDELETEBUFFERSARBPROC>(r.ext.deleteBuffers); }
inline PFNGLMAPBUFFERARBPROC MapBuffer(const OpenGLRainbows& r) { return Entry<PFNGLMAPBUFFERARBPROC>(r.ext.mapBuffer); }
inline PFNGLUNMAPBUFFERARBPROC UnmapBuffer(const OpenGLRainbows& r) { return Entry<PFNGLUNMAPBUFFERARBPROC>(r.ext.unmapBuffer); }

// Multitexture: a second texture unit can be selected.
inline bool HasMultitexture(const OpenGLRainbows& r) { return r.ext.activeTexture && r.ext.clientActiveTexture; }

// Buffer objects: everything needed to create, fill, bind and delete one.
inline bool HasBuffers(const OpenGLRainbows& r) {
    return r.ext.genBuffers && r.ext.bindBuffer && r.ext.bufferData && r.ext.deleteBuffers;
}

} // namespace corvane::gl
