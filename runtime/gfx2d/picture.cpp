// Picture decoding for the loaders: BMP through its own reader, PNG through
// libpng, JPEG through libjpeg-turbo, TGA here. Both libraries report errors by
// a long jump, so each call into them sits in a function of its own whose frame
// holds nothing with a destructor; buffers live in the caller's frame.
#include "runtime/gfx2d/picture.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared first

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

// Puts decoded picture rows (R, G, B, A, top row first or in any order) into
// the texture buffer exactly where the BMP reader puts its texels.
class TexelPlacer {
public:
    TexelPlacer(const PictureDecodeRequest& request, PictureTexels* out) : request_(request), out_(out) {}

    // Checks the sizes and makes the buffer; false refuses the picture.
    bool Begin(int pictureWidth, int pictureHeight, bool alpha) {
        if (pictureWidth < 1 || pictureHeight < 1 || pictureWidth > kPictureMaxSide || pictureHeight > kPictureMaxSide)
            return false;
        const int limit = request_.maxTextureSize;
        // These formats are decoded from the top, whatever the rectangle.
        if (limit > 0 && (pictureWidth > limit || pictureHeight > limit)) return false;
        width_ = request_.width, height_ = request_.height;
        if (width_ <= 0 || height_ <= 0) width_ = pictureWidth, height_ = pictureHeight;
        if (limit > 0 && (width_ > limit || height_ > limit)) return false;
        if (width_ > kPictureMaxSide || height_ > kPictureMaxSide) return false;
        pictureWidth_ = pictureWidth, pictureHeight_ = pictureHeight;
        alpha_ = alpha;
        out_->width = width_;
        out_->height = height_;
        out_->textureWidth = TextureSideFor(width_);
        out_->textureHeight = TextureSideFor(height_);
        out_->rgba.assign(std::size_t(out_->textureWidth) * out_->textureHeight * 4, 0);
        // Columns of the rectangle that lie inside the picture.
        const long long sx = request_.sourceX;
        firstX_ = int(std::clamp<long long>(-sx, 0, width_));
        endX_ = int(std::clamp<long long>(pictureWidth - sx, firstX_, width_));
        return true;
    }

    // Picture row sy (0 = top), pictureWidth texels R, G, B, A.
    void Row(int sy, const std::uint8_t* rgba) {
        const long long y = (long long)sy - request_.sourceY;
        if (y < 0 || y >= height_) return;
        std::uint8_t* dst = out_->rgba.data() + std::size_t(height_ - 1 - y) * out_->textureWidth * 4;
        const std::uint8_t* src = rgba + (std::ptrdiff_t(request_.sourceX) + firstX_) * 4;
        const std::uint32_t key = request_.keyColour & 0xFFFFFF;
        const bool keying = request_.keying && !alpha_;
        for (int x = firstX_; x < endX_; ++x, src += 4) {
            std::uint8_t* t = dst + std::size_t(x) * 4;
            if (alpha_) {
                if (src[3] == 0) continue;          // fully transparent: (0, 0, 0, 0) like a keyed texel
                std::memcpy(t, src, 4);
                continue;
            }
            if (keying && ((std::uint32_t(src[2]) << 16) | (std::uint32_t(src[1]) << 8) | src[0]) == key) continue;
            t[0] = src[0], t[1] = src[1], t[2] = src[2], t[3] = 255;
        }
    }

    void Finish() {
        if ((request_.keyColour & 0xFFFFFF) != 0) BleedEdgeColours(out_->rgba.data(), out_->textureWidth, width_, height_);
    }

    int pictureWidth() const { return pictureWidth_; }
    int pictureHeight() const { return pictureHeight_; }

private:
    const PictureDecodeRequest& request_;
    PictureTexels* out_;
    int width_ = 0, height_ = 0, pictureWidth_ = 0, pictureHeight_ = 0, firstX_ = 0, endX_ = 0;
    bool alpha_ = false;
};

const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t ReadBe32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
unsigned ReadLe16(const std::uint8_t* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }

// ------------------------------------------------------------------ PNG

struct PngSource {
    const std::uint8_t* data;
    std::size_t size, at;
};

void PngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "truncated");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
void PngWarn(png_structp, png_const_charp) {}

