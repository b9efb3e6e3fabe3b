// OpenGLRainbows: the renderer object inside the engine record. The frame code
// owns its window, size, context and frame-timing fields; the 2D subsystem owns
// its texture-slot table, bound-texture state, 2D viewport and background buffers.
#pragma once

#include <memory>

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
    float currentAlpha = 1.0f;            // alpha of the 2D drawing state (the global alpha of SetAlpha)

    // ---- texture-slot table (0..65519 sprites, 65520..65535 the 16 fonts)
    static constexpr int kSlotCount = 65536;
    static constexpr int kFirstFontSlot = 65520;
    static constexpr int kBackgroundCount = 16;

    // A per-slot size column that starts out as -1 (every slot empty) without
    // relying on the constructor body.
    struct SlotSizes {
        int values[kSlotCount];
        SlotSizes() { for (int& v : values) v = -1; }
        int& operator[](int slot) { return values[slot]; }
        const int& operator[](int slot) const { return values[slot]; }
    };

    unsigned int textureNames[kSlotCount][2] = {}; // [0] plain texture, [1] mipmapped copy (0 = none)
    int boundSlot = -1;                   // last binding requested through BindSlot
    int boundSecondSlot = -1;
    int boundMipmapped = 0;
    // What BindSlot last put into the GL (texture names on units 0 and 1, 0 when
    // that unit draws untextured). While bindingKnown is set, a repeated BindSlot
    // of the same slots changes no GL state: on Mesa every texture-unit switch
    // flushes the immediate-mode batch. Code that binds a texture or switches
    // 2D texturing outside BindSlot clears it (ForgetBoundTexture).
    unsigned int boundNames[2] = {0, 0};
    int bindingKnown = 0;
    SlotSizes textureWidth;               // power of two; -1 marks an empty slot
    SlotSizes textureHeight;
    SlotSizes imageWidth;                 // the used part of the texture (the picture's own size)
    SlotSizes imageHeight;
    std::unique_ptr<unsigned char[]> alphaCopy[kSlotCount]; // level-0 alpha read back on demand
    int textureMipmapFlag = 0;            // mipmap choice of SetTexture; 0 after every frame

    // ---- 2D viewport, pixels from the top-left of the drawing surface
    int viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;

    // ---- background buffers: a grid of up to 64 x 64 tile textures, indexed [column][row]
    struct BackgroundBuffer {
        unsigned int tileNames[64][64] = {};
        int tileWidth[64][64] = {};
        int tileHeight[64][64] = {};
        int columns = 0, rows = 0;
    };
    BackgroundBuffer backgrounds[kBackgroundCount];
};

} // namespace corvane
