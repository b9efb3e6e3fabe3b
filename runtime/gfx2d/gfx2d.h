// 2D graphics: texture slots and pictures (BMP, PNG, JPEG, TGA), sprites and polygon batches,
// background buffers, screen grabs and BMP saving, the 2D drawing state and
// primitives, bitmap fonts and text, and text input. Text input reads typed
// characters, so this subsystem is built on the keyboard of input_sound/ as well.
//
// Slots: 0..65519 sprites, 65520..65535 the 16 fonts (font n = slot 65520 + n).
// Coordinates: pixels from the viewport's top-left corner, y downward.
// Colours: 0xBBGGRR; 0x8000FF is the transparent key colour.
// Slot numbers outside 0..65535 are ignored: loads return 0, draws draw nothing.
#pragma once

#include <string>
#include <vector>

#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- images and texture slots
double LoadSprite(const RtString& file, double slot);        // BMP, PNG, JPEG or TGA into a sprite slot, key 0x8000FF; 1 or 0
double LoadBumpTexture(const RtString& file, double slot);   // BMP, PNG, JPEG or TGA as a normal map (blue = height); 1 or 0

// ---------------------------------------------------------------- sprites
void DrawSprite(double slot, double x, double y);            // own size, top-left at (ceil x, ceil y)
void StretchSprite(double slot, double x, double y, double width, double height); // scaled; all four ceiled
void ZoomSprite(double slot, double x, double y, double zoomX, double zoomY); // scaled about the centre; no mirroring
void RotateSprite(double slot, double x, double y, double angle); // own size, turned about the centre, CCW for > 0
void RotoZoomSprite(double slot, double x, double y, double angle, double zoom); // turned and scaled about the centre
void DrawSprite3D(double slot, double x, double y, double z, double scale); // camera-facing billboard standing on (x, y, z)
double SpriteCollision(double slot1, double x1, double y1, double slot2, double x2, double y2); // 1 when the masks meet, else 0
void GrabSprite(double slot, double x, double y, double width, double height); // surface rectangle into the slot
double GetPixel(double x, double y);                         // back-buffer pixel as R + 256 G + 65536 B; 0 off the surface
double SaveSprite(double slot, const RtString& file);        // the slot's picture as a 24-bit BMP; 1 or 0
double SaveScreen(const RtString& file);                     // the drawing surface as a 24-bit BMP; 1 or 0

// ---------------------------------------------------------------- polygon batches
void StartPoly(double slot);                                 // new batch textured with the slot (< 0 untextured)
void PolyVertex(double x, double y, double tx, double ty, double colour); // append; tx, ty a picture pixel
void EndPoly();                                              // the batch as one triangle fan

// ---------------------------------------------------------------- backgrounds
void LoadBackground(const RtString& file);                   // BMP, PNG, JPEG or TGA into background 0, drawn at once; a missing file changes nothing; found but unloadable: stops (3)
void GrabBackground();                                       // the screen becomes background 0
void ClearBackground();                                      // clear the frame and free background 0
void FadeToBackground(const RtString& file);                 // cross-fade from the screen to the picture (BMP, PNG, JPEG or TGA), then background 0; missing: nothing; unloadable: stops (3)

// ---------------------------------------------------------------- 2D drawing state
void SetViewport(double x, double y, double width, double height); // 2D viewport; width or height <= 0: whole surface
void SetAlpha(double alpha);                                 // 0 off, > 0 additive, < 0 normal blending with -alpha
void SetTextureMipmap(double flag);                          // SetTexture picks the mipmapped copies while set
void SetTexture(double slot, double secondSlot);             // textures for the following 3D drawing; < 0 none

// ---------------------------------------------------------------- primitives
void DrawPixel(double x, double y, double colour);           // one pixel
void DrawLine(double x1, double y1, double x2, double y2, double colour); // one-pixel line, both ends drawn
void DrawRect(double x1, double y1, double x2, double y2, double colour); // filled, both corners included

// ---------------------------------------------------------------- fonts and text
void LoadFont(const RtString& file, double font);            // font picture (BMP, PNG, JPEG or TGA; corvane-font makes one) into font 0..15 (clamped), made current; built-in when missing
void SetFont(double font);                                   // current font, clamped to 0..15
void PrintText(const RtString& text, double x, double y);    // text with its first cell's top-left at (x, y)
void PrintNumber(double number, double x, double y);         // the number as text, like PrintText
void PrintText3D(const RtString& text, double x, double y, double z, double size); // billboard (size != 0) or at the projected point
void GetFontSize(double& width, double& height);             // cell width; image height >> 3

// ---------------------------------------------------------------- text input
void InputText(RtString& text, double x, double y);          // edit text on screen at (x, y) until Enter; modal
void InputNumber(double& number, double x, double y);        // InputText on an empty text, then its leading number

// ---------------------------------------------------------------- internal: texture slots
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

// ---------------------------------------------------------------- internal: the 2D state 3D drawing reads
struct BoundTextures {
    int slot = -1, secondSlot = -1;                          // what BindSlot last bound (< 0 none)
    unsigned int names[2] = {0, 0};                          // the GL names on units 0 and 1
};
BoundTextures CurrentBinding();
float DrawingAlpha();                                        // the global alpha of the 2D drawing state
void  SetDrawingAlpha(float alpha);                          // without changing the GL blending
void  Viewport2D(int& x, int& y, int& width, int& height);   // pixels from the surface's top-left
int   CurrentFont();                                         // font number of SetFont and LoadFont

// ---------------------------------------------------------------- internal: sprites and polygon batches
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

// ---------------------------------------------------------------- internal: background buffers (0 user, 1 fade, 3 text input)
bool LoadTiledBackground(int buffer, const char* path); // 64 x 64 tiles; false (buffer empty) when unloadable
void GrabScreenToBackground(int buffer); // the surface as tiles of min(GL maximum, 1024)
void DrawBackground(int buffer);   // the tiles from the top-left; nothing when empty
void FreeBackground(int buffer);   // tiles deleted, buffer empty
void CrossFade(int from, int to);  // additive fade in 0.02 steps, each frame shown
using FrameSwapFn = double (*)();
void SetFrameSwap(FrameSwapFn swap);                         // tests: what shows CrossFade's frames (null: the frame's SwapAndWait)

// ---------------------------------------------------------------- internal: BMP writing
std::vector<unsigned char> EncodeBmp24(const unsigned char* bgrRows, int width, int height, int rowLength); // whole file; rows bottom-up
bool WriteBmp24(const char* path, const unsigned char* bgrRows, int width, int height, int rowLength); // replaces the file only when complete

// ---------------------------------------------------------------- internal: drawing state
void ResetViewport(int x, int y, int width, int height);     // viewport, 2D projection and the default 2D state
void SetScreenSize(int width, int height);                   // drawing size, then the whole-surface viewport

// ---------------------------------------------------------------- internal: text
void DrawTextRun(int font, const char* text, float x, float y, float z); // one quad per byte
void InstallBuiltinFont(int slot); // the 7 x 8 outlined font into a slot
void BuildBuiltinFontTexels(unsigned char* rgba);            // its 128 x 64 RGBA texels, bottom row first
void DrawLoadingScreen();                                    // "Loading..." centred in the current font

} // namespace corvane
