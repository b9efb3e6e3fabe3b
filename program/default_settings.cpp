// The settings hook of a program that has none: the defaults stay. It sits in its own
// file of the entry library, so the linker takes it only when the program's own files
// do not define ProgramSettings (no weak symbols needed, on any system).
#include "runtime/frame/frame.h"

namespace corvane {

void ProgramSettings(Settings&) {}

} // namespace corvane
