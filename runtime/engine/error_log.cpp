// The error log and the stop position: what every subsystem records before it stops.
#include "runtime/engine/engine.h"
#include "runtime/platform/platform.h"

namespace corvane {

std::string ErrorLogPath() {
    // Appended in place: GCC 12 warns falsely (-Wrestrict) about string + literal here.
    std::string path = platform::TempDirectory();
    path += "ErrorLog.txt";
    return path;
}

void AppendErrorLog(const char* text) {
    // Opened and closed per line, so the log is complete even if the process dies.
    platform::AppendLineToFile(ErrorLogPath(), text ? text : "null");
}

void DeleteErrorLog() { platform::DeleteTemporaryFile(ErrorLogPath()); }

double SetErrorCode(double code) {
    engine.errorCode = code;
    engine.endLine = engine.currentLine;
    return code;
}

void SetSourcePosition(double file, double line) {
    engine.currentSourceFile = file;
    engine.currentLine = line;
}

} // namespace corvane
