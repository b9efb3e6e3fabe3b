// Corvane: every command of the language in one include.
//
//     #include <corvane/corvane.h>
//
// The includes below are the one list of subsystem indexes. The banners name the
// subsystems; the command reference (docs/commands.md) follows this list in this
// order, and the install copies these headers and what they include, nothing else.
// A new subsystem adds its index here (a runtime folder without one fails the
// reference check).
#pragma once

// ---------------------------------------------------------------- Program and frame
#include "runtime/frame/frame.h"
#include "runtime/engine/engine.h"
#include "runtime/engine/error_codes.h"

// ---------------------------------------------------------------- Values and library
#include "runtime/values/rt_string.h"
#include "runtime/values/rt_string_compare.h"
#include "runtime/values/rt_array.h"
#include "runtime/values/values.h"

// ---------------------------------------------------------------- 2D graphics
#include "runtime/gfx2d/gfx2d.h"

// ---------------------------------------------------------------- Input and sound
#include "runtime/input_sound/input.h"
#include "runtime/input_sound/keys.h"
#include "runtime/input_sound/sound.h"

// ---------------------------------------------------------------- 3D graphics
#include "runtime/gfx3d/gfx3d.h"

// ---------------------------------------------------------------- Network
#include "runtime/net/net.h"

// ---------------------------------------------------------------- Pathfinding
#include "runtime/path/path.h"
