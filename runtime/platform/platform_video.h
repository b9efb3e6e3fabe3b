// Platform services: reading video files (pictures as RGBA with their times, the
// sound track in the output format) and mixing a video's sound into the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane::platform {

// ---------------------------------------------------------------- the video libraries
// Opened on the first reader (or LoadVideoLibraries), by the names the system's
// packages install, and kept until UnloadVideoLibraries.
bool LoadVideoLibraries(std::string* error);        // true when loaded; error: the library that failed and why
bool UnloadVideoLibraries();                        // false (nothing closed) while a reader is open
bool VideoLibrariesLoaded();
// The file names one library is tried by, in order: "avcodec", 59 gives
// libavcodec.so.59 then libavcodec.so, or avcodec-59.dll then avcodec.dll.
std::vector<std::string> VideoLibraryFileNames(const char* base, int major, bool windows);
// Tests: base ("avcodec") is looked for as replacement instead; null or "" puts it back.
void SetVideoLibraryNameForTesting(const char* base, const char* replacement);

// ---------------------------------------------------------------- video reader
// Reads only through the stream it was given: no demuxer may open another file or
// address (playlists, concatenation lists and image sequences are refused).
struct VideoReader;

constexpr int kVideoSoundRate = 22050;              // sound comes out at 22050 Hz, 16-bit stereo
constexpr int kVideoMaxSide = 8192;                 // larger pictures are refused

VideoReader* OpenVideoReader(std::FILE* file);      // takes the stream (closed with the reader); null when nothing in it decodes
VideoReader* OpenVideoReaderFromMemory(const unsigned char* data, std::size_t size); // reads the caller's bytes, which must outlive the reader
void CloseVideoReader(VideoReader* reader);         // null is ignored

bool VideoHasPictures(const VideoReader* reader);   // a picture stream is decoded
bool VideoHasSound(const VideoReader* reader);      // a sound stream is decoded
void VideoPictureSize(const VideoReader* reader, int* width, int* height); // as the header gives it (0 x 0 without pictures)
double VideoFrameDurationMs(const VideoReader* reader); // one picture's time on screen (from the frame rate; 40 when unknown)

enum class VideoStep {
    Picture,                                        // a picture is ready (TakeVideoPicture)
    SoundAhead,                                     // no picture yet, but a second of sound is waiting
    End,                                            // the data is over and everything decoded was taken
};
// Decodes until a picture is ready, enough sound is waiting, or the data ends.
VideoStep DecodeVideo(VideoReader* reader);

struct VideoPicture {
    const unsigned char* rgba = nullptr;            // width * height * 4 bytes, top row first
    int width = 0, height = 0;                      // this picture's own size
    double timeMs = 0.0;                            // when it is due, from the start of the file
};
// The ready picture (valid until the next DecodeVideo or TakeVideoPicture); false when none.
bool PeekVideoPicture(VideoReader* reader, VideoPicture* picture);
void DropVideoPicture(VideoReader* reader);         // done with the ready picture

// Moves up to maxFrames stereo frames of decoded sound into out; returns how many.
std::size_t TakeVideoSound(VideoReader* reader, std::int16_t* out, std::size_t maxFrames);
std::size_t VideoSoundWaiting(const VideoReader* reader); // stereo frames decoded and not taken

bool RewindVideo(VideoReader* reader);              // back to the start; false when the stream cannot seek

struct VideoReaderTimes {
    double decodeMs = 0.0;                          // in the picture decoder
    double convertMs = 0.0;                         // converting pictures to RGBA
    long pictures = 0;                              // pictures converted
};
VideoReaderTimes GetVideoReaderTimes(const VideoReader* reader); // spent so far (for measurements)

// ---------------------------------------------------------------- video sound output
// The sound is mixed into the output after music and effects. Without an open
// output nothing is queued and StartVideoSound returns false.
bool StartVideoSound();
std::size_t QueueVideoSound(const std::int16_t* frames, std::size_t count); // frames taken (fewer when the queue is full)
std::size_t VideoSoundQueued();                     // frames queued and not yet mixed
void StopVideoSound();                              // silent at once; the queue is emptied

} // namespace corvane::platform
