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
void FlushDrawing();                                         // send the 2D drawing collected so far; before a program's own GL calls or read-backs

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

} // namespace corvane
