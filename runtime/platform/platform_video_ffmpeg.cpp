// The video reader on FFmpeg: libavformat reads through our own callbacks (so it
// never opens anything by name), libavcodec decodes, libswscale converts each
// picture to RGBA by its own size and format, libswresample brings the sound to
// the output format.
//
// The libraries are not linked: they pull in a hundred more shared objects that
// every program would load and map at start whether it plays a video or not. They
// are opened on the first use and reached through a table of entry points; the
// headers still give the types and the versions the table is checked against.
#include "runtime/platform/platform_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/platform/platform_dynlib.h"

namespace corvane::platform {

namespace {

// ---------------------------------------------------------------- the libraries
enum VideoLib { kUtil, kResample, kScale, kCodec, kFormat, kVideoLibCount };

struct VideoLibInfo {
    const char* base;                   // "avcodec": libavcodec.so.59, avcodec-59.dll
    int major;                          // the version the headers describe
    const char* versionFunction;        // its own major version is checked against them
};

// Dependencies first, so each is found already loaded by the next.
constexpr VideoLibInfo kVideoLibs[kVideoLibCount] = {
    {"avutil", LIBAVUTIL_VERSION_MAJOR, "avutil_version"},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR, "swresample_version"},
    {"swscale", LIBSWSCALE_VERSION_MAJOR, "swscale_version"},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR, "avcodec_version"},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR, "avformat_version"},
};

#define CORVANE_VIDEO_ENTRY_POINTS(X)                                                                          \
    X(kUtil, av_channel_layout_compare) X(kUtil, av_channel_layout_copy) X(kUtil, av_channel_layout_default)  \
    X(kUtil, av_channel_layout_uninit) X(kUtil, av_frame_alloc) X(kUtil, av_frame_free)                      \
    X(kUtil, av_frame_unref) X(kUtil, av_free) X(kUtil, av_freep) X(kUtil, av_log_set_level)                 \
    X(kUtil, av_malloc) X(kUtil, av_strdup)                                                                   \
    X(kResample, swr_alloc_set_opts2) X(kResample, swr_convert) X(kResample, swr_free)                       \
    X(kResample, swr_get_out_samples) X(kResample, swr_init)                                                  \
    X(kScale, sws_freeContext) X(kScale, sws_getContext) X(kScale, sws_scale)                                \
    X(kCodec, av_packet_alloc) X(kCodec, av_packet_free) X(kCodec, av_packet_unref)                          \
    X(kCodec, avcodec_alloc_context3) X(kCodec, avcodec_find_decoder) X(kCodec, avcodec_flush_buffers)       \
    X(kCodec, avcodec_free_context) X(kCodec, avcodec_open2) X(kCodec, avcodec_parameters_to_context)        \
    X(kCodec, avcodec_receive_frame) X(kCodec, avcodec_send_packet)                                          \
    X(kFormat, av_find_best_stream) X(kFormat, av_read_frame) X(kFormat, av_seek_frame)                      \
    X(kFormat, avformat_alloc_context) X(kFormat, avformat_close_input) X(kFormat, avformat_find_stream_info) \
    X(kFormat, avformat_flush) X(kFormat, avformat_open_input) X(kFormat, avformat_seek_file)                \
    X(kFormat, avio_alloc_context) X(kFormat, avio_context_free) X(kFormat, avio_seek)

struct VideoApi {
#define CORVANE_VIDEO_MEMBER(lib, name) decltype(&::name) name = nullptr;
    CORVANE_VIDEO_ENTRY_POINTS(CORVANE_VIDEO_MEMBER)
#undef CORVANE_VIDEO_MEMBER
};

VideoApi api;                                       // filled while the libraries are loaded
LibraryHandle g_libs[kVideoLibCount] = {};
bool g_loaded = false;
int g_openReaders = 0;
std::string g_nameOverride[kVideoLibCount];         // tests: a library looked for by another name
std::mutex g_libMutex;

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

