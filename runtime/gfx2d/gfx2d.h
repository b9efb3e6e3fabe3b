// 2D graphics: texture slots and BMP images, the 2D drawing state and
// primitives, bitmap fonts and text.
//
// Slots: 0..65519 sprites, 65520..65535 the 16 fonts (font n = slot 65520 + n).
// Coordinates: pixels from the viewport's top-left corner, y downward.
// Colours: 0xBBGGRR; 0x8000FF is the transparent key colour.
// Slot numbers outside 0..65535 are ignored: loads return 0, draws draw nothing.
#pragma once

#include "runtime/engine/renderer.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- images and texture slots
double LoadSprite(const RtString& file, double slot);        // BMP into a sprite slot, key 0x8000FF; 1 or 0
double LoadBumpTexture(const RtString& file, double slot);   // BMP as a normal map (blue = height); 1 or 0

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
void LoadFont(const RtString& file, double font);            // BMP font into font 0..15 (clamped), made current; built-in when missing
void SetFont(double font);                                   // current font, clamped to 0..15
void PrintText(const RtString& text, double x, double y);    // text with its first cell's top-left at (x, y)
void PrintNumber(double number, double x, double y);         // the number as text, like PrintText
void PrintText3D(const RtString& text, double x, double y, double z, double size); // billboard (size != 0) or at the projected point
void GetFontSize(double& width, double& height);             // cell width; image height >> 3

// ---------------------------------------------------------------- internal: texture slots
bool IsValidSlot(int slot);                                  // 0..65535
int  ProbeBmpSize(const char* path, int* width, int* height); // absolute sizes from the header; 0 (and 0, 0) on failure
bool LoadBmpTexture(OpenGLRainbows& renderer, const char* path, int sourceX, int sourceY, int width, int height, unsigned int* plainName, unsigned int* mipmapName, unsigned int keyColour, bool keying, bool bump, bool nearest); // BMP rectangle (0 = whole) into new textures; no mipmap copy when mipmapName is null
void FreeSlot(OpenGLRainbows& renderer, int slot);           // delete the textures (while glReady), sizes -1, alpha copy dropped
int  LoadImageIntoSlot(OpenGLRainbows& renderer, int slot, const char* path, unsigned int keyColour, int bump); // 1 or 0
void BindSlot(OpenGLRainbows& renderer, int slot, int secondSlot, int mipmapped); // < 0: untextured
const unsigned char* FetchAlphaCopy(OpenGLRainbows& renderer, int slot); // level-0 alpha, tw x th, rows from the bottom
void FreeBackgroundBuffer(OpenGLRainbows& renderer, int buffer); // delete its tiles (while glReady), record zeroed
void FreeAllSlots(OpenGLRainbows& renderer);                 // every slot and background buffer freed
void ReleaseRenderer(OpenGLRainbows& renderer);              // texture slots freed (GL only while glReady), context released
bool ResolveImagePath(const char* name, RtString& path);     // media resolver (second context); false when not found

// ---------------------------------------------------------------- internal: drawing state
void ResetViewport(int x, int y, int width, int height);     // viewport, 2D projection and the default 2D state
void SetScreenSize(int width, int height);                   // drawing size, then the whole-surface viewport

// ---------------------------------------------------------------- internal: text
void DrawTextRun(OpenGLRainbows& renderer, int font, const char* text, float x, float y, float z); // one quad per byte
void InstallBuiltinFont(OpenGLRainbows& renderer, int slot); // the 7 x 8 outlined font into a slot
void BuildBuiltinFontTexels(unsigned char* rgba);            // its 128 x 64 RGBA texels, bottom row first
void DrawLoadingScreen();                                    // "Loading..." centred in the current font

} // namespace corvane
