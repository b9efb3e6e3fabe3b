// 2D plumbing: texture slots, the 2D state 3D drawing reads, polygon batches,
// background buffers, BMP writing and text runs. The runtime (gfx2d/, the 3D
// drawing built on it, the frame step), the tests and the tools use these; programs
// see only gfx2d.h, which is what gets installed.
#pragma once

#include <string>
#include <vector>

#include "runtime/gfx2d/gfx2d.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- texture slots
bool IsValidSlot(int slot);                                  // 0..65535
int  ProbeBmpSize(const char* path, int* width, int* height); // absolute sizes from the header; 0 (and 0, 0) on failure
bool LoadPictureTexture(const char* path, int sourceX, int sourceY, int width, int height, unsigned int* plainName, unsigned int* mipmapName, unsigned int keyColour, bool keying, bool bump, bool nearest); // picture rectangle (0 = whole) into new textures; no mipmap copy when mipmapName is null
void FreeSlot(int slot);           // delete the textures (while glReady), sizes -1, alpha copy dropped
int  LoadImageIntoSlot(int slot, const char* path, unsigned int keyColour, int bump); // 1 or 0
void BindSlot(int slot, int secondSlot, int mipmapped); // < 0: untextured
const unsigned char* FetchAlphaCopy(int slot); // level-0 alpha, tw x th, rows from the bottom
void FreeBackgroundBuffer(int buffer); // delete its tiles (while glReady), record zeroed
void FreeAllSlots();                 // every slot and background buffer freed
void ReleaseRenderer();              // texture slots freed (through GL only while the context is ready)
void ForgetBoundTexture();           // the next BindSlot binds anew (after any bind outside it)
bool ResolveImagePath(const char* name, RtString& path);     // media resolver (second context); false when not found
std::string PictureFailure(const char* name, const char* path); // why a picture did not load (path null: the name did not resolve)

// ---------------------------------------------------------------- the 2D state 3D drawing reads
struct BoundTextures {
    int slot = -1, secondSlot = -1;                          // what BindSlot last bound (< 0 none)
    unsigned int names[2] = {0, 0};                          // the GL names on units 0 and 1
};
BoundTextures CurrentBinding();
float DrawingAlpha();                                        // the global alpha of the 2D drawing state
void  SetDrawingAlpha(float alpha);                          // without changing the GL blending
void  Viewport2D(int& x, int& y, int& width, int& height);   // pixels from the surface's top-left
int   CurrentFont();                                         // font number of SetFont and LoadFont

// ---------------------------------------------------------------- sprites and polygon batches
struct PolyVertex {                                          // one vertex of a batch, as the GL arrays read it
    float x, negY;                                           // position, y negated
    float u, v;                                              // tx / tw, (h - ty) / th
    float red, green, blue;                                  // colour byte / 255 x global alpha
    float alpha;                                             // 1, or 0 for the key colour
};
struct PolygonBatch {
    int slot = -1;                                           // < 0 untextured; beyond the table: never drawn
    std::vector<struct PolyVertex> vertices;                 // count = size; grows geometrically
};
const PolygonBatch& CurrentPolygonBatch();                   // the batch PolyVertex appends to

// ---------------------------------------------------------------- background buffers (0 user, 1 fade, 3 text input)
bool LoadTiledBackground(int buffer, const char* path); // 64 x 64 tiles; false (buffer empty) when unloadable
void GrabScreenToBackground(int buffer); // the surface as tiles of min(GL maximum, 1024)
void DrawBackground(int buffer);   // the tiles from the top-left; nothing when empty
void FreeBackground(int buffer);   // tiles deleted, buffer empty
void CrossFade(int from, int to);  // additive fade in 0.02 steps, each frame shown
using FrameSwapFn = double (*)();
void SetFrameSwap(FrameSwapFn swap);                         // tests: what shows CrossFade's frames (null: the frame's SwapAndWait)

// ---------------------------------------------------------------- BMP writing
std::vector<unsigned char> EncodeBmp24(const unsigned char* bgrRows, int width, int height, int rowLength); // whole file; rows bottom-up
bool WriteBmp24(const char* path, const unsigned char* bgrRows, int width, int height, int rowLength); // replaces the file only when complete

// ---------------------------------------------------------------- drawing state
void ResetViewport(int x, int y, int width, int height);     // viewport, 2D projection and the default 2D state
void SetScreenSize(int width, int height);                   // drawing size, then the whole-surface viewport

// ---------------------------------------------------------------- text
void DrawTextRun(int font, const char* text, float x, float y, float z); // one quad per byte
void InstallBuiltinFont(int slot); // the 7 x 8 outlined font into a slot
void BuildBuiltinFontTexels(unsigned char* rgba);            // its 128 x 64 RGBA texels, bottom row first
void DrawLoadingScreen();                                    // "Loading..." centred in the current font

} // namespace corvane