// Buffers of a PNG decode, owned by the caller's frame.
struct PngBuffers {
    std::vector<std::uint8_t> pixels;               // one row, or the whole picture when interlaced
    std::vector<png_bytep> rows;
};

bool RunPng(png_structp png, png_infop info, PngSource* source, TexelPlacer* placer, PngBuffers* buffers) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, source, PngRead);
    png_set_user_limits(png, kPictureMaxSide, kPictureMaxSide);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    // Everything becomes 8-bit R, G, B, A; sample values as stored (no gamma step).
    if (depth == 16) png_set_scale_16(png);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 4) return false;
    if (!placer->Begin(int(width), int(height), alpha)) return false;
    const std::size_t stride = std::size_t(width) * 4;
    if (passes > 1) {
        buffers->pixels.resize(stride * height);
        buffers->rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) buffers->rows[y] = buffers->pixels.data() + stride * y;
        png_read_image(png, buffers->rows.data());
        for (png_uint_32 y = 0; y < height; ++y) placer->Row(int(y), buffers->rows[y]);
    } else {
        buffers->pixels.resize(stride);
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, buffers->pixels.data(), nullptr);
            placer->Row(int(y), buffers->pixels.data());
        }
    }
    return true;
}

bool DecodePng(const std::uint8_t* file, std::size_t size, TexelPlacer* placer) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{file, size, 0};
    PngBuffers buffers;
    bool ok = false;
    try {
        ok = RunPng(png, info, &source, placer, &buffers);
    } catch (...) {                                 // a buffer too large for memory
        ok = false;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

// ------------------------------------------------------------------ JPEG

// A progressive file may hold any number of scans, each a full pass over the
// picture; more than this is taken as a lying file.
constexpr int kMaxJpegScans = 500;

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void JpegMessage(j_common_ptr info, int level) {
    // The library pads a file that ends early, or a scan whose data stops
    // before the picture is covered, with grey and goes on; such a short or
    // lying file is refused instead. Other warnings (stray bytes between
    // markers) leave a picture that still shows, as other viewers show it.
    const int code = info->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) JpegFail(info);
}

void JpegProgress(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans)
        JpegFail(info);
}

void JpegNoOutput(j_common_ptr) {}

// Reads the header (and, with a placer, the whole picture) of the file.
bool RunJpeg(jpeg_decompress_struct* jpeg, JpegErrors* errors, jpeg_progress_mgr* progress, const std::uint8_t* file,
             std::size_t size, TexelPlacer* placer, std::vector<std::uint8_t>* row, int* width, int* height) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(jpeg);                   // clears every field but the error manager
    jpeg->progress = progress;
    jpeg_mem_src(jpeg, file, static_cast<unsigned long>(size));
    if (jpeg_read_header(jpeg, TRUE) != JPEG_HEADER_OK) return false;
    *width = int(jpeg->image_width);
    *height = int(jpeg->image_height);
    if (!placer) return *width >= 1 && *height >= 1 && *width <= kPictureMaxSide && *height <= kPictureMaxSide;
    jpeg->out_color_space = JCS_EXT_RGBA;
    if (!placer->Begin(*width, *height, false)) return false;
    jpeg_start_decompress(jpeg);
    if (int(jpeg->output_width) != *width || jpeg->output_components != 4) return false;
    row->resize(std::size_t(*width) * 4);
    JSAMPROW rows[1] = {row->data()};
    while (jpeg->output_scanline < jpeg->output_height) {
        const int y = int(jpeg->output_scanline);
        if (jpeg_read_scanlines(jpeg, rows, 1) != 1) return false;
        placer->Row(y, row->data());
    }
    jpeg_finish_decompress(jpeg);
    return true;
}

bool DecodeJpeg(const std::uint8_t* file, std::size_t size, TexelPlacer* placer, int* width, int* height) {
    jpeg_decompress_struct jpeg;
    JpegErrors errors;
    std::memset(&jpeg, 0, sizeof jpeg);
    jpeg.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegFail;
    errors.manager.emit_message = JpegMessage;
    errors.manager.output_message = JpegNoOutput;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = JpegProgress;
    std::vector<std::uint8_t> row;
    bool ok = false;
    try {
        ok = RunJpeg(&jpeg, &errors, &progress, file, size, placer, &row, width, height);
    } catch (...) {
        ok = false;
    }
    jpeg_destroy_decompress(&jpeg);
    return ok;
}

