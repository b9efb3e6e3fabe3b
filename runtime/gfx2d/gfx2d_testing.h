// Hooks for tests of the 2D subsystem only; programs never call these.
#pragma once

namespace corvane {

using TextInputFrameHook = void (*)();
void SetTextInputFrameHookForTesting(TextInputFrameHook hook); // called just before the text-input loop presents each frame (null: none)

} // namespace corvane
