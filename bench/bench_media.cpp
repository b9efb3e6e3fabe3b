// Media resolver speed: unpacking a 16 MB entry against decompressing the same
// block in memory and writing it out; finding the last of 10,000 entries against
// resolving a plain file.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "runtime/values/media.h"

namespace {

using corvane::MediaContext;

void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string PackBlock(const std::string& data) {
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    std::vector<unsigned char> out(data.size() + data.size() / 16 + 64 + 3);
    lzo_uint length = 0;
    lzo1x_1_compress(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data(), &length,
                     work.data());
    std::string block;
    PutLe32(block, static_cast<std::uint32_t>(data.size()));
    block.append(reinterpret_cast<const char*>(out.data()), length);
    return block;
}

std::string BuildPack(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string data, directory;
    for (const auto& [name, contents] : entries) {
        std::string block = PackBlock(contents);
        directory.push_back(static_cast<char>(name.size()));
        directory += name;
        PutLe32(directory, static_cast<std::uint32_t>(data.size()));
        PutLe32(directory, static_cast<std::uint32_t>(block.size()));
        data += block;
    }
    directory.push_back('\0');
    std::string out = data + directory;
    PutLe32(out, static_cast<std::uint32_t>(data.size()));
    return out;
}

// Text-like data: words from a small vocabulary, so it packs about as media text does.
std::string MediaLikeData(std::size_t size) {
    static const char* const kWords[] = {"sprite ", "level ", "0.125 ", "tile=", "enemy ", "\r\n", "music ",
                                         "x ", "y ", "1024 ", "shadow ", "[Main]", "vertex ", "42 "};
    std::mt19937 rng(7);
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        if (rng() % 8 == 0) out.push_back(static_cast<char>(rng()));
    }
    out.resize(size);
    return out;
}

struct BenchFiles {
    std::string dir;
    std::string bigBlock;      // the 16 MB entry's packed block
    BenchFiles() {
        char pattern[] = "/tmp/corvane-bench-media-XXXXXX";
        dir = mkdtemp(pattern) ? std::string(pattern) + "/" : std::string("/tmp/");
        setenv("TMPDIR", dir.c_str(), 1);
        lzo_init();
        std::string big = MediaLikeData(16u << 20);
        bigBlock = PackBlock(big);
        Write(dir + "big.pak", BuildPack({{"big.bin", big}}));
        std::vector<std::pair<std::string, std::string>> many;
        for (int i = 0; i < 10000; ++i) many.push_back({"media/entry" + std::to_string(i) + ".dat", "small entry " + std::to_string(i)});
        Write(dir + "many.pak", BuildPack(many));
        Write(dir + "plain.dat", "small entry 9999");
    }
    ~BenchFiles() {
        for (const char* name : {"big.pak", "many.pak", "plain.dat", "baseline.bin"}) unlink((dir + name).c_str());
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

void Resolve(benchmark::State& state, const std::string& pack, const char* name) {
    MediaContext* context = corvane::NewMediaContext();
    std::snprintf(context->packPath, sizeof context->packPath, "%s", pack.c_str());
    char out[corvane::kMediaPathCapacity];
    for (auto _ : state) {
        if (!corvane::ResolveMedia(context, name, out)) state.SkipWithError("not resolved");
        benchmark::DoNotOptimize(out);
    }
    corvane::DeleteMediaContext(context);
}

void BM_ResolvePacked16MB(benchmark::State& state) {
    Resolve(state, Files().dir + "big.pak", "big.bin");
    state.SetBytesProcessed(state.iterations() * (16 << 20));
}
BENCHMARK(BM_ResolvePacked16MB)->Unit(benchmark::kMillisecond);

// The baseline: the same block decompressed in memory and written to a file.
void BM_DecompressAndWrite16MB(benchmark::State& state) {
    const std::string& block = Files().bigBlock;
    std::string path = Files().dir + "baseline.bin";
    std::vector<unsigned char> out(16u << 20);
    for (auto _ : state) {
        lzo_uint length = out.size();
        lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(block.data()) + 4, block.size() - 4, out.data(),
                              &length, nullptr);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(out.data(), 1, length, f);
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * (16 << 20));
}
BENCHMARK(BM_DecompressAndWrite16MB)->Unit(benchmark::kMillisecond);

void BM_ResolveLastOf10000(benchmark::State& state) {
    Resolve(state, Files().dir + "many.pak", "media/entry9999.dat");
}
BENCHMARK(BM_ResolveLastOf10000)->Unit(benchmark::kMicrosecond);

// The directory scan alone: open the pack, find the last entry, close.
void BM_FindLastOf10000(benchmark::State& state) {
    std::string path = Files().dir + "many.pak";
    corvane::PackEntry entry;
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f || !corvane::FindPackEntry(f, "media/entry9999.dat", &entry)) state.SkipWithError("not found");
        if (f) std::fclose(f);
        benchmark::DoNotOptimize(entry);
    }
}
BENCHMARK(BM_FindLastOf10000)->Unit(benchmark::kMicrosecond);

void BM_ResolvePlainFile(benchmark::State& state) {
    Resolve(state, Files().dir + "many.pak", (Files().dir + "plain.dat").c_str());
}
BENCHMARK(BM_ResolvePlainFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
