// Pieces of the frame step that tests reach directly; not commands (frame.h).
#pragma once

namespace corvane {

[[noreturn]] void EndProgramWithStatus(int status); // the end EndProgram makes, exiting with status (UserMain's result)
double AdvanceFrameSlot(double nextFrameTime, double frameInterval, double now); // next slot after a release at now

} // namespace corvane
