// The examples' shared test hook. An example calls StartHook() first and ShowFrame()
// instead of PresentFrame(). Started without options, it changes nothing. Options:
//   --frames N     end the program (status 0) after N shown frames (and not before the
//                  script's clock input is out and two more frames have read it)
//   --script FILE  play input events, as a player would make them
//   --shot FILE    write the last frame, as seen before it is shown, as a PPM image
// Script lines are "WHEN ACTION ARGUMENTS" ('#' starts a comment). WHEN is a frame
// number (the input comes just before that frame is shown, so the program reads it in
// the next one), or "@MS": MS milliseconds after StartHook, from a thread of its own,
// for input into modal commands such as InputText, which show frames of their own.
//   key NAME    press and release a key (SDL key names: A, 5, Return, Escape, Space, Left)
//   down NAME / up NAME   press or release it alone
//   type TEXT   the rest of the line, one key per six frames (or per 100 ms)
//   move X Y    the mouse to (X, Y)        click X Y   move there and click the left button
//   shot FILE   write the program's frame WHEN as a PPM image (frame numbers only)
#pragma once

#include <string>

namespace example {

void StartHook();                 // read the options from the command line
void ShowFrame();                 // PresentFrame, with the hook's events, shots and end
int FrameNumber();                // frames shown so far
std::string Option(const std::string& name); // the value after "--name" on the command line, or ""
std::string Argument(int n);      // the n-th word of the command line that is not a hook option, or ""
bool WritePpm(const std::string& file); // the back buffer as a binary PPM; false when it cannot be written

} // namespace example
