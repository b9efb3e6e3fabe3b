// The generated demo song: a genuine Impulse Tracker module that libopenmpt and
// the independent command-line player openmpt123 both take without complaint.
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

namespace {

namespace fs = std::filesystem;

const std::string kSong = std::string(CORVANE_BINARY_DIR) + "/bin/yoshi1.it";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CollectLog(const char* message, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(message ? message : "");
}

class DemoModule : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = ReadFile(kSong);
        ASSERT_GE(bytes.size(), 192u) << kSong;
        int error = 0;
        const char* errorMessage = nullptr;
        module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), CollectLog, &log,
                                                    openmpt_error_func_store, &error, &error, &errorMessage, nullptr);
        ASSERT_NE(module, nullptr) << (errorMessage ? errorMessage : "");
        if (errorMessage) openmpt_free_string(errorMessage);
    }
    void TearDown() override {
        if (module) openmpt_module_destroy(module);
    }
    std::string Metadata(const char* key) {
        const char* value = openmpt_module_get_metadata(module, key);
        std::string text = value ? value : "";
        openmpt_free_string(value);
        return text;
    }
    int Cell(int pattern, int row, int channel, int what) {
        return openmpt_module_get_pattern_row_channel_command(module, pattern, row, channel, what);
    }
    std::string bytes;
    std::vector<std::string> log;
    openmpt_module* module = nullptr;
};

TEST_F(DemoModule, IsAnImpulseTrackerSongWithoutWarnings) {
    EXPECT_EQ(bytes.substr(0, 4), "IMPM");
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(Metadata("warnings"), "");
    EXPECT_EQ(Metadata("type"), "it");
    EXPECT_EQ(Metadata("title"), "yoshi1");
    EXPECT_EQ(openmpt_module_get_num_instruments(module), 0);   // sample mode
    EXPECT_EQ(openmpt_module_get_num_samples(module), 6);
    EXPECT_EQ(openmpt_module_get_num_patterns(module), 3);
    EXPECT_EQ(openmpt_module_get_num_orders(module), 3);
    EXPECT_EQ(openmpt_module_get_num_channels(module), 6);
    double seconds = openmpt_module_get_duration_seconds(module);
    EXPECT_GT(seconds, 15.0);
    EXPECT_LT(seconds, 40.0);
}

// Cells written with the packer's shortcuts (repeated mask, repeated note,
// sample, volume and effect) read back as full cells. libopenmpt counts notes
// from 1 (C-0), so IT's C-5 (60) reads as 61.
TEST_F(DemoModule, PackedCellsReadBackWhole) {
    const int note = OPENMPT_MODULE_COMMAND_NOTE, sample = OPENMPT_MODULE_COMMAND_INSTRUMENT;
    // Kick on C-5 with sample 4, on rows 0 and 8 of each bar.
    for (int row : {0, 8, 16, 24, 56}) {
        EXPECT_EQ(Cell(0, row, 3, note), 61) << row;
        EXPECT_EQ(Cell(0, row, 3, sample), 4) << row;
    }
    EXPECT_EQ(Cell(0, 1, 3, note), 0);
    // Hi-hat every other row, accented volume on the off-beat.
    for (int row = 0; row < 16; row += 2) {
        EXPECT_EQ(Cell(1, row, 5, note), 61) << row;
        EXPECT_EQ(Cell(1, row, 5, sample), 6) << row;
        EXPECT_EQ(Cell(1, row, 5, OPENMPT_MODULE_COMMAND_VOLUME), row % 4 == 2 ? 48 : 28) << row;
    }
    // The arpeggio effect repeated on every row (J37 over A minor).
    for (int row = 0; row < 16; ++row) EXPECT_EQ(Cell(0, row, 1, OPENMPT_MODULE_COMMAND_PARAMETER), 0x37) << row;
    EXPECT_EQ(Cell(0, 16, 1, OPENMPT_MODULE_COMMAND_PARAMETER), 0x47);   // F major
    // The verse tune opens on E-5.
    EXPECT_EQ(Cell(1, 0, 0, note), 65);
    EXPECT_EQ(Cell(1, 0, 0, sample), 1);
}

TEST_F(DemoModule, RendersMusicAndLoopsForEver) {
    openmpt_module_set_repeat_count(module, -1);
    const int rate = 44100;
    std::vector<std::int16_t> buffer(rate * 2);
    double sum = 0.0;
    size_t total = 0;
    // Ten seconds past the song's length still yield full buffers.
    int seconds = static_cast<int>(openmpt_module_get_duration_seconds(module)) + 10;
    for (int s = 0; s < seconds; ++s) {
        size_t got = openmpt_module_read_interleaved_stereo(module, rate, rate, buffer.data());
        ASSERT_EQ(got, static_cast<size_t>(rate)) << "second " << s;
        for (std::int16_t v : buffer) sum += double(v) * v;
        total += buffer.size();
    }
    EXPECT_GT(std::sqrt(sum / total), 500.0);
}

TEST(DemoModuleOpenmpt123, PlaysWithoutWarnings) {
    if (std::system("command -v openmpt123 >/dev/null 2>&1") != 0) GTEST_SKIP() << "openmpt123 is not installed";
    fs::path dir = fs::temp_directory_path() / ("corvane_openmpt123_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(kSong, dir / "yoshi1.it", fs::copy_options::overwrite_existing);
    std::string report = (dir / "report.txt").string();
    std::string command = "cd '" + dir.string() + "' && timeout 120 openmpt123 --render --output-type wav --force "
                          "yoshi1.it >'" + report + "' 2>&1";
    int raw = std::system(command.c_str());
    std::string text = ReadFile(report);
    std::uintmax_t wavSize = fs::exists(dir / "yoshi1.it.wav") ? fs::file_size(dir / "yoshi1.it.wav") : 0;
    fs::remove_all(dir);

    ASSERT_TRUE(WIFEXITED(raw)) << text;
    EXPECT_EQ(WEXITSTATUS(raw), 0) << text;
    EXPECT_NE(text.find("Type.......: it"), std::string::npos) << text;
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower.find("warning"), std::string::npos) << text;
    EXPECT_EQ(lower.find("error"), std::string::npos) << text;
    // Over 15 s of 48 kHz stereo float.
    EXPECT_GT(wavSize, 15u * 48000 * 2 * 4);
}

} // namespace
