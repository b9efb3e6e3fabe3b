// Process entry: the program's settings, then the command line to the runtime.
#include <string>

#include "runtime/frame/frame_internal.h"

int main(int argc, char** argv) {
    // The window is made to the program's settings (its ProgramSettings, when it has one).
    corvane::Settings settings;
    corvane::ProgramSettings(settings);
    corvane::UseSettings(settings);
    // The command line as the program was given it, without the program name.
    const std::string line = corvane::JoinCommandLine(argc, argv);
    return corvane::RuntimeMain(nullptr, nullptr, line.c_str(), 1);
}
