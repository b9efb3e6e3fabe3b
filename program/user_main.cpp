// The embedded user program.
#include <GL/gl.h>

#include "runtime/frame/frame.h"

namespace corvane {

int UserMain() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    PresentFrame();
    return 0;
}

} // namespace corvane