void CloseLibraries() {
    api = VideoApi();
    for (int i = kVideoLibCount - 1; i >= 0; --i) {
        if (g_libs[i]) FreeDynamicLibrary(g_libs[i]);
        g_libs[i] = nullptr;
    }
    g_loaded = false;
}

// Opens one library by the first of its names that loads and has the headers'
// major version; error: the first name tried and why it did not do.
LibraryHandle OpenVideoLibrary(int lib, std::string* error) {
    const VideoLibInfo& info = kVideoLibs[lib];
    std::string base = g_nameOverride[lib].empty() ? info.base : g_nameOverride[lib];
    std::string firstWhy;
    for (const std::string& file : VideoLibraryFileNames(base.c_str(), info.major, kWindowsNames)) {
        std::string why;
        LibraryHandle handle = OpenLibraryFile(file.c_str(), &why);
        if (handle) {
            auto version = reinterpret_cast<unsigned (*)()>(FindLibrarySymbol(handle, info.versionFunction));
            int major = version ? static_cast<int>(version() >> 16) : -1;
            if (major == info.major) return handle;
            FreeDynamicLibrary(handle);
            why = file + ": version " + std::to_string(major) + " where " + std::to_string(info.major) + " is needed";
        }
        if (firstWhy.empty()) firstWhy = why.empty() ? file + ": cannot be loaded" : why;
    }
    if (error) *error = firstWhy;
    return nullptr;
}

