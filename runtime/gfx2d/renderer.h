// OpenGLRainbows: the renderer object inside the engine record. The frame code
// owns its window, size, context and frame-timing fields; the 2D subsystem owns
// its texture-slot table, bound-texture state, 2D viewport and background buffers.
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

class OpenGLRainbows {
public:
    OpenGLRainbows();                     // reads the performance counter's frequency
    virtual ~OpenGLRainbows();            // frees every texture slot, then releases the context

    // ---- frame fields
    int width = 0, height = 0;            // drawing size in pixels
    int colorBits = 0;                    // colour depth (0 = the desktop's)
    unsigned char isFullscreen = 0;       // the display mode is changed
    int glReady = 0;                      // the context exists: textures may be deleted through GL
    double nextFrameTime = 0.0;           // time of the next frame slot, ms
    double frameInterval = 0.0;           // length of one frame slot, ms
    double perfFrequency = 0.0;           // performance-counter ticks per second
    int hasPerfCounter = 0;               // the performance counter is usable
    GLExtensions ext;                     // multitexture and vertex-buffer entry points
    float currentAlpha = 1.0f;            // alpha of the 2D drawing state

    // ---- 2D subsystem fields (texture slots, viewport, backgrounds) follow here.
};

} // namespace corvane
