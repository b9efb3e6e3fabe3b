// Renderer: the 2D subsystem's record: the texture-slot table, the bound-texture state,
// the 2D viewport, the global alpha, the current font and the background buffers.
// Only gfx2d/ (and the tests and the frame step) reach it; 3D drawing reads what it
// needs through the functions of gfx2d_internal.h.
#pragma once

#include <memory>

namespace corvane {

class Renderer {
public:
    Renderer() = default;
    ~Renderer();                          // frees every texture slot (through GL only while the context is ready)

    float currentAlpha = 1.0f;            // alpha of the 2D drawing state (the global alpha of SetAlpha)
    int currentFont = 0;                  // current font number

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

Renderer& TheRenderer();                  // the one renderer

} // namespace corvane