bool LoadLocked(std::string* error) {
    if (g_loaded) return true;
    for (int i = 0; i < kVideoLibCount; ++i) {
        g_libs[i] = OpenVideoLibrary(i, error);
        if (!g_libs[i]) {
            CloseLibraries();
            return false;
        }
    }
    bool complete = true;
#define CORVANE_VIDEO_RESOLVE(lib, name)                                                           \
    api.name = reinterpret_cast<decltype(&::name)>(FindLibrarySymbol(g_libs[lib], #name));         \
    if (!api.name && complete) {                                                                   \
        complete = false;                                                                          \
        if (error) *error = VideoLibraryFileNames(kVideoLibs[lib].base, kVideoLibs[lib].major,     \
                                                  kWindowsNames).front() + ": no " #name;          \
    }
    CORVANE_VIDEO_ENTRY_POINTS(CORVANE_VIDEO_RESOLVE)
#undef CORVANE_VIDEO_RESOLVE
    if (!complete) {
        CloseLibraries();
        return false;
    }
    g_loaded = true;
    return true;
}

} // namespace

std::vector<std::string> VideoLibraryFileNames(const char* base, int major, bool windows) {
    std::string b = base ? base : "";
    if (b.empty()) return {};
    if (windows) return {b + "-" + std::to_string(major) + ".dll", b + ".dll"};
    return {"lib" + b + ".so." + std::to_string(major), "lib" + b + ".so"};
}

bool LoadVideoLibraries(std::string* error) {
    std::lock_guard<std::mutex> lock(g_libMutex);
    return LoadLocked(error);
}

bool UnloadVideoLibraries() {
    std::lock_guard<std::mutex> lock(g_libMutex);
    if (g_openReaders > 0) return false;
    CloseLibraries();
    return true;
}

bool VideoLibrariesLoaded() {
    std::lock_guard<std::mutex> lock(g_libMutex);
    return g_loaded;
}

void SetVideoLibraryNameForTesting(const char* base, const char* replacement) {
    std::lock_guard<std::mutex> lock(g_libMutex);
    for (int i = 0; i < kVideoLibCount; ++i)
        if (base && std::strcmp(kVideoLibs[i].base, base) == 0) g_nameOverride[i] = replacement ? replacement : "";
}

namespace {

constexpr int kIoBufferSize = 32768;
constexpr std::size_t kSoundAheadFrames = kVideoSoundRate;  // one second waiting stops decoding

struct Picture {
    std::vector<unsigned char> rgba;
    int width = 0, height = 0;
    double timeMs = 0.0;
};

} // namespace

struct VideoReader {
    // ---- source: a stream or the caller's bytes
    std::FILE* file = nullptr;
    const unsigned char* memory = nullptr;
    std::size_t memorySize = 0, memoryPos = 0;

    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    int videoStream = -1, audioStream = -1;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    SwsContext* scaler = nullptr;
    int scalerWidth = 0, scalerHeight = 0, scalerFormat = -1;
    SwrContext* resampler = nullptr;
    AVChannelLayout resamplerLayout{};
    int resamplerRate = 0, resamplerFormat = -1;

    double startMs = 0.0;          // the picture stream's first time
    double lastPictureMs = -1.0;   // time of the last picture given out
    double frameDurationMs = 40.0;
    bool demuxEnded = false;
    bool videoFlushed = false, audioFlushed = false;

    VideoReaderTimes times;

    std::deque<Picture> pictures;
    std::vector<std::int16_t> sound;  // interleaved stereo, from soundPos on
    std::size_t soundPos = 0;
};

namespace {

int ReadCallback(void* opaque, std::uint8_t* buf, int size) {
    auto* r = static_cast<VideoReader*>(opaque);
    if (size <= 0) return 0;
    if (r->file) {
        std::size_t n = std::fread(buf, 1, static_cast<std::size_t>(size), r->file);
        return n > 0 ? static_cast<int>(n) : AVERROR_EOF;
    }
    std::size_t left = r->memoryPos < r->memorySize ? r->memorySize - r->memoryPos : 0;
    std::size_t n = std::min(left, static_cast<std::size_t>(size));
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buf, r->memory + r->memoryPos, n);
    r->memoryPos += n;
    return static_cast<int>(n);
}

std::int64_t SeekCallback(void* opaque, std::int64_t offset, int whence) {
    auto* r = static_cast<VideoReader*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (r->file) {
        if (whence == AVSEEK_SIZE) {
            off_t here = ftello(r->file);
            if (here < 0 || fseeko(r->file, 0, SEEK_END) != 0) return -1;
            off_t size = ftello(r->file);
            fseeko(r->file, here, SEEK_SET);
            return size;
        }
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
        if (fseeko(r->file, static_cast<off_t>(offset), whence) != 0) return -1;
        return ftello(r->file);
    }
    std::int64_t base = 0;
    switch (whence) {
    case AVSEEK_SIZE: return static_cast<std::int64_t>(r->memorySize);
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<std::int64_t>(r->memoryPos); break;
    case SEEK_END: base = static_cast<std::int64_t>(r->memorySize); break;
    default: return -1;
    }
    std::int64_t target = base + offset;
    if (target < 0 || target > static_cast<std::int64_t>(r->memorySize)) return -1;
    r->memoryPos = static_cast<std::size_t>(target);
    return target;
}

// Every attempt to open anything by name fails.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Only the containers and decoders a game's videos come in are used; any other
// demuxer or decoder of the libraries (still pictures, playlists, exotic streams)
// would read a stranger's bytes with code nobody here plays or tests, so such a
// file is refused like a bad one. Demuxers that open further files or addresses
// are not on the list either.
constexpr const char kAllowedFormats[] = "avi,mov,matroska,webm,ogg,mpeg,wav";
constexpr AVCodecID kAllowedCodecs[] = {
    AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264, AV_CODEC_ID_MJPEG, AV_CODEC_ID_VP8, AV_CODEC_ID_VP9,
    AV_CODEC_ID_THEORA, AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO,
    AV_CODEC_ID_MP3, AV_CODEC_ID_MP2, AV_CODEC_ID_AAC, AV_CODEC_ID_VORBIS, AV_CODEC_ID_OPUS,
    AV_CODEC_ID_FLAC, AV_CODEC_ID_PCM_S16LE, AV_CODEC_ID_PCM_U8, AV_CODEC_ID_PCM_S24LE,
    AV_CODEC_ID_PCM_F32LE, AV_CODEC_ID_ADPCM_IMA_WAV, AV_CODEC_ID_ADPCM_MS};

bool AllowedCodec(AVCodecID id) {
    return std::find(std::begin(kAllowedCodecs), std::end(kAllowedCodecs), id) != std::end(kAllowedCodecs);
}

// Whether one of a demuxer's names ("mov,mp4,m4a,...") is on the list.
bool AllowedFormat(const char* names) {
    if (!names) return false;
    auto entries = [](const std::string& list) {
        std::vector<std::string> out;
        for (std::size_t start = 0; start <= list.size();) {
            std::size_t end = std::min(list.find(',', start), list.size());
            out.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        return out;
    };
    const std::vector<std::string> allowed = entries(kAllowedFormats);
    for (const std::string& name : entries(names))
        if (std::find(allowed.begin(), allowed.end(), name) != allowed.end()) return true;
    return false;
}

// The names of the allowed decoders this build of the library has, for the
// library's own checks while it looks into the streams.
std::string AllowedDecoderNames() {
    std::string names;
    for (AVCodecID id : kAllowedCodecs) {
        const AVCodec* codec = api.avcodec_find_decoder(id);
        if (!codec || !codec->name) continue;
        if (!names.empty()) names += ',';
        names += codec->name;
    }
    return names;
}

AVCodecContext* OpenDecoder(AVStream* stream) {
    if (!AllowedCodec(stream->codecpar->codec_id)) return nullptr;
    const AVCodec* codec = api.avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = api.avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    if (api.avcodec_parameters_to_context(ctx, stream->codecpar) < 0) {
        api.avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->thread_count = 1;
    // A lying header must not make the decoder allocate anything huge.
    ctx->max_pixels = static_cast<std::int64_t>(kVideoMaxSide) * kVideoMaxSide;
    ctx->pkt_timebase = stream->time_base;
    if (api.avcodec_open2(ctx, codec, nullptr) < 0) {
        api.avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

double ClockMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double TimeMs(std::int64_t ts, AVRational base) {
    return static_cast<double>(ts) * av_q2d(base) * 1000.0;
}

void ConvertPicture(VideoReader* r, AVFrame* f) {
    if (f->width <= 0 || f->height <= 0 || f->width > kVideoMaxSide || f->height > kVideoMaxSide) return;
    if (!r->scaler || r->scalerWidth != f->width || r->scalerHeight != f->height || r->scalerFormat != f->format) {
        // A picture of another size or format than the last gets its own conversion.
        api.sws_freeContext(r->scaler);
        r->scaler = api.sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width, f->height,
                                   AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
        r->scalerWidth = f->width;
        r->scalerHeight = f->height;
        r->scalerFormat = f->format;
        if (!r->scaler) return;
    }
    Picture p;
    p.width = f->width;
    p.height = f->height;
    p.rgba.resize(static_cast<std::size_t>(f->width) * f->height * 4);
    std::uint8_t* dst[4] = {p.rgba.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {f->width * 4, 0, 0, 0};
    double t0 = ClockMs();
    int rows = api.sws_scale(r->scaler, f->data, f->linesize, 0, f->height, dst, dstStride);
    r->times.convertMs += ClockMs() - t0;
    if (rows <= 0) return;
    ++r->times.pictures;

    // Missing or backward times: at once after the previous picture.
    AVStream* stream = r->format->streams[r->videoStream];
    std::int64_t ts = f->best_effort_timestamp;
    double t = ts == AV_NOPTS_VALUE ? r->lastPictureMs : TimeMs(ts, stream->time_base) - r->startMs;
    if (r->lastPictureMs >= 0.0 && t < r->lastPictureMs) t = r->lastPictureMs;
    if (t < 0.0) t = 0.0;
    p.timeMs = t;
    r->lastPictureMs = t;
    r->pictures.push_back(std::move(p));
}

void ResampleSound(VideoReader* r, AVFrame* f) {
    if (f->nb_samples <= 0 || f->sample_rate <= 0) return;
    AVChannelLayout inLayout{};
    if (f->ch_layout.nb_channels > 0 && f->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) {
        api.av_channel_layout_copy(&inLayout, &f->ch_layout);
    } else {
        int channels = f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels : r->audio->ch_layout.nb_channels;
        if (channels <= 0) return;
        api.av_channel_layout_default(&inLayout, channels);
    }
    if (!r->resampler || r->resamplerRate != f->sample_rate || r->resamplerFormat != f->format ||
        api.av_channel_layout_compare(&r->resamplerLayout, &inLayout) != 0) {
        api.swr_free(&r->resampler);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (api.swr_alloc_set_opts2(&r->resampler, &stereo, AV_SAMPLE_FMT_S16, kVideoSoundRate, &inLayout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
            api.swr_init(r->resampler) < 0) {
            api.swr_free(&r->resampler);
            api.av_channel_layout_uninit(&inLayout);
            return;
        }
        api.av_channel_layout_uninit(&r->resamplerLayout);
        api.av_channel_layout_copy(&r->resamplerLayout, &inLayout);
        r->resamplerRate = f->sample_rate;
        r->resamplerFormat = f->format;
    }
    api.av_channel_layout_uninit(&inLayout);
    int outFrames = api.swr_get_out_samples(r->resampler, f->nb_samples);
    if (outFrames <= 0) return;
    // Compact first, so the queue never grows by what was already taken.
    if (r->soundPos > 0 && r->soundPos * 2 >= r->sound.size()) {
        r->sound.erase(r->sound.begin(), r->sound.begin() + static_cast<std::ptrdiff_t>(r->soundPos));
        r->soundPos = 0;
    }
    std::size_t at = r->sound.size();
    r->sound.resize(at + static_cast<std::size_t>(outFrames) * 2);
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(r->sound.data() + at);
    int got = api.swr_convert(r->resampler, &out, outFrames, const_cast<const std::uint8_t**>(f->extended_data),
                          f->nb_samples);
    r->sound.resize(at + static_cast<std::size_t>(std::max(got, 0)) * 2);
}

// Takes every frame the decoder has ready.
void Receive(VideoReader* r, AVCodecContext* ctx) {
    for (;;) {
        double t0 = ClockMs();
        int ret = api.avcodec_receive_frame(ctx, r->frame);
        if (ctx == r->video) r->times.decodeMs += ClockMs() - t0;
        if (ret != 0) break;
        if (ctx == r->video) ConvertPicture(r, r->frame);
        else ResampleSound(r, r->frame);
        api.av_frame_unref(r->frame);
    }
}

int SendOnly(VideoReader* r, AVCodecContext* ctx, const AVPacket* packet) {
    double t0 = ClockMs();
    int ret = api.avcodec_send_packet(ctx, packet);
    if (ctx == r->video) r->times.decodeMs += ClockMs() - t0;
    return ret;
}

void Send(VideoReader* r, AVCodecContext* ctx, const AVPacket* packet) {
    if (SendOnly(r, ctx, packet) == AVERROR(EAGAIN)) {
        Receive(r, ctx);
        SendOnly(r, ctx, packet);
    }
    Receive(r, ctx);
}

std::size_t SoundWaiting(const VideoReader* r) { return (r->sound.size() - r->soundPos) / 2; }

void FreeReader(VideoReader* r) {
    if (!r) return;
    api.avcodec_free_context(&r->video);
    api.avcodec_free_context(&r->audio);
    api.av_packet_free(&r->packet);
    api.av_frame_free(&r->frame);
    api.sws_freeContext(r->scaler);
    api.swr_free(&r->resampler);
    api.av_channel_layout_uninit(&r->resamplerLayout);
    if (r->format) api.avformat_close_input(&r->format);
    if (r->io) {
        api.av_freep(&r->io->buffer);
        api.avio_context_free(&r->io);
    }
    if (r->file) std::fclose(r->file);
    delete r;
    std::lock_guard<std::mutex> lock(g_libMutex);
    --g_openReaders;
}

// The libraries stay loaded while a reader is open.
bool AcquireLibraries() {
    std::lock_guard<std::mutex> lock(g_libMutex);
    if (!LoadLocked(nullptr)) return false;
    ++g_openReaders;
    return true;
}

VideoReader* Open(VideoReader* r) {
    api.av_log_set_level(AV_LOG_QUIET);
    auto* buffer = static_cast<unsigned char*>(api.av_malloc(kIoBufferSize));
    if (!buffer) {
        FreeReader(r);
        return nullptr;
    }
    r->io = api.avio_alloc_context(buffer, kIoBufferSize, 0, r, ReadCallback, nullptr, SeekCallback);
    if (!r->io) {
        api.av_free(buffer);
        FreeReader(r);
        return nullptr;
    }
    r->format = api.avformat_alloc_context();
    if (!r->format) {
        FreeReader(r);
        return nullptr;
    }
    r->format->pb = r->io;
    r->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    r->format->io_open = RefuseOpen;
    // The library refuses other demuxers before reading any header, and other
    // decoders while it looks into the streams (freed with the context).
    r->format->format_whitelist = api.av_strdup(kAllowedFormats);
    r->format->codec_whitelist = api.av_strdup(AllowedDecoderNames().c_str());
    if (!r->format->format_whitelist || !r->format->codec_whitelist) {
        FreeReader(r);
        return nullptr;
    }
    // The name is never opened (the stream is ours); it must not look like a protocol.
    if (api.avformat_open_input(&r->format, "", nullptr, nullptr) < 0) {
        r->format = nullptr;  // freed by the failed open
        FreeReader(r);
        return nullptr;
    }
    if (!AllowedFormat(r->format->iformat ? r->format->iformat->name : nullptr) ||
        api.avformat_find_stream_info(r->format, nullptr) < 0) {
        FreeReader(r);
        return nullptr;
    }
    r->videoStream = api.av_find_best_stream(r->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    r->audioStream = api.av_find_best_stream(r->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (r->videoStream >= 0) {
        AVStream* s = r->format->streams[r->videoStream];
        int w = s->codecpar->width, h = s->codecpar->height;
        if (w > 0 && h > 0 && w <= kVideoMaxSide && h <= kVideoMaxSide && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            r->video = OpenDecoder(s);
        if (!r->video) {
            r->videoStream = -1;
        } else {
            if (s->start_time != AV_NOPTS_VALUE) r->startMs = TimeMs(s->start_time, s->time_base);
            AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
            if (rate.num > 0 && rate.den > 0) r->frameDurationMs = std::clamp(1000.0 / av_q2d(rate), 1.0, 1000.0);
        }
    }
    if (r->audioStream >= 0) {
        r->audio = OpenDecoder(r->format->streams[r->audioStream]);
        if (!r->audio) r->audioStream = -1;
    }
    r->packet = api.av_packet_alloc();
    r->frame = api.av_frame_alloc();
    if ((!r->video && !r->audio) || !r->packet || !r->frame) {
        FreeReader(r);
        return nullptr;
    }
    // Only the streams played are demuxed.
    for (unsigned i = 0; i < r->format->nb_streams; ++i)
        if (static_cast<int>(i) != r->videoStream && static_cast<int>(i) != r->audioStream)
            r->format->streams[i]->discard = AVDISCARD_ALL;
    return r;
}

} // namespace

VideoReader* OpenVideoReader(std::FILE* file) {
    if (!file) return nullptr;
    if (!AcquireLibraries()) {
        std::fclose(file);
        return nullptr;
    }
    auto* r = new VideoReader();
    r->file = file;
    return Open(r);
}

VideoReader* OpenVideoReaderFromMemory(const unsigned char* data, std::size_t size) {
    if (!data && size) return nullptr;
    if (!AcquireLibraries()) return nullptr;
    auto* r = new VideoReader();
    r->memory = data;
    r->memorySize = size;
    return Open(r);
}

void CloseVideoReader(VideoReader* reader) { FreeReader(reader); }

bool VideoHasPictures(const VideoReader* r) { return r && r->video; }
bool VideoHasSound(const VideoReader* r) { return r && r->audio; }

void VideoPictureSize(const VideoReader* r, int* width, int* height) {
    int w = 0, h = 0;
    if (r && r->video) {
        w = r->video->width;
        h = r->video->height;
    }
    if (width) *width = w;
    if (height) *height = h;
}

double VideoFrameDurationMs(const VideoReader* r) { return r ? r->frameDurationMs : 40.0; }

VideoStep DecodeVideo(VideoReader* r) {
    if (!r) return VideoStep::End;
    for (;;) {
        if (!r->pictures.empty()) return VideoStep::Picture;
        if (SoundWaiting(r) >= kSoundAheadFrames) return VideoStep::SoundAhead;
        if (r->demuxEnded) {
            // The decoders give out what they still hold, once.
            if (r->video && !r->videoFlushed) {
                r->videoFlushed = true;
                Send(r, r->video, nullptr);
                continue;
            }
            if (r->audio && !r->audioFlushed) {
                r->audioFlushed = true;
                Send(r, r->audio, nullptr);
                continue;
            }
            return SoundWaiting(r) > 0 ? VideoStep::SoundAhead : VideoStep::End;
        }
        int ret = api.av_read_frame(r->format, r->packet);
        if (ret < 0) {
            // The end of the data, or data that cannot be read further: either way the end.
            r->demuxEnded = true;
            continue;
        }
        if (r->packet->stream_index == r->videoStream && r->video) Send(r, r->video, r->packet);
        else if (r->packet->stream_index == r->audioStream && r->audio) Send(r, r->audio, r->packet);
        api.av_packet_unref(r->packet);
    }
}

bool PeekVideoPicture(VideoReader* r, VideoPicture* picture) {
    if (!r || r->pictures.empty()) return false;
    const Picture& p = r->pictures.front();
    if (picture) {
        picture->rgba = p.rgba.data();
        picture->width = p.width;
        picture->height = p.height;
        picture->timeMs = p.timeMs;
    }
    return true;
}

void DropVideoPicture(VideoReader* r) {
    if (r && !r->pictures.empty()) r->pictures.pop_front();
}

std::size_t TakeVideoSound(VideoReader* r, std::int16_t* out, std::size_t maxFrames) {
    if (!r) return 0;
    std::size_t n = std::min(maxFrames, SoundWaiting(r));
    if (out && n) std::memcpy(out, r->sound.data() + r->soundPos, n * 2 * sizeof(std::int16_t));
    r->soundPos += n * 2;
    if (r->soundPos == r->sound.size()) {
        r->sound.clear();
        r->soundPos = 0;
    }
    return n;
}

std::size_t VideoSoundWaiting(const VideoReader* r) { return r ? SoundWaiting(r) : 0; }

VideoReaderTimes GetVideoReaderTimes(const VideoReader* r) { return r ? r->times : VideoReaderTimes(); }

bool RewindVideo(VideoReader* r) {
    if (!r) return false;
    if (api.av_seek_frame(r->format, -1, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        api.avformat_seek_file(r->format, -1, INT64_MIN, 0, 0, 0) < 0) {
        // Streams without an index: back to the first byte.
        if (!r->io || api.avio_seek(r->io, 0, SEEK_SET) < 0) return false;
        api.avformat_flush(r->format);
    }
    if (r->video) api.avcodec_flush_buffers(r->video);
    if (r->audio) api.avcodec_flush_buffers(r->audio);
    if (r->resampler) {
        api.swr_free(&r->resampler);
        r->resamplerRate = 0;
    }
    r->pictures.clear();
    r->sound.clear();
    r->soundPos = 0;
    r->lastPictureMs = -1.0;
    r->demuxEnded = false;
    r->videoFlushed = r->audioFlushed = false;
    return true;
}

} // namespace corvane::platform
