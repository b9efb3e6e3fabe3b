// System commands: the platform query, starting other programs, the command line.
#include <cstdint>
#include <cstring>

#include "runtime/engine/engine.h"
#include "runtime/platform/platform.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

// The identifier is not the raw serial, so it says nothing directly about the machine.
constexpr std::uint32_t kMachineIdMask = 0x5C3A96E1u;
// Stands in for the serial when the machine has no readable identifier.
constexpr std::uint32_t kDefaultSerial = 0x2F1B4D87u;

RtString MachineIdentifier() {
    std::uint32_t serial = kDefaultSerial;
    if (!platform::MachineSerialNumber(&serial)) serial = kDefaultSerial;
    std::uint32_t value = serial ^ kMachineIdMask;
    static const char kDigits[] = "0123456789ABCDEF";
    char text[9];
    for (int i = 0; i < 4; ++i) {
        unsigned byte = (value >> (8 * i)) & 0xFFu;
        text[2 * i] = kDigits[byte >> 4];
        text[2 * i + 1] = kDigits[byte & 0xFu];
    }
    text[8] = '\0';
    return RtString(text);
}

} // namespace

RtString PlatformInfo(RtString& query) {
    if (query.data) {
        for (std::uint32_t i = 0; i < query.length; ++i) {
            char c = query.data[i];
            if (c >= 'a' && c <= 'z') query.data[i] = static_cast<char>(c - 32);
        }
    }
    const char* q = query.data ? query.data : "";
    if (!*q) {
#if defined(_WIN32)
        return RtString("WIN32");
#else
        return RtString("LINUX");
#endif
    }
    if (std::strcmp(q, "DEVICE") == 0) return RtString("DESKTOP");
    if (std::strcmp(q, "ID") == 0) return MachineIdentifier();
    return RtString("NO_DATA");
}

double RunProgram(const char* commandLineText, double wait, double show, double& exitCode) {
    (void)show; // programs started here have no window of ours to show or hide
    exitCode = 0.0;
    if (!commandLineText || !*commandLineText) return 0.0;
    // A program that cannot be found is not started, as the shell would only
    // report it through its exit status.
    if (!platform::ShellCommandProgramFound(commandLineText)) return 0.0;
    platform::ProcessId process = platform::StartShellCommand(commandLineText);
    if (!process) return 0.0;
    if (wait != 0.0) {
        std::uint32_t code = 0;
        while (!platform::ProcessHasEnded(process, &code)) platform::SleepMilliseconds(100);
        exitCode = static_cast<double>(code);
    } else {
        platform::ReleaseProcess(process);
    }
    return 1.0;
}

RtString commandLine;

RtString CommandLineText() { return commandLine; }

} // namespace corvane
