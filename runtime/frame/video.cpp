// PlayVideo and PlayVideoOnce: a video file drawn full-window, fitted and centred,
// paced by its own picture times, with its sound mixed into the output, until it
// ends, a key or a mouse button. The program's drawing state and its back buffer
// are as it left them afterwards.
#include "runtime/frame/video.h"
#include "runtime/engine/engine_state.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_video.h"
#include "runtime/values/media.h"

namespace corvane {

namespace {

// Sound kept queued ahead of the mixer: enough to ride out a slow picture.
constexpr std::size_t kSoundLeadFrames = platform::kVideoSoundRate / 4;
// The longest sleep between looks at the keys, buttons and window.
constexpr int kMaxSleepMs = 5;

VideoSwapHook g_swapHook = nullptr;

// Everything a playing video holds, so that the program end can release it.
struct Playback {
    bool active = false;
    platform::VideoReader* reader = nullptr;
    GLuint texture = 0;
    int textureWidth = 0, textureHeight = 0;
    std::vector<unsigned char> savedPixels;
    bool stateSaved = false;
    bool sound = false;
};
Playback g_play;

int PowerOfTwo(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

// Only unit 0 textures what is drawn: a second texture the program left bound
// would otherwise modulate every picture (by texel 0,0 of whatever it holds).
// The pushed enable and texture attributes give the program's units back.
void OnlyTextureUnitZero() {
    const bool multi = gl::HasMultitexture();
    GLint units = 1;
    if (multi) glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    for (GLint unit = std::max(units, 1) - 1; unit >= 0; --unit) {
        if (multi) gl::ActiveTexture()(GL_TEXTURE0_ARB + unit);
        const GLenum off[] = {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
                              GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
        for (GLenum cap : off) glDisable(cap);
    }
    if (multi) gl::ClientActiveTexture()(GL_TEXTURE0_ARB);
}

void SaveDrawingState(int width, int height) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    // Unit 0's texture matrix is the one kept, whichever unit the program left active.
    OnlyTextureUnitZero();
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    g_play.savedPixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, g_play.savedPixels.data());
    g_play.stateSaved = true;
}

// A plain state for drawing pictures and putting pixels back.
void PlainState(int width, int height, bool topDown) {
    OnlyTextureUnitZero();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (topDown) glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    else glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLenum off[] = {GL_BLEND, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING, GL_FOG,
                          GL_STENCIL_TEST, GL_SCISSOR_TEST, GL_DITHER};
    for (GLenum cap : off) glDisable(cap);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelZoom(1.0f, 1.0f);
}

void RestoreDrawingState(int width, int height) {
    if (!g_play.stateSaved) return;
    // The back buffer as the program had drawn it.
    PlainState(width, height, false);
    glDisable(GL_TEXTURE_2D);
    glRasterPos2i(0, 0);
    glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, g_play.savedPixels.data());
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    g_play.stateSaved = false;
    std::vector<unsigned char>().swap(g_play.savedPixels);
}

void ClearToBlack() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void Present(double playingMs) {
    if (g_swapHook) g_swapHook(playingMs);
    glFlush();
    platform::SwapWindowBuffers();
}

void DrawPicture(const platform::VideoPicture& picture, int width, int height) {
    PlainState(width, height, true);
    ClearToBlack();
    if (picture.width > g_play.textureWidth || picture.height > g_play.textureHeight || !g_play.texture) {
        // One texture for the whole video, larger only when a picture needs it.
        if (g_play.texture) glDeleteTextures(1, &g_play.texture);
        g_play.textureWidth = PowerOfTwo(std::max(picture.width, g_play.textureWidth));
        g_play.textureHeight = PowerOfTwo(std::max(picture.height, g_play.textureHeight));
        glGenTextures(1, &g_play.texture);
        glBindTexture(GL_TEXTURE_2D, g_play.texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, g_play.textureWidth, g_play.textureHeight, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, g_play.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba);
    VideoFit fit = FitVideo(width, height, picture.width, picture.height);
    // Half a texel in from the edges, so linear filtering never reads the unused part.
    float u0 = 0.5f / g_play.textureWidth, v0 = 0.5f / g_play.textureHeight;
    float u1 = (picture.width - 0.5f) / g_play.textureWidth;
    float v1 = (picture.height - 0.5f) / g_play.textureHeight;
    float x0 = static_cast<float>(fit.x), y0 = static_cast<float>(fit.y);
    float x1 = x0 + fit.width, y1 = y0 + fit.height;
    glBegin(GL_QUADS);
    glTexCoord2f(u0, v0); glVertex2f(x0, y0);
    glTexCoord2f(u0, v1); glVertex2f(x0, y1);
    glTexCoord2f(u1, v1); glVertex2f(x1, y1);
    glTexCoord2f(u1, v0); glVertex2f(x1, y0);
    glEnd();
}

bool KeyOrButton() {
    InputDevices* in = TheInput();
    if (!in) return false;
    // Both are read every time: each keeps its own state up to date.
    bool key = AnyKeyChar(*in);
    bool button = AnyMouseButton(*in);
    return key || button;
}

// Moves decoded sound to the mixer while it is short of its lead; without an
// output, sound that is due is dropped so decoding never stalls on it.
void FeedSound(double playingMs, double& soundTakenMs) {
    platform::VideoReader* r = g_play.reader;
    std::int16_t buffer[4096 * 2];
    for (;;) {
        std::size_t want = 0;
        if (g_play.sound) {
            std::size_t queued = platform::VideoSoundQueued();
            if (queued >= kSoundLeadFrames) return;
            want = std::min<std::size_t>(kSoundLeadFrames - queued, 4096);
        } else {
            double dueFrames = (playingMs - soundTakenMs) * platform::kVideoSoundRate / 1000.0;
            if (dueFrames < 1.0) return;
            want = std::min<std::size_t>(static_cast<std::size_t>(dueFrames), 4096);
        }
        std::size_t got = platform::TakeVideoSound(r, buffer, want);
        if (got == 0) return;
        if (g_play.sound) platform::QueueVideoSound(buffer, got);
        soundTakenMs += got * 1000.0 / platform::kVideoSoundRate;
    }
}

void Release() {
    if (g_play.sound) platform::StopVideoSound();
    g_play.sound = false;
    if (g_play.texture && platform::HasGLContext()) glDeleteTextures(1, &g_play.texture);
    g_play.texture = 0;
    g_play.textureWidth = g_play.textureHeight = 0;
    platform::CloseVideoReader(g_play.reader);
    g_play.reader = nullptr;
    g_play.active = false;
}

void PlayVideoFile(const RtString& fileName, bool loop) {
    if (g_play.active || !MediaSource(0)) return;
    FlushQuads(); // the frame so far is saved and shown again after the video
    // 1. Resolved through the first media context; missing or unreadable: skipped.
    const char* command = loop ? "PlayVideo" : "PlayVideoOnce";
    char path[kMediaPathCapacity];
    if (!ResolveMedia(MediaSource(0), fileName.Buffer(), path, sizeof path)) {
        const std::string why = platform::ReadProblem(fileName.Buffer());
        ReportFailure(command, fileName.Buffer(), why.empty() || why == "unreadable" ? "not found" : why);
        return;
    }
    std::FILE* file = platform::OpenFileForReading(path);
    if (!file) {
        ReportFailure(command, fileName.Buffer(), platform::ReadProblem(path));
        return;
    }
    // The video libraries load on the first video; without them it is skipped
    // as a file that does not decode is, and the log says which one is missing.
    std::string why;
    if (!platform::LoadVideoLibraries(&why)) {
        std::fclose(file);
        ReportFailure(command, fileName.Buffer(), "cannot load " + why);
        return;
    }
    g_play.reader = platform::OpenVideoReader(file);
    if (!g_play.reader) {
        ReportFailure(command, fileName.Buffer(), "not a video the decoder reads (unsupported format or damaged)");
        return;
    }
    g_play.active = true;
    // A file that opens but decodes nothing would show a blank window forever.
    platform::VideoStep step = platform::DecodeVideo(g_play.reader);
    if (step == platform::VideoStep::End) {
        Release();
        ReportFailure(command, fileName.Buffer(), "no picture or sound could be decoded (truncated or damaged)");
        return;
    }

    // 5. A key or button still held from before does not end the video at once.
    while (KeyOrButton()) platform::SleepMilliseconds(1);

    const int width = engine.surface.width, height = engine.surface.height;
    SaveDrawingState(width, height);
    g_play.sound = platform::StartVideoSound();
    const bool pictures = platform::VideoHasPictures(g_play.reader);
    const double frameMs = platform::VideoFrameDurationMs(g_play.reader);
    if (!pictures) {
        // Sound alone plays over black.
        PlainState(width, height, true);
        ClearToBlack();
        Present(0.0);
    }

    double start = NowMilliseconds();
    double soundTakenMs = 0.0;
    double lastPictureMs = -1.0;
    for (;;) {
        // 6. A key or button ends it; window messages go on meanwhile.
        if (KeyOrButton()) break;
        PumpMessages();
        double playing = NowMilliseconds() - start;
        step = platform::DecodeVideo(g_play.reader);
        FeedSound(playing, soundTakenMs);
        if (step == platform::VideoStep::Picture) {
            platform::VideoPicture picture;
            platform::PeekVideoPicture(g_play.reader, &picture);
            if (picture.timeMs <= playing) {
                DrawPicture(picture, width, height);
                Present(playing);
                lastPictureMs = picture.timeMs;
                platform::DropVideoPicture(g_play.reader);
                continue;
            }
            int wait = static_cast<int>(picture.timeMs - playing);
            platform::SleepMilliseconds(std::clamp(wait, 1, kMaxSleepMs));
            continue;
        }
        if (step == platform::VideoStep::End) {
            // The end of the data is the end position: the last picture's time on
            // screen, and the sound played out.
            double endMs = std::max(lastPictureMs >= 0.0 ? lastPictureMs + frameMs : 0.0, soundTakenMs);
            bool soundDone = !g_play.sound || platform::VideoSoundQueued() == 0;
            if (playing >= endMs && soundDone) {
                if (!loop || !platform::RewindVideo(g_play.reader)) break;
                start = NowMilliseconds();
                soundTakenMs = 0.0;
                lastPictureMs = -1.0;
                continue;
            }
        }
        platform::SleepMilliseconds(kMaxSleepMs);
    }

    // 7. Silent at once, and the program's drawing as it left it.
    if (g_play.sound) platform::StopVideoSound();
    g_play.sound = false;
    if (g_play.texture) glDeleteTextures(1, &g_play.texture);
    g_play.texture = 0;
    RestoreDrawingState(width, height);
    Release();
}

} // namespace

VideoFit FitVideo(int clientWidth, int clientHeight, int videoWidth, int videoHeight) {
    VideoFit fit;
    if (videoWidth <= 0 || videoHeight <= 0 || clientWidth <= 0 || clientHeight <= 0) return fit;
    float scale = std::min(static_cast<float>(clientHeight) / videoHeight, static_cast<float>(clientWidth) / videoWidth);
    fit.width = static_cast<int>(videoWidth * scale);
    fit.height = static_cast<int>(videoHeight * scale);
    fit.x = (clientWidth - fit.width) / 2;
    fit.y = (clientHeight - fit.height) / 2;
    return fit;
}

void SetVideoSwapHookForTesting(VideoSwapHook hook) { g_swapHook = hook; }

void PlayVideo(const RtString& fileName) { PlayVideoFile(fileName, true); }
void PlayVideoOnce(const RtString& fileName) { PlayVideoFile(fileName, false); }

void StopVideoPlayback() {
    if (g_play.active) {
        g_play.stateSaved = false;  // the program is ending: nothing to draw back
        std::vector<unsigned char>().swap(g_play.savedPixels);
        Release();
    }
    platform::UnloadVideoLibraries();
}

} // namespace corvane
