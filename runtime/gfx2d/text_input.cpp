// Text input on the game screen: a small modal frame loop over the frozen picture.
// Built on the keyboard (typed characters) as well as on the 2D renderer.
#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gfx2d_testing.h"
#include "runtime/input_sound/input_internal.h"

namespace corvane {

namespace {

constexpr int kInputBuffer = 3;        // the background buffer the line is erased from
constexpr int kCursorIdleFrames = 20;  // idle frames before the cursor toggles (exceeded, not reached)
constexpr int kEnter = 10;
constexpr int kBackspace = 8;

TextInputFrameHook g_frameHook = nullptr;

} // namespace

void SetTextInputFrameHookForTesting(TextInputFrameHook hook) { g_frameHook = hook; }

void InputText(RtString& text, double x, double y) {
    GrabScreenToBackground(kInputBuffer);
    DrawBackground(kInputBuffer);

    // The first frame shows the text as it stands, at the coordinates as given.
    RtString shown = text;
    float drawX = static_cast<float>(x);
    float drawY = static_cast<float>(y);
    bool cursor = false;
    int idleFrames = 0;
    for (;;) {
        DrawTextRun(TheRenderer().currentFont, shown.Buffer(), drawX, drawY, 0.0f);
        if (g_frameHook) g_frameHook();
        UpPresentFrame();
        const int c = ReadTypedKey();
        if (c == kEnter) break;
        if (c == kBackspace) {
            if (text.length > 0) text.CutAt(text.length - 1);
        } else if (c != 0) {
            const char one[2] = {static_cast<char>(c), 0};
            text += one;
        } else if (++idleFrames > kCursorIdleFrames) {
            // Typing does not reset the count: the cursor keeps its own rhythm.
            idleFrames = 0;
            cursor = !cursor;
        }
        DrawBackground(kInputBuffer);
        shown = text;
        if (cursor) shown += "_";
        drawX = static_cast<float>(ToInt(x));
        drawY = static_cast<float>(ToInt(y));
    }
    FreeBackground(kInputBuffer);
}

void InputNumber(double& number, double x, double y) {
    RtString text;
    InputText(text, x, y);
    number = text.Value();
}

} // namespace corvane