// ------------------------------------------------------------------ TGA

struct TgaHeader {
    int idLength, mapType, imageType, mapFirst, mapLength, mapEntryBits;
    int width, height, depth, descriptor;
    bool runLength, mapped, grey;
};

bool ParseTga(const std::uint8_t* p, std::size_t size, TgaHeader* h) {
    if (size < 18) return false;
    h->idLength = p[0];
    h->mapType = p[1];
    h->imageType = p[2];
    h->mapFirst = int(ReadLe16(p + 3));
    h->mapLength = int(ReadLe16(p + 5));
    h->mapEntryBits = p[7];
    h->width = int(ReadLe16(p + 12));
    h->height = int(ReadLe16(p + 14));
    h->depth = p[16];
    h->descriptor = p[17];
    const int base = h->imageType & 7;
    h->runLength = (h->imageType & 8) != 0;
    h->mapped = base == 1;
    h->grey = base == 3;
    if (h->mapType > 1 || (h->imageType & ~0xB) != 0 || base < 1 || base > 3) return false;
    if (h->descriptor & 0xC0) return false;         // interleaved rows: never written by current tools
    if (h->width < 1 || h->height < 1) return false;
    auto entryBitsOk = [](int b) { return b == 15 || b == 16 || b == 24 || b == 32; };
    if (h->mapType == 1 && (!entryBitsOk(h->mapEntryBits) || h->mapLength < 1)) return false;
    if (h->mapped) return h->mapType == 1 && (h->depth == 8 || h->depth == 16);
    if (h->grey) return h->depth == 8 || h->depth == 16;
    return entryBitsOk(h->depth);
}

// One stored colour (true colour or colour-map entry) as R, G, B, A.
void TgaColour(const std::uint8_t* p, int bits, std::uint8_t* t) {
    switch (bits) {
    case 15:
    case 16: {
        const unsigned v = ReadLe16(p);
        auto expand = [](unsigned c) { return std::uint8_t((c << 3) | (c >> 2)); };
        t[0] = expand((v >> 10) & 31), t[1] = expand((v >> 5) & 31), t[2] = expand(v & 31);
        t[3] = (bits == 16 && (v & 0x8000)) ? 255 : 0;
        break;
    }
    case 24: t[0] = p[2], t[1] = p[1], t[2] = p[0], t[3] = 255; break;
    default: t[0] = p[2], t[1] = p[1], t[2] = p[0], t[3] = p[3]; break;
    }
}

