// BindDllFunction and the list of loaded modules, against the helper libraries
// built beside this test (libbindtest.so, bindtest_prio.dll, libbindtest_prio.so).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "runtime/frame/dll_binding.h"
#include "runtime/platform/platform.h"

namespace corvane {
namespace {

using IntFn = int (*)();
using Int1Fn = int (*)(int);
using Int2Fn = int (*)(int, int);

void* const kUntouched = reinterpret_cast<void*>(0x1234);

template <typename Fn>
Fn Bind(const char* library, const char* function) {
    void* target = nullptr;
    BindDllFunction(RtString(library), RtString(function), &target);
    return reinterpret_cast<Fn>(target);
}

TEST(DllNameMapping, DllNameTriedBesideExecutableThenCurrentDirThenAsSharedObject) {
    std::string exeDir = std::filesystem::path(platform::ModulePath()).parent_path().string();
    std::string cwd = platform::CurrentDirectory();
    auto candidates = platform::LibraryFileCandidates("fmod.dll");
    std::vector<std::string> expected = {exeDir + "/fmod.dll", cwd + "/fmod.dll", exeDir + "/libfmod.so", "libfmod.so"};
    if (exeDir == cwd) expected.erase(expected.begin() + 1);
    EXPECT_EQ(candidates, expected);

    // The loader's own rule: a name without an extension means a .dll.
    EXPECT_EQ(platform::LibraryFileCandidates("fmod"), candidates);
    EXPECT_EQ(platform::LibraryFileCandidates("FMOD.DLL").back(), "libFMOD.so");
    // A path is searched only where it points, backslashes read as slashes.
    EXPECT_EQ(platform::LibraryFileCandidates("plug\\x.dll"),
              (std::vector<std::string>{"plug/x.dll", "plug/libx.so"}));
    EXPECT_EQ(platform::LibraryFileCandidates("libm.so.6").back(), "libm.so.6");
    EXPECT_TRUE(platform::LibraryFileCandidates("").empty());
    EXPECT_TRUE(platform::LibraryFileCandidates(nullptr).empty());
}

TEST(DllNameMapping, DecoratedNamesLoseUnderscoreAndArgumentBytes) {
    EXPECT_EQ(platform::UndecoratedSymbolName("_FSOUND_Init@12"), "FSOUND_Init");
    EXPECT_EQ(platform::UndecoratedSymbolName("_FSOUND_Close@0"), "FSOUND_Close");
    EXPECT_EQ(platform::UndecoratedSymbolName("FSOUND_Init@12"), "");   // no underscore
    EXPECT_EQ(platform::UndecoratedSymbolName("_FSOUND_Init"), "");     // no byte count
    EXPECT_EQ(platform::UndecoratedSymbolName("_Init@"), "");
    EXPECT_EQ(platform::UndecoratedSymbolName("_Init@1x"), "");
    EXPECT_EQ(platform::UndecoratedSymbolName("_@4"), "");
    EXPECT_EQ(platform::UndecoratedSymbolName(nullptr), "");
}

TEST(BindDllFunction, FindsPlainAndDecoratedNames) {
    auto add = Bind<Int2Fn>("bindtest.dll", "BindTestAdd");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(2, 3), 5);

    auto decoratedAdd = Bind<Int2Fn>("bindtest.dll", "_BindTestAdd@8");
    ASSERT_NE(decoratedAdd, nullptr);
    EXPECT_EQ(decoratedAdd, add);
    auto negate = Bind<Int1Fn>("bindtest.dll", "_BindTestNegate@4");
    ASSERT_NE(negate, nullptr);
    EXPECT_EQ(negate(7), -7);

