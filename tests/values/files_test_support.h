// Shared pieces of the file tests: a scratch working directory per test, and the
// independent media-pack writer.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/pack_writer.h"

namespace corvane::files_test {

// Every test runs in its own fresh directory, with the stores emptied.
class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        temp = corvane::testing::TestTempDir();
        dir = temp + "case" + std::to_string(++counter) + "/";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldCwd = buf;
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ResetLineFileStore();
        ResetIniStore();
        SetErrorCode(ErrorCode::None);
    }
    void TearDown() override {
        ReleaseMediaContexts();
        ResetLineFileStore();
        ResetIniStore();
        (void)chdir(oldCwd.c_str());
    }
    static std::string Read(const std::string& path) { return corvane::testing::ReadFile(path); }
    static void Write(const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(corvane::testing::WriteFile(path, bytes)) << path;
    }
    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    std::string temp, dir, oldCwd;
};

// The pack writer is shared with the tool tests.
using corvane::pack_writer::Directory;
using corvane::pack_writer::PackBlock;
using corvane::pack_writer::PutLe32;
using corvane::pack_writer::RawEntry;
using corvane::pack_writer::TestEntry;
using corvane::pack_writer::WritePack;

} // namespace corvane::files_test
