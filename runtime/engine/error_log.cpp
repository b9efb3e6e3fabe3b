// The error log and the stop position: what every subsystem records before it stops.
#include <cstdio>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {

std::string& LogProgramName() {
    static std::string name;
    return name;
}

// The file name part of a program name: no folders, nothing that is not printable.
std::string LogFileStem(std::string name) {
    if (name.empty()) {
        const std::string path = platform::ModulePath();
        const std::string::size_type slash = path.find_last_of('/');
        name = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || c == '/' || c == '\\') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "Corvane";
    return name;
}

} // namespace

void SetErrorLogProgram(const char* programName) { LogProgramName() = programName ? programName : ""; }

std::string ErrorLogPath() {
    // Appended in place: GCC 12 warns falsely (-Wrestrict) about string + literal here.
    std::string path = platform::TempDirectory();
    path += LogFileStem(LogProgramName());
    path += ".log";
    return path;
}

void AppendErrorLog(const char* text) {
    // Opened and closed per line, so the log is complete even if the process dies.
    platform::AppendLineToFile(ErrorLogPath(), text ? text : "null");
}

namespace {

// -1 until the environment was read; then 1 while failures go to standard error too.
int& FailuresToStandardError() {
    static int on = -1;
    return on;
}

} // namespace

void PrintFailures(double on) { FailuresToStandardError() = on != 0.0 ? 1 : 0; }

void ReportFailure(const char* command, const char* fileName, const std::string& reason) {
    std::string line = command ? command : "";
    line += " \"";
    line += fileName ? fileName : "";
    line += "\": ";
    line += reason.empty() ? std::string("failed") : reason;
    AppendErrorLog(line.c_str());
    int& toStandardError = FailuresToStandardError();
    if (toStandardError < 0) toStandardError = platform::EnvironmentFlag("CORVANE_QUIET_FAILURES") ? 0 : 1;
    if (toStandardError) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

void DeleteErrorLog() { platform::DeleteTemporaryFile(ErrorLogPath()); }

double SetErrorCode(double code) {
    engine.errorCode = code;
    engine.endLine = engine.currentLine;
    return code;
}

std::string StopLine(double code, const char* reason) {
    char number[64];
    std::snprintf(number, sizeof number, "%g", code);
    std::string line = "stopped: ";
    line += reason && *reason ? reason : "the program could not go on";
    line += " (error ";
    line += number;
    line += ")";
    // The position means something only when the program records one.
    if (engine.currentLine != 0.0 || engine.currentSourceFile != 0.0) {
        char position[96];
        std::snprintf(position, sizeof position, " at line %g of source file %g", engine.currentLine,
                      engine.currentSourceFile);
        line += position;
    }
    return line;
}

void SetSourcePosition(double file, double line) {
    engine.currentSourceFile = file;
    engine.currentLine = line;
}

} // namespace corvane