bool DecodeTga(const std::uint8_t* file, std::size_t size, TexelPlacer* placer) {
    TgaHeader h;
    if (!ParseTga(file, size, &h)) return false;
    const int colourBits = h.mapped ? h.mapEntryBits : h.depth;
    const int alphaBits = h.descriptor & 15;
    // The attribute bits of the descriptor say whether the fourth channel is alpha.
    const bool alpha = h.grey ? h.depth == 16 : (alphaBits > 0 && (colourBits == 32 || colourBits == 16));
    std::size_t at = 18 + std::size_t(h.idLength);
    const std::size_t entryBytes = std::size_t(h.mapEntryBits + 7) / 8;
    const std::uint8_t* map = file + at;
    if (h.mapType == 1) at += entryBytes * std::size_t(h.mapLength);
    if (at > size) return false;
    const std::size_t pixelBytes = std::size_t(h.depth + 7) / 8;
    const std::uint64_t count = std::uint64_t(h.width) * std::uint64_t(h.height);
    // Bytes the pixels need at the least: all of them stored, or one packet
    // header and one pixel per 128 when run-length packed.
    const std::uint64_t least = h.runLength ? (count + 127) / 128 * (1 + pixelBytes) : count * pixelBytes;
    if (least > size - at) return false;
    if (!placer->Begin(h.width, h.height, alpha)) return false;

    std::vector<std::uint8_t> picture(std::size_t(count) * 4);
    auto convert = [&](const std::uint8_t* p, std::uint8_t* t) -> bool {
        if (h.grey) {
            t[0] = t[1] = t[2] = p[0];
            t[3] = h.depth == 16 ? p[1] : 255;
            return true;
        }
        if (h.mapped) {
            const int index = (h.depth == 16 ? int(ReadLe16(p)) : int(p[0])) - h.mapFirst;
            if (index < 0 || index >= h.mapLength) return false;
            p = map + entryBytes * std::size_t(index);
        }
        TgaColour(p, colourBits, t);
        return true;
    };
    const std::uint8_t* src = file + at;
    const std::uint8_t* end = file + size;
    std::uint8_t* t = picture.data();
    if (!h.runLength) {
        for (std::uint64_t i = 0; i < count; ++i, src += pixelBytes, t += 4)
            if (!convert(src, t)) return false;
    } else {
        // Packets may run on from one row into the next; none may pass the last pixel.
        std::uint64_t done = 0;
        while (done < count) {
            if (src >= end) return false;
            const int packet = *src++;
            const std::uint64_t n = std::uint64_t(packet & 0x7F) + 1;
            if (n > count - done) return false;
            if (packet & 0x80) {
                if (std::size_t(end - src) < pixelBytes || !convert(src, t)) return false;
                src += pixelBytes;
                for (std::uint64_t i = 1; i < n; ++i) std::memcpy(t + i * 4, t, 4);
            } else {
                if (std::uint64_t(end - src) < n * pixelBytes) return false;
                for (std::uint64_t i = 0; i < n; ++i, src += pixelBytes)
                    if (!convert(src, t + i * 4)) return false;
            }
            t += n * 4;
            done += n;
        }
    }
    // Writers that leave the attribute bytes 0 say nothing with them: such a
    // picture is taken as having no alpha, as it would otherwise be invisible.
    if (alpha) {
        bool any = false;
        for (std::size_t i = 3; i < picture.size() && !any; i += 4) any = picture[i] != 0;
        if (!any) {
            for (std::size_t i = 3; i < picture.size(); i += 4) picture[i] = 255;
            if (!placer->Begin(h.width, h.height, false)) return false;
        }
    }
    const bool topDown = (h.descriptor & 0x20) != 0, rightToLeft = (h.descriptor & 0x10) != 0;
    std::vector<std::uint8_t> mirrored;
    if (rightToLeft) mirrored.resize(std::size_t(h.width) * 4);
    for (int row = 0; row < h.height; ++row) {
        const std::uint8_t* stored = picture.data() + std::size_t(row) * h.width * 4;
        if (rightToLeft) {
            for (int x = 0; x < h.width; ++x)
                std::memcpy(&mirrored[std::size_t(x) * 4], stored + std::size_t(h.width - 1 - x) * 4, 4);
            stored = mirrored.data();
        }
        placer->Row(topDown ? row : h.height - 1 - row, stored);
    }
    return true;
}

} // namespace

PictureKind SniffPicture(const std::uint8_t* data, std::size_t size) {
    if (!data) return PictureKind::Unknown;
    if (size >= 2 && data[0] == 0x42 && data[1] == 0x4D) return PictureKind::Bmp;
    if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) return PictureKind::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return PictureKind::Jpeg;
    TgaHeader h;
    if (ParseTga(data, size, &h)) return PictureKind::Tga;
    return PictureKind::Unknown;
}

bool ProbePicture(const std::uint8_t* file, std::size_t size, int* width, int* height) {
    *width = *height = 0;
    int w = 0, h = 0;
    switch (SniffPicture(file, size)) {
    case PictureKind::Bmp: {
        BmpHeader header;
        if (!ParseBmpHeader(file, size, size, &header)) return false;
        w = header.width, h = header.height;
        break;
    }
    case PictureKind::Png:
        if (size < 24 || std::memcmp(file + 12, "IHDR", 4) != 0) return false;
        if (ReadBe32(file + 16) > std::uint32_t(kPictureMaxSide) || ReadBe32(file + 20) > std::uint32_t(kPictureMaxSide))
            return false;
        w = int(ReadBe32(file + 16)), h = int(ReadBe32(file + 20));
        break;
    case PictureKind::Jpeg:
        if (!DecodeJpeg(file, size, nullptr, &w, &h)) return false;
        break;
    case PictureKind::Tga: {
        TgaHeader header;
        ParseTga(file, size, &header);
        w = header.width, h = header.height;
        break;
    }
    case PictureKind::Unknown: return false;
    }
    if (w < 1 || h < 1 || w > kPictureMaxSide || h > kPictureMaxSide) return false;
    *width = w, *height = h;
    return true;
}

