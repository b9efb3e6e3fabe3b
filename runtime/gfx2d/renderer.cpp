// The renderer: the one instance, its destruction and its release at the program end.
#include "runtime/gfx2d/renderer.h"

#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"

namespace corvane {

namespace {
Renderer g_renderer;
} // namespace

Renderer& TheRenderer() { return g_renderer; }

Renderer::~Renderer() {
    // The process-exit teardown normally released everything already; this covers
    // a renderer destroyed without it.
    ReleaseRenderer();
}

void ReleaseRenderer() {
    DiscardQuads(); // their textures go now; nothing is shown any more
    FreeAllSlots();
}

float DrawingAlpha() { return g_renderer.currentAlpha; }
void SetDrawingAlpha(float alpha) { g_renderer.currentAlpha = alpha; }

BoundTextures CurrentBinding() {
    return BoundTextures{g_renderer.boundSlot, g_renderer.boundSecondSlot,
                         {g_renderer.boundNames[0], g_renderer.boundNames[1]}};
}

void Viewport2D(int& x, int& y, int& width, int& height) {
    x = g_renderer.viewportX;
    y = g_renderer.viewportY;
    width = g_renderer.viewportWidth;
    height = g_renderer.viewportHeight;
}

int CurrentFont() { return g_renderer.currentFont; }

} // namespace corvane
