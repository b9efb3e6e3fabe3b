// Picture loading, headless: LoadSprite of one 1024 x 1024 picture stored as
// BMP, PNG and JPEG (decode, keying, bleeding, plain texture and mipmap chain),
// against the decoding library alone turning the same PNG or JPEG file in
// memory into plain pixels, and against the decoder of the runtime without GL.
#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "bench/bench_support.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/picture.h"

namespace {

std::string TempPath(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_pictures_" + name;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        bytes.resize(std::size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
        std::fclose(f);
    }
    return bytes;
}

// The picture: smooth shading with detail and key-coloured patches, written
// once as a 24-bit BMP, then as PNG and JPEG by ImageMagick. Index 0 BMP, 1 PNG, 2 JPEG.
const std::string& Picture(int kind) {
    static std::string paths[3];
    if (!paths[0].empty()) return paths[kind];
    const int w = 1024, h = 1024, stride = w * 3;
    std::vector<unsigned char> rows(std::size_t(stride) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rows[std::size_t(h - 1 - y) * stride + x * 3];
            p[0] = (unsigned char)((x + y) / 8), p[1] = (unsigned char)(y / 4), p[2] = (unsigned char)(x / 4);
            if ((x * 7 + y * 3) % 97 < 3) p[1] = (unsigned char)(255 - p[1]);   // fine detail
            if (((x / 64) + (y / 64)) % 5 == 0) p[0] = 0x80, p[1] = 0, p[2] = 0xFF; // key-coloured patches
        }
    paths[0] = TempPath("1024.bmp");
    corvane::WriteBmp24(paths[0].c_str(), rows.data(), w, h, stride);
    paths[1] = TempPath("1024.png");
    paths[2] = TempPath("1024.jpg");
    const std::string convert = "convert " + paths[0] + " ";
    if (std::system((convert + "PNG24:" + paths[1] + " >/dev/null 2>&1").c_str()) != 0) paths[1].clear();
    if (std::system((convert + "-quality 90 JPG:" + paths[2] + " >/dev/null 2>&1").c_str()) != 0) paths[2].clear();
    return paths[kind];
}

void BM_LoadSprite(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_pictures")) return state.SkipWithError("no GL context");
    const std::string& file = Picture(int(state.range(0)));
    if (file.empty()) return state.SkipWithError("no picture (ImageMagick missing?)");
    const corvane::RtString path(file.c_str());
    for (auto _ : state) {
        if (corvane::LoadSprite(path, 1) != 1.0) return state.SkipWithError("load failed");
        glFinish();
    }
    corvane::FreeSlot(1);
    state.SetLabel(state.range(0) == 0 ? "BMP" : state.range(0) == 1 ? "PNG" : "JPEG");
}
BENCHMARK(BM_LoadSprite)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The runtime's decoder alone (no file read, no GL): keying and bleeding included.
void BM_DecodePicture(benchmark::State& state) {
    const std::vector<unsigned char> file = ReadAll(Picture(int(state.range(0))));
    if (file.empty()) return state.SkipWithError("no picture");
    corvane::PictureDecodeRequest request;
    request.keyColour = corvane::kSpriteKeyColour;
    request.keying = true;
    for (auto _ : state) {
        corvane::PictureTexels texels;
        if (!corvane::DecodePicture(file.data(), file.size(), request, &texels)) return state.SkipWithError("failed");
        benchmark::DoNotOptimize(texels.rgba.data());
    }
    state.SetLabel(state.range(0) == 0 ? "BMP" : state.range(0) == 1 ? "PNG" : "JPEG");
}
BENCHMARK(BM_DecodePicture)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// libpng's own simplified reader: the PNG in memory to RGBA, nothing else.
void BM_LibpngAlone(benchmark::State& state) {
    const std::vector<unsigned char> file = ReadAll(Picture(1));
    if (file.empty()) return state.SkipWithError("no picture");
    std::vector<unsigned char> pixels;
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
            return state.SkipWithError("libpng refused");
        image.format = PNG_FORMAT_RGBA;
        pixels.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return state.SkipWithError("failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_LibpngAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// libjpeg-turbo alone: the JPEG in memory to RGB rows with the library's defaults.
void BM_LibjpegAlone(benchmark::State& state) {
    std::vector<unsigned char> file = ReadAll(Picture(2));
    if (file.empty()) return state.SkipWithError("no picture");
    std::vector<unsigned char> pixels;
    for (auto _ : state) {
        jpeg_decompress_struct jpeg;
        jpeg_error_mgr errors;
        jpeg.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&jpeg);
        jpeg_mem_src(&jpeg, file.data(), (unsigned long)file.size());
        jpeg_read_header(&jpeg, TRUE);
        jpeg_start_decompress(&jpeg);
        const std::size_t stride = std::size_t(jpeg.output_width) * jpeg.output_components;
        pixels.resize(stride * jpeg.output_height);
        while (jpeg.output_scanline < jpeg.output_height) {
            JSAMPROW row = pixels.data() + stride * jpeg.output_scanline;
            jpeg_read_scanlines(&jpeg, &row, 1);
        }
        jpeg_finish_decompress(&jpeg);
        jpeg_destroy_decompress(&jpeg);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_LibjpegAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
