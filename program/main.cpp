// Process entry: hands the command line to the runtime.
#include <string>

#include "runtime/frame/frame.h"

int main(int argc, char** argv) {
    // The command line as the program was given it, without the program name.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return corvane::RuntimeMain(nullptr, nullptr, line.c_str(), 1);
}
