// File-name lookup speed: FileExists of an exact path against a plain stat of the
// same path (the exact path should cost one look-up), and of a name written with
// other letter case and '\' separators in a folder of 10,000 files: from the
// folder's kept listing, and with the folder changed before each look-up (the
// whole folder is read again).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "runtime/values/values.h"

namespace {

using namespace corvane;

// A scratch folder holding "big/file00000.txt" .. "big/file09999.txt", made once.
const std::string& Folder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/corvane-bench-files-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        const std::string big = pattern + "/big";
        if (mkdir(big.c_str(), 0755) != 0) std::abort();
        for (int i = 0; i < 10000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/file%05d.txt", i);
            std::FILE* f = std::fopen((big + name).c_str(), "wb");
            if (!f) std::abort();
            std::fclose(f);
        }
        return pattern;
    }();
    // The 10,000 files go when the benchmark ends.
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        }
    } cleanup;
    return folder;
}

void BM_PlainStat(benchmark::State& state) {
    const std::string path = Folder() + "/big/file05000.txt";
    struct stat st;
    for (auto _ : state) benchmark::DoNotOptimize(stat(path.c_str(), &st));
}

void BM_FileExistsExact(benchmark::State& state) {
    const std::string path = Folder() + "/big/file05000.txt";
    for (auto _ : state) benchmark::DoNotOptimize(FileExists(path.c_str()));
}

void BM_FileExistsFoldedIn10000(benchmark::State& state) {
    const std::string path = Folder() + "\\BIG\\File05000.TXT";
    if (FileExists(path.c_str()) != 1.0) state.SkipWithError("the folded name was not found");
    for (auto _ : state) benchmark::DoNotOptimize(FileExists(path.c_str()));
}

void BM_FileExistsFoldedIn10000Changing(benchmark::State& state) {
    // The folder changes before every look-up, so its listing is read each time
    // (the first look-up in any folder costs this much).
    const std::string path = Folder() + "\\BIG\\File05000.TXT", big = Folder() + "/big";
    for (auto _ : state) {
        state.PauseTiming();
        utimensat(AT_FDCWD, big.c_str(), nullptr, 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(FileExists(path.c_str()));
    }
}

void BM_FileExistsMissingIn10000(benchmark::State& state) {
    // A name that is nowhere: the folder is read once per call too.
    const std::string path = Folder() + "/big/nothing.txt";
    for (auto _ : state) benchmark::DoNotOptimize(FileExists(path.c_str()));
}

BENCHMARK(BM_PlainStat);
BENCHMARK(BM_FileExistsExact);
BENCHMARK(BM_FileExistsFoldedIn10000);
BENCHMARK(BM_FileExistsFoldedIn10000Changing);
BENCHMARK(BM_FileExistsMissingIn10000);

} // namespace

BENCHMARK_MAIN();
