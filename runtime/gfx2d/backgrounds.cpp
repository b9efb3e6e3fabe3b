// Background buffers: pictures cut into tiles, screens grabbed as tiles, their
// drawing, the cross-fade between two of them, and the background commands.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/surface.h"
#include "runtime/gfx2d/background_tiles.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/picture.h"
#include "runtime/platform/platform_files.h"

namespace corvane {

namespace {

constexpr int kTile = 64;          // side of a loaded tile
constexpr int kMaxTiles = 64;      // columns and rows of a buffer
constexpr int kGrabTileLimit = 1024;

FrameSwapFn frameSwap = nullptr;

bool ValidBuffer(int n) { return n >= 0 && n < Renderer::kBackgroundCount; }

GLuint NewTileTexture(int width, int height, const void* texels) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    return name;
}

} // namespace

void SetFrameSwap(FrameSwapFn swap) { frameSwap = swap; }

void FreeBackground(int buffer) { FreeBackgroundBuffer(buffer); }

void CutBackgroundTile(const PictureTexels& picture, int column, int row, std::uint8_t* tile) {
    std::memset(tile, 0, std::size_t(kTile) * kTile * 4);
    const int w = picture.width, h = picture.height;
    for (int y = 0; y < kTile; ++y) {
        const long long iy = (long long)row * kTile + y;      // picture row from the top
        if (iy >= h) break;
        const std::uint8_t* src = picture.rgba.data() + (std::size_t(h - 1 - iy) * picture.textureWidth) * 4;
        std::uint8_t* dst = tile + std::size_t(kTile - 1 - y) * kTile * 4;
        for (int x = 0; x < kTile; ++x) {
            const long long ix = (long long)column * kTile + x;
            if (ix >= w) break;
            const std::uint8_t* p = src + std::size_t(ix) * 4;
            // Key colour (red 255, green 0, blue 128): fully transparent.
            if (p[0] == 0xFF && p[1] == 0x00 && p[2] == 0x80) continue;
            std::memcpy(dst + std::size_t(x) * 4, p, 4);
        }
    }
    // Colours bleed only within the picture's part of the tile (its top-left):
    // backgrounds draw without the alpha test, so bled texels past the picture's
    // edge would show as a band of colour beside it; there they stay black.
    const int used = int(std::min<long long>(kTile, (long long)w - (long long)column * kTile));
    const int usedRows = int(std::min<long long>(kTile, (long long)h - (long long)row * kTile));
    if (used > 0 && usedRows > 0)
        BleedEdgeColours(tile + std::size_t(kTile - usedRows) * kTile * 4, kTile, used, usedRows);
}

