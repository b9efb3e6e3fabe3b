// The fuzz targets' seed corpus (fuzz/corpus/<target>/): valid inputs written by the
// tests' own writers, so that fuzzing starts past every reader's header. One test
// checks that every seed is read as a whole by the reader its target calls; the
// other writes the corpus again when CORVANE_WRITE_SEEDS names a folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/gfx2d/bmp.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/picture.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/model_file.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/net/hawknl.h"
#include "runtime/net/net_message.h"
#include "runtime/platform/platform_video.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"
#include "tests/input_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/pack_writer.h"

namespace fs = std::filesystem;
using corvane::testing::ReadFile;
using corvane::testing::WriteFile;

namespace {

const std::string kCorpus = std::string(CORVANE_SOURCE_DIR) + "/fuzz/corpus";

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(char(v));
    return out;
}

// The bytes as a stream to read (an unnamed temporary file: memory streams are not
// in every C library).
std::FILE* Stream(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    if (!f) return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// What a stream writer puts out.
template <typename F>
std::string Written(F write) {
    std::FILE* f = std::tmpfile();
    if (!f) return std::string();
    write(f);
    std::string out;
    std::rewind(f);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) out.append(chunk, n);
    std::fclose(f);
    return out;
}

// Whether a seed of the target is read as a whole: the reader the target calls
// accepts it (the prefix bytes the target takes first are skipped).
bool Accepted(const std::string& target, const std::string& seed) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(seed.data());
    if (target == "fuzz_bmp" || target == "fuzz_picture") {
        if (seed.size() < 6) return false;
        corvane::PictureDecodeRequest request;
        corvane::PictureTexels texels;
        return corvane::DecodePicture(data + 6, seed.size() - 6, request, &texels);
    }
    if (target == "fuzz_model_binary" || target == "fuzz_model_text") {
        std::string whole = target == "fuzz_model_binary" ? std::string(reinterpret_cast<const char*>(corvane::kModelMagic), 4) + seed : seed;
        corvane::MeshObject mesh;
        return corvane::ParseModel(mesh, reinterpret_cast<const std::uint8_t*>(whole.data()), whole.size(), false) ==
               corvane::ModelError::None;
    }
    if (target == "fuzz_wav") {
        corvane::WavSound wav;
        return corvane::ReadWav(data, seed.size(), &wav) && wav.dataSize > 0;
    }
    if (target == "fuzz_pack") {
        const std::size_t n = seed.empty() ? 0 : std::uint8_t(seed[0]) % 64;
        if (seed.size() < 1 + n) return false;
        const std::string name = seed.substr(1, n), pack = seed.substr(1 + n);
        std::FILE* f = Stream(pack);
        corvane::PackEntry entry;
        std::unique_ptr<unsigned char[]> out;
        std::uint32_t size = 0;
        const bool ok = f && corvane::FindPackEntry(f, name.c_str(), &entry) && corvane::UnpackPackEntry(f, entry, &out, &size);
        if (f) std::fclose(f);
        return ok;
    }
    if (target == "fuzz_ini" || target == "fuzz_linefile") {
        std::FILE* f = Stream(seed);
        if (!f) return false;
        corvane::ResetIniStore();
        int lines = 0;
        if (target == "fuzz_ini") corvane::LoadIniFromStream(f);
        else lines = corvane::ReadCutLines(f, -1, [](void*, const char*, std::size_t) {}, nullptr);
        std::fclose(f);
        if (target == "fuzz_linefile") return lines > 1;
        const std::string value = corvane::IniGet("Main", "key").Buffer();
        corvane::ResetIniStore();
        return value == "value";
    }
    if (target == "fuzz_net_messages") {
        using namespace corvane;
        corvane::NlPacketStream stream;
        stream.Append(data + 1, seed.size() - 1);
        unsigned char buffer[corvane::kNetMessageSize + 1];
        int messages = 0;
        for (;;) {
            NLenum error = NL_NO_ERROR;
            const NLint got = stream.Next(buffer, corvane::kNetMessageSize, &error);
            if (got == NL_INVALID) return error == NL_NO_PENDING && messages > 0;
            corvane::NetHeader header;
            if (!corvane::ParseNetMessage(buffer, got, &header)) return false;
            ++messages;
        }
    }
    if (target == "fuzz_shadow_volume") return seed.size() >= 4 + 9 && (seed.size() - 4) % 9 == 0;
    if (target == "fuzz_video_reader") {
        corvane::platform::VideoReader* r = corvane::platform::OpenVideoReaderFromMemory(
            reinterpret_cast<const unsigned char*>(seed.data()), seed.size());
        const bool ok = r && corvane::platform::VideoHasPictures(r);
        corvane::platform::CloseVideoReader(r);
        return ok;
    }
    return false;
}

