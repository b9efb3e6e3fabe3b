// Bitmap fonts: loading into the 16 font slots, and text drawn as one textured
// quad per character.
#include <GL/gl.h>

#include <cmath>
#include <algorithm>
#include <cstring>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"

namespace corvane {

namespace {

constexpr int kFontCount = 16;

int ClampFont(double number) {
    if (!(number == number) || number <= 0.0) return 0; // NaN and negatives: font 0
    if (number >= kFontCount - 1) return kFontCount - 1;
    return static_cast<int>(number);
}

// The grid of a font image: 16 columns; 16 rows (256 characters) when the image
// is taller than wide, else 8 rows (128 characters).
struct FontGrid {
    int slot = 0;
    int cellWidth = 0, cellHeight = 0, rows = 0;
    float cu = 0.0f, cv = 0.0f;                 // texture size of one cell
};

// False when the font slot holds no texture: such a font draws nothing.
bool GetFontGrid(int font, FontGrid* g) {
    Renderer& r = TheRenderer();
    if (font < 0 || font >= kFontCount) return false;
    const int slot = Renderer::kFirstFontSlot + font;
    const int iw = r.imageWidth[slot], ih = r.imageHeight[slot];
    const int tw = r.textureWidth[slot], th = r.textureHeight[slot];
    if (tw <= 0 || th <= 0 || iw <= 0 || ih <= 0) return false;
    g->slot = slot;
    g->cellWidth = iw >> 4;
    g->rows = iw < ih ? 16 : 8;
    g->cellHeight = iw < ih ? ih >> 4 : ih >> 3;
    g->cu = (float(iw) / float(tw)) / 16.0f;
    g->cv = (float(ih) / float(th)) / float(g->rows);
    return true;
}

// Cell (column, row) of a character code, wrapped into the font's range.
// Texture coordinates of a character's cell; rows count from the top of the image.
struct CellCoords {
    float u0, u1, v0, v1;
};

CellCoords CellOf(const FontGrid& g, unsigned char byte) {
    const int code = g.rows == 16 ? byte : (byte & 127);
    const int column = code & 15, row = code >> 4;
    return {float(column) * g.cu, float(column + 1) * g.cu, float(g.rows - 1 - row) * g.cv,
            float(g.rows - row) * g.cv};
}

const char* TextOf(const RtString& text) { return text.Buffer() ? text.Buffer() : ""; }

// The font's texture bound and the batch set to draw with it.
void UseFont(const FontGrid& g) {
    BindSlot(g.slot, -1, 0);
    QuadState state;
    state.texture = TheRenderer().boundNames[0];
    UseQuadState(state);
}

// Characters go to the batch in parts of at most this many quads.
constexpr std::size_t kRunPart = 1024;

} // namespace

void DrawTextRun(int font, const char* text, float x, float y, float z) {
    FontGrid g;
    if (!text || !GetFontGrid(font, &g)) return;
    UseFont(g);
    x = std::ceil(x);
    y = std::ceil(y);
    const float cw = float(g.cellWidth), ch = float(g.cellHeight);
    const float none[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // drawn in the current colour
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t left = std::strlen(text); left > 0;) {
        const std::size_t part = std::min(left, kRunPart);
        QuadVertex* v = AppendQuads(part);
        if (!v) return;
        for (std::size_t i = 0; i < part; ++i, ++p, v += 4) {
            const auto [u0, u1, v0, v1] = CellOf(g, *p);
            SetQuadVertex(v[0], x, -y - ch, z, u0, v0, none);
            SetQuadVertex(v[1], x + cw, -y - ch, z, u1, v0, none);
            SetQuadVertex(v[2], x + cw, -y, z, u1, v1, none);
            SetQuadVertex(v[3], x, -y, z, u0, v1, none);
            x += cw;
        }
        left -= part;
    }
}

void LoadFont(const RtString& file, double number) {
    const int font = ClampFont(number);
    TheRenderer().currentFont = font;
    const int slot = Renderer::kFirstFontSlot + font;
    RtString path;
    if (ResolveImagePath(file.Buffer(), path)) {
        // Pure black is the font key colour.
        if (!LoadImageIntoSlot(slot, path.Buffer(), 0x000000, 0)) {
            const std::string reason =
                std::string("LoadFont \"") + file.Buffer() + "\": " + PictureFailure(file.Buffer(), path.Buffer());
            UpStopProgram(ErrorCode::MediaUnreadable, reason.c_str());
        }
        return;
    }
    // An empty name asks for the built-in font; any other name was meant to be found.
    if (file.length > 0)
        ReportFailure("LoadFont", file.Buffer(), PictureFailure(file.Buffer(), nullptr) + " (the built-in font is used)");
    FreeSlot(slot);
    InstallBuiltinFont(slot);
}

void SetFont(double number) { TheRenderer().currentFont = ClampFont(number); }

void PrintText(const RtString& text, double x, double y) {
    DrawTextRun(TheRenderer().currentFont, TextOf(text), float(x), float(y), 0.0f);
}

void PrintNumber(double number, double x, double y) {
    const RtString text(number);
    DrawTextRun(TheRenderer().currentFont, TextOf(text), float(x), float(y), 0.0f);
}

void PrintText3D(const RtString& textValue, double x, double y, double z, double size) {
    Renderer& r = TheRenderer();
    const char* text = TextOf(textValue);
    FlushQuads(); // lighting and matrices change below
    const bool lit = glIsEnabled(GL_LIGHTING);
    if (lit) glDisable(GL_LIGHTING);
    FontGrid g;
    if (GetFontGrid(TheRenderer().currentFont, &g)) {
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        const float length = float(std::strlen(text));
        const float cw = float(g.cellWidth);
        if (size != 0.0) {
            // Camera-facing squares along the view's right vector.
            const float scale = float(size) * cw;
            const float right[3] = {m[0] * scale, m[4] * scale, m[8] * scale};
            const float up[3] = {m[1] * scale, m[5] * scale, m[9] * scale};
            float p[3] = {float(x) - right[0] * length / 2.0f, float(y) - right[1] * length / 2.0f,
                          float(z) - right[2] * length / 2.0f};
            UseFont(g);
            const float none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
                QuadVertex* v = AppendQuads(1);
                if (!v) break;
                const auto [u0, u1, v0, v1] = CellOf(g, *c);
                SetQuadVertex(v[0], p[0], p[1], p[2], u0, v0, none);
                SetQuadVertex(v[1], p[0] + right[0], p[1] + right[1], p[2] + right[2], u1, v0, none);
                SetQuadVertex(v[2], p[0] + right[0] + up[0], p[1] + right[1] + up[1], p[2] + right[2] + up[2], u1, v1,
                              none);
                SetQuadVertex(v[3], p[0] + up[0], p[1] + up[1], p[2] + up[2], u0, v1, none);
                for (int i = 0; i < 3; ++i) p[i] += right[i];
            }
        } else {
            // Screen-sized text centred on the projected point.
            GLfloat pm[16];
            glGetFloatv(GL_PROJECTION_MATRIX, pm);
            const float v[4] = {float(x), float(y), float(z), 1.0f};
            float e[4], c[4];
            for (int i = 0; i < 4; ++i) e[i] = m[i] * v[0] + m[4 + i] * v[1] + m[8 + i] * v[2] + m[12 + i] * v[3];
            for (int i = 0; i < 4; ++i) c[i] = pm[i] * e[0] + pm[4 + i] * e[1] + pm[8 + i] * e[2] + pm[12 + i] * e[3];
            if (c[3] != 0.0f) {
                const float nx = c[0] / c[3], ny = c[1] / c[3], nz = c[2] / c[3];
                GLint vp[4];
                glGetIntegerv(GL_VIEWPORT, vp);
                const float sx = (nx + 1.0f) * float(vp[2]) / 2.0f + float(vp[0]);
                const float sy = float(vp[3]) - ((ny + 1.0f) * float(vp[3]) / 2.0f + float(vp[1]));
                glMatrixMode(GL_PROJECTION);
                glPushMatrix();
                glLoadIdentity();
                glOrtho(0.0, r.viewportWidth, -r.viewportHeight, 0.0, -1.0, 1.0);
                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                glLoadIdentity();
                const int ih = r.imageHeight[g.slot];
                DrawTextRun(TheRenderer().currentFont, text, sx - cw * length / 2.0f - float(vp[0]),
                            sy - float(ih >> 3) + float(vp[1]), -nz);
                FlushQuads();
                glMatrixMode(GL_PROJECTION);
                glPopMatrix();
                glMatrixMode(GL_MODELVIEW);
                glPopMatrix();
            }
        }
    }
    FlushQuads();
    if (lit) glEnable(GL_LIGHTING);
}

void GetFontSize(double& width, double& height) {
    const Renderer& r = TheRenderer();
    const int slot = Renderer::kFirstFontSlot + ClampFont(TheRenderer().currentFont);
    if (r.textureWidth[slot] <= 0) {
        width = 0.0;
        height = 0.0;
        return;
    }
    width = double(r.imageWidth[slot] >> 4);
    height = double(r.imageHeight[slot] >> 3); // twice the cell height of a 256-character font
}

void DrawLoadingScreen() {
    double cellWidth = 0.0, cellHeight = 0.0;
    GetFontSize(cellWidth, cellHeight);
    const float x = float((ScreenSettingWidth() - 10 * int(cellWidth)) * 0.5);
    const float y = float((ScreenSettingHeight() - int(cellHeight)) * 0.5);
    DrawTextRun(TheRenderer().currentFont, "Loading...", x, y, 0.0f);
}

} // namespace corvane