bool LoadTiledBackground(int buffer, const char* path) {
    Renderer& renderer = TheRenderer();
    if (!ValidBuffer(buffer)) return false;
    // The file is read and decoded once; tiles are cut from the decoded picture.
    std::vector<std::uint8_t> file;
    try {
        if (!path || !*path || !platform::ReadFileBytes(path, file)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    int w = 0, h = 0;
    if (!ProbePicture(file.data(), file.size(), &w, &h)) return false;
    FreeBackground(buffer);
    // A buffer holds 64 x 64 tiles; a larger picture is refused, not cut short.
    if (w > kTile * kMaxTiles || h > kTile * kMaxTiles) return false;
    PictureTexels picture;
    {
        PictureDecodeRequest request;  // the whole picture, unkeyed: keying and bleeding are per tile
        try {
            if (!DecodePicture(file.data(), file.size(), request, &picture)) return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        file = {};
    }
    if (picture.width != w || picture.height != h) return false;
    Renderer::BackgroundBuffer& b = renderer.backgrounds[buffer];
    const int columns = (w + kTile - 1) / kTile, rows = (h + kTile - 1) / kTile;
    std::vector<std::uint8_t> tile(std::size_t(kTile) * kTile * 4);
    ForgetBoundTexture();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            CutBackgroundTile(picture, column, row, tile.data());
            b.tileNames[column][row] = NewTileTexture(kTile, kTile, tile.data());
            b.tileWidth[column][row] = kTile;
            b.tileHeight[column][row] = kTile;
        }
    b.columns = columns;
    b.rows = rows;
    return true;
}

void GrabScreenToBackground(int buffer) {
    Renderer& renderer = TheRenderer();
    if (!ValidBuffer(buffer)) return;
    FlushQuads(); // the grab reads what is drawn so far
    FreeBackground(buffer);
    const int W = SurfaceWidth(), H = SurfaceHeight();
    if (W < 1 || H < 1) return;
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    const int tileWidth = std::max(1, std::min<int>(max, kGrabTileLimit));
    Renderer::BackgroundBuffer& b = renderer.backgrounds[buffer];
    ForgetBoundTexture();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    std::vector<std::uint8_t> zeros;
    int rows = 0, columns = 0;
    for (int top = 0; top < H && rows < kMaxTiles; ++rows) {
        // The largest power of two, from the tile width down, that still fits.
        int rowHeight = 1;
        while (rowHeight * 2 <= tileWidth && rowHeight * 2 <= H - top) rowHeight *= 2;
        int column = 0;
        for (int left = 0; left < W && column < kMaxTiles; left += tileWidth, ++column) {
            // The last tile may reach past the right edge: that part starts zeroed
            // (a copy from outside the surface is undefined) and is never seen.
            const int copied = std::min(tileWidth, W - left);
            const void* initial = nullptr;
            if (copied < tileWidth) {
                zeros.assign(std::size_t(tileWidth) * rowHeight * 4, 0);
                initial = zeros.data();
            }
            b.tileNames[column][rows] = NewTileTexture(tileWidth, rowHeight, initial);
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, left, H - top - rowHeight, copied, rowHeight);
            b.tileWidth[column][rows] = tileWidth;
            b.tileHeight[column][rows] = rowHeight;
        }
        columns = std::max(columns, column);
        top += rowHeight;
    }
    b.columns = columns;
    b.rows = rows;
}

void DrawBackground(int buffer) {
    Renderer& renderer = TheRenderer();
    if (!ValidBuffer(buffer)) return;
    const Renderer::BackgroundBuffer& b = renderer.backgrounds[buffer];
    if (b.columns <= 0 || b.rows <= 0) return;
    FlushQuads(); // drawn after what came before it
    glDisable(GL_ALPHA_TEST);
    ForgetBoundTexture();
    if (auto active = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(GLEntryPoints().activeTexture)) {
        active(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        active(GL_TEXTURE0_ARB);
    }
    glEnable(GL_TEXTURE_2D);
    float x = 0.0f;
    for (int column = 0; column < b.columns; ++column) {
        float y = 0.0f;
        for (int row = 0; row < b.rows; ++row) {
            const float tw = float(b.tileWidth[column][row]), th = float(b.tileHeight[column][row]);
            glBindTexture(GL_TEXTURE_2D, b.tileNames[column][row]);
            glBegin(GL_TRIANGLE_FAN);
            glTexCoord2f(0.0f, 0.0f);
            glVertex2f(x, -y - th);
            glTexCoord2f(1.0f, 0.0f);
            glVertex2f(x + tw, -y - th);
            glTexCoord2f(1.0f, 1.0f);
            glVertex2f(x + tw, -y);
            glTexCoord2f(0.0f, 1.0f);
            glVertex2f(x, -y);
            glEnd();
            y += th;
        }
        x += float(b.tileWidth[column][b.rows - 1]);
    }
    glEnable(GL_ALPHA_TEST);
}

void CrossFade(int from, int to) {
    Renderer& renderer = TheRenderer();
    FlushQuads();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_ALPHA_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    // Steps of 0.02 counted as integers, so rounding cannot add or drop a frame.
    for (int step = 0; step < 50; ++step) {
        const float c = float(step) * 0.02f;
        glColor4f(c, c, c, 1.0f);
        DrawBackground(to);
        glColor4f(1.0f - c, 1.0f - c, 1.0f - c, 1.0f);
        DrawBackground(from);
        (frameSwap ? frameSwap : UpSwapAndWait)();
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    DrawBackground(to);
    (frameSwap ? frameSwap : UpSwapAndWait)();
    glEnable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    renderer.currentAlpha = 1.0f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

// ---------------------------------------------------------------- commands

namespace {

[[noreturn]] void StopUnloadable(const char* command, const RtString& file, const RtString& path) {
    const std::string reason =
        std::string(command) + " \"" + file.Buffer() + "\": " + PictureFailure(file.Buffer(), path.Buffer());
    UpStopProgram(ErrorCode::MediaUnreadable, reason.c_str());
}

// A name that does not resolve changes nothing; the log says so.
bool Resolve(const char* command, const RtString& file, RtString& path) {
    if (ResolveImagePath(file.Buffer(), path)) return true;
    ReportFailure(command, file.Buffer(), PictureFailure(file.Buffer(), nullptr) + " (nothing changes)");
    return false;
}

} // namespace

void LoadBackground(const RtString& file) {
    RtString path;
    if (!Resolve("LoadBackground", file, path)) return;
    if (!LoadTiledBackground(0, path.Buffer())) StopUnloadable("LoadBackground", file, path);
    DrawBackground(0);
}

void GrabBackground() { GrabScreenToBackground(0); }

void ClearBackground() {
    FlushQuads();
    glClear(GL_COLOR_BUFFER_BIT);
    FreeBackground(0);
}

void FadeToBackground(const RtString& file) {
    Renderer& r = TheRenderer();
    RtString path;
    if (!Resolve("FadeToBackground", file, path)) return;
    GrabScreenToBackground(0);
    if (!LoadTiledBackground(1, path.Buffer())) StopUnloadable("FadeToBackground", file, path);
    CrossFade(0, 1);
    // The picture's tiles move from buffer 1 to buffer 0: the same texels as a
    // second load, without reading the file again or failing halfway.
    FreeBackground(0);
    r.backgrounds[0] = r.backgrounds[1];
    r.backgrounds[1] = Renderer::BackgroundBuffer{};
    DrawBackground(0);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

} // namespace corvane