TEST(SeedCorpus, EveryTargetStartsFromSmallSeedsItsReaderTakesWhole) {
    std::uintmax_t total = 0;
    for (const auto& source : fs::directory_iterator(std::string(CORVANE_SOURCE_DIR) + "/fuzz")) {
        if (source.path().extension() != ".cpp") continue;
        const std::string target = source.path().stem().string();
        SCOPED_TRACE(target);
        const fs::path folder = kCorpus + "/" + target;
        ASSERT_TRUE(fs::is_directory(folder)) << "no seeds";
        int seeds = 0;
        for (const auto& seed : fs::directory_iterator(folder)) {
            SCOPED_TRACE(seed.path().filename().string());
            EXPECT_LE(seed.file_size(), 64u * 1024) << "a seed stays small";
            total += seed.file_size();
            EXPECT_TRUE(Accepted(target, ReadFile(seed.path().string())));
            ++seeds;
        }
        EXPECT_GE(seeds, 2);
    }
    EXPECT_LT(total, 1024u * 1024) << "the whole corpus stays well under 1 MB";
}

// ------------------------------------------------------------------ writing the corpus

void Put(const std::string& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    ASSERT_TRUE(WriteFile(dir + "/" + name, bytes)) << dir << "/" << name;
}

std::string Shell(const std::string& command) {
    const auto r = corvane::testing::RunProcess({"/bin/sh", "-c", command}, {}, 120.0);
    EXPECT_EQ(r.exitStatus, 0) << command << "\n" << r.output;
    return r.output;
}

