// The drawing surface: the window's client size, colour depth, full-screen flag, and
// the GL context with its extension entry points. Start-up and the window modes
// (frame/) write it; subsystems read it through runtime/engine/engine.h, and the
// GL entry points through GLEntryPoints() below.
#pragma once

namespace corvane {

// Extension entry points, looked up only when GL_ARB_multitexture is present.
struct GLExtensions {
    void* activeTexture = nullptr;        // glActiveTextureARB
    void* multiTexCoord2f = nullptr;      // glMultiTexCoord2fARB
    void* clientActiveTexture = nullptr;  // glClientActiveTextureARB
    void* genBuffers = nullptr;           // glGenBuffersARB
    void* bindBuffer = nullptr;           // glBindBufferARB
    void* bufferData = nullptr;           // glBufferDataARB
    void* deleteBuffers = nullptr;        // glDeleteBuffersARB
    void* mapBuffer = nullptr;            // glMapBufferARB
    void* unmapBuffer = nullptr;          // glUnmapBufferARB
};

struct Surface {
    int width = 0, height = 0;            // drawing size in pixels
    int colorBits = 0;                    // colour depth (0 = the desktop's)
    unsigned char isFullscreen = 0;       // the display mode is changed
    int glReady = 0;                      // the context exists: textures may be deleted through GL
    GLExtensions ext;                     // multitexture and vertex-buffer entry points
};

const GLExtensions& GLEntryPoints();      // the surface's entry points (null when missing)

} // namespace corvane