std::string PictureProblem(const std::uint8_t* file, std::size_t size, int maxTextureSize) {
    if (!file || size == 0) return "empty file";
    const PictureKind kind = SniffPicture(file, size);
    const char* name = kind == PictureKind::Bmp ? "BMP" : kind == PictureKind::Png ? "PNG"
                     : kind == PictureKind::Jpeg ? "JPEG" : "TGA";
    const std::string damaged = std::string("damaged ") + name, truncated = std::string("truncated ") + name;
    switch (kind) {
    case PictureKind::Unknown:
        return "not a picture (BMP, PNG, JPEG or TGA)";
    case PictureKind::Bmp: {
        if (size < 54) return truncated;
        BmpHeader header;
        if (!ParseBmpHeader(file, size, size, &header)) {
            const std::uint32_t offset = std::uint32_t(file[10]) | std::uint32_t(file[11]) << 8 |
                                         std::uint32_t(file[12]) << 16 | std::uint32_t(file[13]) << 24;
            return offset > size ? truncated : damaged;
        }
        const int bits = header.bitCount;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return "unsupported BMP (" + std::to_string(bits) + " bits per pixel)";
        const std::uint32_t compression = std::uint32_t(file[30]) | std::uint32_t(file[31]) << 8 |
                                          std::uint32_t(file[32]) << 16 | std::uint32_t(file[33]) << 24;
        if (compression > 3) return "unsupported BMP (compression " + std::to_string(compression) + ")";
        if (compression == 0) {
            const std::uint64_t row = (std::uint64_t(header.width) * std::uint64_t(bits) + 31) / 32 * 4;
            if (header.pixelOffset + row * std::uint64_t(header.height) > size) return truncated;
        }
        break;
    }
    case PictureKind::Png:
        if (size < 33) return truncated;
        if (std::memcmp(file + 12, "IHDR", 4) != 0) return damaged;
        break;
    case PictureKind::Jpeg:
        if (size < 4 || file[size - 2] != 0xFF || file[size - 1] != 0xD9) return truncated;
        break;
    case PictureKind::Tga: break;
    }
    int w = 0, h = 0;
    if (!ProbePicture(file, size, &w, &h)) {
        if (kind == PictureKind::Png && (ReadBe32(file + 16) > std::uint32_t(kPictureMaxSide) ||
                                         ReadBe32(file + 20) > std::uint32_t(kPictureMaxSide)))
            return "too large (" + std::to_string(ReadBe32(file + 16)) + " x " + std::to_string(ReadBe32(file + 20)) +
                   " pixels)";
        return damaged;
    }
    if (maxTextureSize > 0 && (w > maxTextureSize || h > maxTextureSize))
        return "too large (" + std::to_string(w) + " x " + std::to_string(h) + " pixels; the largest texture is " +
               std::to_string(maxTextureSize) + ")";
    // A PNG ends with its IEND chunk; one cut short lacks it.
    if (kind == PictureKind::Png && (size < 12 || std::memcmp(file + size - 8, "IEND", 4) != 0)) return truncated;
    return damaged;
}

bool DecodePicture(const std::uint8_t* file, std::size_t size, const PictureDecodeRequest& request, PictureTexels* out) {
    const PictureKind kind = SniffPicture(file, size);
    if (kind == PictureKind::Bmp) return DecodeBmp(file, size, request, out);
    TexelPlacer placer(request, out);
    bool ok = false;
    int w = 0, h = 0;
    switch (kind) {
    case PictureKind::Png: ok = DecodePng(file, size, &placer); break;
    case PictureKind::Jpeg: ok = DecodeJpeg(file, size, &placer, &w, &h); break;
    case PictureKind::Tga: ok = DecodeTga(file, size, &placer); break;
    default: return false;
    }
    if (!ok) {
        out->rgba.clear();
        out->width = out->height = out->textureWidth = out->textureHeight = 0;
        return false;
    }
    placer.Finish();
    return true;
}

} // namespace corvane