TEST(SeedCorpus, WriteWhenAsked) {
    const char* where = std::getenv("CORVANE_WRITE_SEEDS");
    if (!where) GTEST_SKIP() << "CORVANE_WRITE_SEEDS=DIR writes the corpus into DIR";
    const std::string out = where, temp = corvane::testing::TestTempDir();

    // Pictures: a small gradient with the sprite key colour in a corner, as BMP, and
    // as PNG, JPEG and TGA through the converter the picture tests use.
    const int w = 13, h = 7;
    std::vector<unsigned char> bgr(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &bgr[(std::size_t(y) * w + x) * 3];
            p[0] = (unsigned char)(x * 19), p[1] = (unsigned char)(y * 36), p[2] = (unsigned char)(x * y * 3);
            if (x < 2 && y < 2) p[0] = 0xFF, p[1] = 0x00, p[2] = 0x80;
        }
    const std::string bmp = temp + "seed.bmp";
    ASSERT_TRUE(corvane::WriteBmp24(bmp.c_str(), bgr.data(), w, h, w));
    const std::string request = Bytes({0, 0, 0, 0, 3, 0}), keyed = Bytes({2, 1, 8, 4, 1, 0});
    Put(out + "/fuzz_bmp", "whole.bmp", request + ReadFile(bmp));
    Put(out + "/fuzz_bmp", "rectangle-keyed.bmp", keyed + ReadFile(bmp));
    const struct {
        const char* name;
        const char* options;
    } pictures[] = {{"rgb.png", ""},       {"palette.png", "-type Palette"}, {"grey-alpha.png", "-alpha set -type GrayscaleAlpha"},
                    {"interlaced.png", "-interlace PNG"}, {"baseline.jpg", "-quality 80"},
                    {"progressive.jpg", "-interlace JPEG"}, {"truecolour.tga", ""}, {"rle.tga", "-compress RLE"}};
    for (const auto& p : pictures) {
        const std::string file = temp + p.name;
        Shell("convert " + bmp + " " + p.options + " " + file);
        Put(out + "/fuzz_picture", p.name, request + ReadFile(file));
    }

    // Models, by the model tests' own writer: binary and MSHA text.
    const std::string models = temp + "models";
    fs::create_directories(models);
    Shell("python3 " + std::string(CORVANE_SOURCE_DIR) + "/tests/gfx3d/model_files.py write " + models);
    for (const auto& m : fs::directory_iterator(models)) {
        const std::string bytes = ReadFile(m.path().string());
        const bool binary = bytes.compare(0, 4, std::string(reinterpret_cast<const char*>(corvane::kModelMagic), 4)) == 0;
        // The binary target puts the magic in front of its input itself.
        if (binary) Put(out + "/fuzz_model_binary", m.path().filename().string(), bytes.substr(4));
        else Put(out + "/fuzz_model_text", m.path().filename().string(), bytes);
    }

    // And by the runtime's own model writer, as corvane-model writes them: two
    // keyframes of a coloured quad.
    corvane::MeshObject quad;
    quad.frames.resize(2);
    for (int k = 0; k < 2; ++k) {
        corvane::MeshVertex marker{};
        marker.packedColour = corvane::kMarkerList;
        quad.frames[std::size_t(k)].rawVertices.push_back(marker);
        const float corners[6][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}};
        for (int i = 0; i < 6; ++i) {
            corvane::MeshVertex v{};
            for (int a = 0; a < 3; ++a) v.position[a] = corners[i][a] + (a == 0 ? float(k) : 0.0f);
            v.texCoord[0] = corners[i][0], v.texCoord[1] = corners[i][1];
            v.packedColour = i < 3 ? 0x2040C0u : 0xC08020u;
            for (int c = 0; c < 3; ++c) v.colour[c] = float((v.packedColour >> (8 * c)) & 0xFF) / 255.0f;
            quad.frames[std::size_t(k)].rawVertices.push_back(v);
        }
    }
    corvane::CompactFrames(quad);
    corvane::ComputeNormals(quad, true);
    const std::string written = temp + "quad.model";
    ASSERT_TRUE(corvane::WriteModel(quad, written.c_str()));
    Put(out + "/fuzz_model_binary", "two-frames.model", ReadFile(written).substr(4));

    // Sounds, by the sound tests' WAV writer.
    namespace st = corvane::soundtest;
    st::WavRecipe mono;
    mono.samples = st::Sine(64, 1, 22050, 440, 12000);
    Put(out + "/fuzz_wav", "mono16.wav", st::BuildWav(mono));
    st::WavRecipe stereo8;
    stereo8.channels = 2, stereo8.bits = 8;
    stereo8.samples = st::Constant(48, 2, 200);
    Put(out + "/fuzz_wav", "stereo8.wav", st::BuildWav(stereo8));
    st::WavRecipe fact;
    fact.formatSize = 18, fact.factChunk = true, fact.samples = st::Sine(32, 1, 22050, 1000, 3000);
    Put(out + "/fuzz_wav", "format18-fact.wav", st::BuildWav(fact));

    // Packs, by the pack tests' writer: one byte of name length, the name, the pack.
    using corvane::pack_writer::WritePack;
    const std::string packed = WritePack({{"gfx/ship.bmp", std::string(300, 's')}, {"level1.txt", "1 2 3\n4 5 6\n"}});
    Put(out + "/fuzz_pack", "by-folder.pak", Bytes({12}) + "gfx/ship.bmp" + packed);
    Put(out + "/fuzz_pack", "case-ending.pak", Bytes({16}) + "MEDIA\\LEVEL1.TXT" +
                                                   WritePack({{"level1.txt", "one\ntwo\n"}, {"a.wav", "RIFF"}}, true, "HOST"));
    Put(out + "/fuzz_pack", "empty-entry.pak", Bytes({5}) + "e.txt" + WritePack({{"e.txt", ""}}));

    // INI and line files, by the runtime's own writer and as programs write them.
    corvane::ResetIniStore();
    corvane::IniPut("Main", "key", "value");
    corvane::IniPut("Main", "name", "Player One");
    corvane::IniPut("Scores", "best", "12345");
    Put(out + "/fuzz_ini", "saved.ini", Written([](std::FILE* f) { corvane::SaveIniToStream(f); }));
    corvane::ResetIniStore();
    Put(out + "/fuzz_ini", "hand-written.ini", "; a comment\n[Main]\nkey=value\n\n[Other]\n a = b \r\nempty=\n");
    Put(out + "/fuzz_linefile", "lines.txt", "first line\r\nsecond line\n\nlast line without end");
    Put(out + "/fuzz_linefile", "long-line.txt", std::string(1500, 'x') + "\nshort\n");

    // Network streams: the chunk size byte, then packets as they travel.
    auto packet = [](int type, std::int32_t target, std::int32_t origin, const std::string& payload) {
        unsigned char message[corvane::kNetMessageSize];
        const int n = corvane::BuildNetMessage(message, type, target, origin, payload.data(), int(payload.size()));
        std::string wire = "NL";
        wire.push_back(char(n >> 8)), wire.push_back(char(n & 0xFF));
        return wire + std::string(reinterpret_cast<const char*>(message), std::size_t(n));
    };
    unsigned char join[corvane::kNetJoinRecordSize];
    corvane::EncodeJoinRecord(join, 0, "Player One");
    const std::string joinRecord(reinterpret_cast<const char*>(join), sizeof join);
    Put(out + "/fuzz_net_messages", "join-and-data.bin",
        Bytes({7}) + packet(corvane::kNetJoin, 0, -1, joinRecord) + packet(corvane::kNetData, 0, 2, "hello"));
    Put(out + "/fuzz_net_messages", "large-data.bin",
        Bytes({63}) + packet(corvane::kNetData, 3, 2, std::string(2048, 'd')) + packet(corvane::kNetJoinReply, 2, 0, "12345678"));

    // Shadow volumes: scale, light, then a closed tetrahedron and an open quad.
    auto corner = [](int x, int y, int z) { return Bytes({128 + x, 128 + y, 128 + z}); };
    const std::string a = corner(0, 0, 0), b = corner(10, 0, 0), c = corner(0, 10, 0), d = corner(0, 0, 10);
    Put(out + "/fuzz_shadow_volume", "tetrahedron.bin", Bytes({0, 150, 160, 170}) + a + c + b + a + b + d + a + d + c + b + c + d);
    Put(out + "/fuzz_shadow_volume", "open-quad.bin", Bytes({3, 128, 200, 128}) + a + b + c + b + corner(10, 10, 0) + c);

    // Video: tiny clips of each container the player reads.
    const struct {
        const char* name;
        const char* codec;
    } clips[] = {{"clip.avi", "-c:v mpeg4"},
                 {"clip.mp4", "-c:v libx264 -pix_fmt yuv420p"},
                 {"clip.mkv", "-c:v mjpeg -pix_fmt yuvj420p"},
                 {"clip.webm", "-c:v libvpx"},
                 {"clip.ogv", "-c:v libtheora"}};
    for (const auto& clip : clips) {
        const std::string file = temp + clip.name;
        Shell(std::string("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=s=32x24:r=5:d=0.4 "
                        "-f lavfi -i sine=frequency=440:duration=0.4 -ar 8000 ") +
            clip.codec + " -shortest " + file);
        Put(out + "/fuzz_video_reader", clip.name, ReadFile(file));
    }
}

} // namespace
