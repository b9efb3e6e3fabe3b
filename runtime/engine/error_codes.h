// The runtime's error codes: the numbers programs and the error log see as errorCode.
#pragma once

namespace corvane {

// What the runtime records as errorCode when it stops a program (and in the stop line).
enum class ErrorCode : int {
    None = 0,            // a normal end
    MediaUnreadable = 3, // a media file was found but could not be loaded or opened
    NoStorage = 7,       // no storage could be had (an array's elements, a line past the line store)
    EmptyArray = 8,      // an array whose first size is 0 was read or written
    IndexOutOfRange = 9, // a negative index, missing storage, or an index not below its size
};

// The number an error code stands for, as SetErrorCode records it.
constexpr double ErrorNumber(ErrorCode code) { return static_cast<double>(static_cast<int>(code)); }

// The code's name as the log and messages may show it ("MediaUnreadable"); "" for a number
// that is none of them.
constexpr const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
    case ErrorCode::None: return "None";
    case ErrorCode::MediaUnreadable: return "MediaUnreadable";
    case ErrorCode::NoStorage: return "NoStorage";
    case ErrorCode::EmptyArray: return "EmptyArray";
    case ErrorCode::IndexOutOfRange: return "IndexOutOfRange";
    }
    return "";
}

} // namespace corvane