    // Only the real decoration is taken off.
    EXPECT_EQ(Bind<Int1Fn>("bindtest.dll", "_BindTestNegate"), nullptr);
    EXPECT_EQ(Bind<Int1Fn>("bindtest.dll", "BindTestNegate@4"), nullptr);
    EXPECT_EQ(Bind<Int1Fn>("bindtest.dll", "_BindTestNegate@4x"), nullptr);
    EXPECT_EQ(Bind<Int1Fn>("bindtest.dll", ""), nullptr);
}

TEST(BindDllFunction, NameAsGivenBeatsSharedObjectAndSystemPathIsSearched) {
    auto prio = Bind<IntFn>("bindtest_prio.dll", "BindTestValue");
    ASSERT_NE(prio, nullptr);
    EXPECT_EQ(prio(), 2);   // bindtest_prio.dll, not libbindtest_prio.so

    auto cosine = Bind<double (*)(double)>("libm.so.6", "cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
}

TEST(BindDllFunction, FindsLibraryInCurrentDirectory) {
    std::string exeDir = std::filesystem::path(platform::ModulePath()).parent_path().string();
    std::filesystem::path dir = std::filesystem::path(platform::TempDirectory()) /
                                ("corvane_bind_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(exeDir + "/libbindtest.so", dir / "cwdonly.dll",
                               std::filesystem::copy_options::overwrite_existing);
    std::string saved = platform::CurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(dir.string()));
    auto value = Bind<IntFn>("cwdonly.dll", "BindTestValue");
    ASSERT_TRUE(platform::SetCurrentDirectory(saved));
    std::filesystem::remove_all(dir);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value(), 1);
}

TEST(BindDllFunction, MissingLibraryLeavesTargetAndListAlone) {
    std::uint32_t before = loadedModules.count;
    void* target = kUntouched;
    BindDllFunction(RtString("no_such_library_here.dll"), RtString("BindTestAdd"), &target);
    EXPECT_EQ(target, kUntouched);
    BindDllFunction(RtString(""), RtString("BindTestAdd"), &target);
    EXPECT_EQ(target, kUntouched);
    EXPECT_EQ(loadedModules.count, before);
}

TEST(BindDllFunction, MissingNameClearsTargetButKeepsTheLoad) {
    std::uint32_t before = loadedModules.count;
    void* target = kUntouched;
    BindDllFunction(RtString("bindtest.dll"), RtString("_NoSuchFunction@4"), &target);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(loadedModules.count, before + 1);
    // No target to fill: the load still counts and nothing is written.
    BindDllFunction(RtString("bindtest.dll"), RtString("BindTestAdd"), nullptr);
    EXPECT_EQ(loadedModules.count, before + 2);
}

// The list grows to 512 entries, then by 128; every load is kept, in order, and
// freeing the list releases each load so the library finally leaves memory.
TEST(LoadedModules, GrowsPast512AndFreesEveryLoad) {
    FreeLoadedModules();
    ASSERT_EQ(loadedModules.count, 0u);
    ASSERT_EQ(loadedModules.capacity, 0u);
    ASSERT_EQ(loadedModules.entries, nullptr);

    void* target = nullptr;
    BindDllFunction(RtString("bindtest.dll"), RtString("BindTestValue"), &target);
    EXPECT_EQ(loadedModules.count, 1u);
    EXPECT_EQ(loadedModules.capacity, 512u);
    platform::LibraryHandle first = loadedModules.entries[0];

    for (int i = 1; i < 512; ++i) BindDllFunction(RtString("bindtest.dll"), RtString("BindTestValue"), &target);
    EXPECT_EQ(loadedModules.count, 512u);
    EXPECT_EQ(loadedModules.capacity, 512u);
    BindDllFunction(RtString("bindtest_prio.dll"), RtString("BindTestValue"), &target);
    EXPECT_EQ(loadedModules.count, 513u);
    EXPECT_EQ(loadedModules.capacity, 640u);
    for (int i = 513; i < 641; ++i) BindDllFunction(RtString("bindtest.dll"), RtString("BindTestValue"), &target);
    EXPECT_EQ(loadedModules.count, 641u);
    EXPECT_EQ(loadedModules.capacity, 768u);

    // Entries survive each copy into the larger array.
    int sameAsFirst = 0;
    for (std::uint32_t i = 0; i < loadedModules.count; ++i) sameAsFirst += loadedModules.entries[i] == first;
    EXPECT_EQ(sameAsFirst, 640);
    EXPECT_NE(loadedModules.entries[512], first);

    std::string path = std::filesystem::path(platform::ModulePath()).parent_path().string() + "/libbindtest.so";
    void* probe = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_EQ(probe, first);
    dlclose(probe);   // the probe's own reference
    FreeLoadedModules();
    EXPECT_EQ(loadedModules.count, 0u);
    EXPECT_EQ(loadedModules.capacity, 0u);
    EXPECT_EQ(loadedModules.entries, nullptr);
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    FreeLoadedModules();   // twice is harmless
    EXPECT_EQ(loadedModules.count, 0u);
}

} // namespace
} // namespace corvane
