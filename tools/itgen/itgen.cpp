// itgen: writes the player's demo song, an Impulse Tracker module in sample mode
// (no instruments), with every sample synthesised here and a short tune that
// loops back to its second pattern.
//
//   itgen <output.it>
//
// The file is written beside itself under a temporary name and renamed into
// place, so an interrupted build never leaves half a module behind.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

// ---------------------------------------------------------------- IT constants
constexpr int kChannels = 6;            // channels the tune uses
constexpr int kRows = 64;               // rows per pattern
constexpr int kOrderEnd = 255;          // end of the order list
constexpr int kNoteCut = 254;           // "^^^"
constexpr std::uint8_t kCmdSpeed = 1;   // Axx
constexpr std::uint8_t kCmdJump = 2;    // Bxx: jump to order
constexpr std::uint8_t kCmdSpecial = 19;// Sxy; SCx cuts the note after x ticks
constexpr std::uint8_t kCmdArpeggio = 10;  // Jxy
constexpr std::uint8_t kCmdTempo = 20;  // Txx

constexpr int kDrumRate = 22050;        // playback rate of the drum samples at C-5
constexpr int kCycle = 128;             // frames in one cycle of the tonal samples
constexpr double kMiddleC = 261.6255653005986;

int Note(const char* name) {            // "C-5", "F#4" -> IT note number (C-0 = 0)
    static const int base[] = {9, 11, 0, 2, 4, 5, 7};   // A B C D E F G
    int semitone = base[name[0] - 'A'];
    if (name[1] == '#') ++semitone;
    return (name[2] - '0') * 12 + semitone;
}

// ---------------------------------------------------------------- little-endian output
struct Bytes {
    std::vector<std::uint8_t> data;
    void U8(int v) { data.push_back(static_cast<std::uint8_t>(v)); }
    void U16(unsigned v) { U8(v & 0xFF); U8((v >> 8) & 0xFF); }
    void U32(std::uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void Text(const char* text, size_t width) {   // zero-padded, always NUL-terminated
        size_t n = std::strlen(text);
        if (n > width - 1) n = width - 1;
        for (size_t i = 0; i < width; ++i) U8(i < n ? text[i] : 0);
    }
    void PatchU32(size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void PatchU16(size_t at, unsigned v) {
        data[at] = static_cast<std::uint8_t>(v & 0xFF);
        data[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
};

// ---------------------------------------------------------------- samples
struct Sample {
    std::string fileName;               // DOS name, 12 bytes
    std::string name;                   // 26 bytes
    bool sixteenBit = false;
    bool loop = false;
    int volume = 64;                    // default volume 0..64
    std::uint32_t c5Speed = 8363;       // frames per second at C-5
    std::vector<double> frames;         // -1..1
};

// Band-limited waveform cycle from its harmonic amplitudes (sine phase), with
// Lanczos smoothing so that the cut-off harmonics leave little ringing.
std::vector<double> AdditiveCycle(int harmonics, double (*amplitude)(int n), double (*phase)(int n)) {
    std::vector<double> cycle(kCycle, 0.0);
    double peak = 0.0;
    for (int i = 0; i < kCycle; ++i) {
        double x = static_cast<double>(i) / kCycle;
        double sum = 0.0;
        for (int n = 1; n <= harmonics; ++n) {
            double sigma = n == 1 ? 1.0 : std::sin(M_PI * n / (harmonics + 1)) / (M_PI * n / (harmonics + 1));
            sum += sigma * amplitude(n) * std::sin(2.0 * M_PI * n * x + phase(n));
        }
        cycle[i] = sum;
        peak = std::fmax(peak, std::fabs(sum));
    }
    for (double& v : cycle) v = v / peak * 0.9;
    return cycle;
}

double SawAmplitude(int n) { return 1.0 / n; }
double PulseAmplitude(int n) { return std::fabs(std::sin(M_PI * n * 0.25)) / n; }   // 25% duty
double PulsePhase(int n) { return std::sin(M_PI * n * 0.25) < 0 ? M_PI : 0.0; }
double TriangleAmplitude(int n) { return n % 2 ? 1.0 / (static_cast<double>(n) * n) : 0.0; }
double TrianglePhase(int n) { return (n / 2) % 2 ? M_PI : 0.0; }
double NoPhase(int) { return 0.0; }

// A small deterministic noise source, so every build writes the same file.
struct Noise {
    std::uint32_t state = 0x2545F491u;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

std::vector<double> Kick() {
    std::vector<double> out(kDrumRate * 30 / 100);
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kDrumRate;
        double freq = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2.0 * M_PI * freq / kDrumRate;
        out[i] = 0.95 * std::sin(phase) * std::exp(-t * 9.0);
    }
    return out;
}

std::vector<double> Snare() {
    std::vector<double> out(kDrumRate * 22 / 100);
    Noise noise;
    double low = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kDrumRate;
        double n = noise.Next();
        low += 0.35 * (n - low);                       // takes the hiss off the noise
        double tone = std::sin(2.0 * M_PI * 190.0 * t) * std::exp(-t * 35.0);
        out[i] = 0.6 * low * std::exp(-t * 18.0) + 0.45 * tone;
    }
    return out;
}

std::vector<double> HiHat() {
    std::vector<double> out(kDrumRate * 7 / 100);
    Noise noise;
    noise.state = 0x9E3779B9u;
    double previous = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kDrumRate;
        double n = noise.Next();
        out[i] = 0.8 * (n - previous) * 0.5 * std::exp(-t * 55.0);   // high-passed noise
        previous = n;
    }
    return out;
}

std::vector<Sample> MakeSamples() {
    const std::uint32_t tonalSpeed = static_cast<std::uint32_t>(std::lround(kMiddleC * kCycle));
    std::vector<Sample> samples;
    samples.push_back({"LEAD.RAW", "Pulse lead", true, true, 44, tonalSpeed,
                       AdditiveCycle(30, PulseAmplitude, PulsePhase)});
    samples.push_back({"ARP.RAW", "Triangle arpeggio", false, true, 40, tonalSpeed,
                       AdditiveCycle(15, TriangleAmplitude, TrianglePhase)});
    samples.push_back({"BASS.RAW", "Saw bass", true, true, 52, tonalSpeed,
                       AdditiveCycle(40, SawAmplitude, NoPhase)});
    samples.push_back({"KICK.RAW", "Kick drum", false, false, 64, kDrumRate, Kick()});
    samples.push_back({"SNARE.RAW", "Snare drum", false, false, 50, kDrumRate, Snare()});
    samples.push_back({"HAT.RAW", "Closed hi-hat", false, false, 36, kDrumRate, HiHat()});
    return samples;
}

enum SampleNumber { kLead = 1, kArp = 2, kBass = 3, kKick = 4, kSnare = 5, kHat = 6 };

// ---------------------------------------------------------------- patterns
struct Cell {
    int note = -1;                      // -1 empty, 0..119, 254 cut
    int sample = 0;                     // 0 none
    int volume = -1;                    // -1 none, 0..64
    std::uint8_t command = 0;           // 0 none
    std::uint8_t param = 0;
};

struct Pattern {
    Cell cells[kRows][kChannels];
};

// Chord of one bar (16 rows): root of the arpeggio and the bass, and its quality.
struct Chord {
    const char* root;                   // octave 4, e.g. "A-4"
    bool minor;
};

void Accompaniment(Pattern& p, const Chord (&bars)[4]) {
    for (int bar = 0; bar < 4; ++bar) {
        int root = Note(bars[bar].root);
        std::uint8_t arp = bars[bar].minor ? 0x37 : 0x47;
        for (int r = 0; r < 16; ++r) {
            int row = bar * 16 + r;
            Cell& a = p.cells[row][1];
            if (r == 0) { a.note = root; a.sample = kArp; a.volume = 34; }
            a.command = kCmdArpeggio;
            a.param = arp;

            Cell& b = p.cells[row][2];
            if (r % 2 == 0) {
                // Root on the beat, the octave between, the fifth before the next bar.
                int step = r / 2;
                b.note = root - 12 + (step % 2 ? 12 : 0) + (step == 7 ? 7 : 0);
                b.sample = kBass;
                b.command = kCmdSpecial;
                b.param = 0xC4;         // plucked: cut after 4 ticks
            }

            if (r == 0 || r == 8 || r == 10) { p.cells[row][3].note = Note("C-5"); p.cells[row][3].sample = kKick; }
            if (r == 4 || r == 12) { p.cells[row][4].note = Note("C-5"); p.cells[row][4].sample = kSnare; }
            if (r % 2 == 0) {
                Cell& h = p.cells[row][5];
                h.note = Note("C-5");
                h.sample = kHat;
                h.volume = r % 4 == 2 ? 48 : 28;
            }
        }
    }
}

// A melody as notes with lengths in rows; each note is cut one tick before the next.
struct MelodyNote {
    const char* note;                   // nullptr = rest
    int rows;
};

void Melody(Pattern& p, const std::vector<MelodyNote>& tune) {
    int row = 0;
    for (const MelodyNote& m : tune) {
        if (row >= kRows) break;
        Cell& c = p.cells[row][0];
        if (m.note) {
            c.note = Note(m.note);
            c.sample = kLead;
            if (m.rows == 1) { c.command = kCmdSpecial; c.param = 0xC5; }
        }
        row += m.rows;
        if (m.note && m.rows > 1 && row - 1 < kRows) {
            // A short gap before the next note keeps the lead articulate.
            Cell& end = p.cells[row - 1][0];
            end.command = kCmdSpecial;
            end.param = 0xC4;
        }
    }
}

std::vector<Pattern> MakePatterns() {
    std::vector<Pattern> patterns(3);
    const Chord verse[4] = {{"A-4", true}, {"F-4", false}, {"C-4", false}, {"G-4", false}};
    const Chord bridge[4] = {{"F-4", false}, {"G-4", false}, {"E-4", true}, {"A-4", true}};

    // 0: the intro, accompaniment alone; speed and tempo set on its first row.
    Accompaniment(patterns[0], verse);
    patterns[0].cells[0][0].command = kCmdSpeed;
    patterns[0].cells[0][0].param = 6;
    patterns[0].cells[1][0].command = kCmdTempo;
    patterns[0].cells[1][0].param = 125;

    // 1: the verse tune.
    Accompaniment(patterns[1], verse);
    Melody(patterns[1], {{"E-5", 4}, {"A-5", 4}, {"C-6", 2}, {"B-5", 2}, {"A-5", 4},
                         {"F-5", 4}, {"A-5", 4}, {"C-6", 4}, {"A-5", 4},
                         {"G-5", 4}, {"E-5", 2}, {"G-5", 2}, {"C-6", 6}, {"D-6", 2},
                         {"B-5", 6}, {"A-5", 2}, {"G-5", 4}, {"D-5", 4}});

    // 2: the answer over the bridge chords, then back to the verse.
    Accompaniment(patterns[2], bridge);
    Melody(patterns[2], {{"A-5", 2}, {"C-6", 2}, {"F-6", 4}, {"E-6", 4}, {"C-6", 4},
                         {"D-6", 6}, {"B-5", 2}, {"G-5", 4}, {"B-5", 4},
                         {"E-6", 4}, {"D-6", 2}, {"B-5", 2}, {"G-5", 4}, {"B-5", 4},
                         {"A-5", 8}, {"E-5", 4}, {"A-5", 3}, {nullptr, 1}});
    patterns[2].cells[kRows - 1][0].note = kNoteCut;
    patterns[2].cells[kRows - 1][0].command = kCmdJump;
    patterns[2].cells[kRows - 1][0].param = 1;
    return patterns;
}

// IT pattern packing: per channel, a mask byte says which fields follow; the mask
// itself is left out when it repeats the channel's previous mask, and a field
// equal to the channel's previous value of that field is flagged instead of written.
std::vector<std::uint8_t> PackPattern(const Pattern& p) {
    struct Memory {
        bool haveMask = false, haveNote = false, haveSample = false, haveVolume = false, haveCommand = false;
        int mask = 0, note = 0, sample = 0, volume = 0;
        std::uint8_t command = 0, param = 0;
    } memory[kChannels];

    Bytes out;
    for (int row = 0; row < kRows; ++row) {
        for (int ch = 0; ch < kChannels; ++ch) {
            const Cell& c = p.cells[row][ch];
            Memory& m = memory[ch];
            int mask = 0;
            std::vector<std::uint8_t> fields;
            if (c.note >= 0) {
                if (m.haveNote && m.note == c.note) mask |= 0x10;
                else { mask |= 0x01; fields.push_back(static_cast<std::uint8_t>(c.note)); m.note = c.note; m.haveNote = true; }
            }
            if (c.sample > 0) {
                if (m.haveSample && m.sample == c.sample) mask |= 0x20;
                else { mask |= 0x02; fields.push_back(static_cast<std::uint8_t>(c.sample)); m.sample = c.sample; m.haveSample = true; }
            }
            if (c.volume >= 0) {
                if (m.haveVolume && m.volume == c.volume) mask |= 0x40;
                else { mask |= 0x04; fields.push_back(static_cast<std::uint8_t>(c.volume)); m.volume = c.volume; m.haveVolume = true; }
            }
            if (c.command) {
                if (m.haveCommand && m.command == c.command && m.param == c.param) mask |= 0x80;
                else {
                    mask |= 0x08;
                    fields.push_back(c.command);
                    fields.push_back(c.param);
                    m.command = c.command;
                    m.param = c.param;
                    m.haveCommand = true;
                }
            }
            if (!mask) continue;
            if (m.haveMask && m.mask == mask) {
                out.U8(ch + 1);
            } else {
                out.U8((ch + 1) | 0x80);
                out.U8(mask);
                m.mask = mask;
                m.haveMask = true;
            }
            for (std::uint8_t b : fields) out.U8(b);
        }
        out.U8(0);   // end of row
    }
    return out.data;
}

// ---------------------------------------------------------------- the file
std::vector<std::uint8_t> BuildModule() {
    std::vector<Sample> samples = MakeSamples();
    std::vector<Pattern> patterns = MakePatterns();
    const std::vector<int> orders = {0, 1, 2, kOrderEnd};

    Bytes f;
    f.Text("IMPM", 5);
    f.data.pop_back();                  // the magic has no terminator
    f.Text("yoshi1", 26);
    f.U8(4);                            // row highlight: beat
    f.U8(16);                           // and bar
    f.U16(static_cast<unsigned>(orders.size()));
    f.U16(0);                           // instruments: none, sample mode
    f.U16(static_cast<unsigned>(samples.size()));
    f.U16(static_cast<unsigned>(patterns.size()));
    f.U16(0x0214);                      // written like Impulse Tracker 2.14
    f.U16(0x0214);                      // and needs a player compatible with it
    f.U16(0x01 | 0x08);                 // stereo, linear slides
    f.U16(0);                           // no message, no extras
    f.U8(128);                          // global volume
    f.U8(48);                           // mixing volume
    f.U8(6);                            // initial speed
    f.U8(125);                          // initial tempo
    f.U8(128);                          // stereo separation
    f.U8(0);                            // pitch wheel depth
    f.U16(0);                           // message length
    f.U32(0);                           // message offset
    f.U32(0);                           // reserved
    const int pan[kChannels] = {32, 18, 32, 32, 40, 48};
    for (int ch = 0; ch < 64; ++ch) f.U8(ch < kChannels ? pan[ch] : 32 + 128);   // +128: channel off
    for (int ch = 0; ch < 64; ++ch) f.U8(64);
    for (int o : orders) f.U8(o);

    size_t sampleTable = f.data.size();
    for (size_t i = 0; i < samples.size(); ++i) f.U32(0);
    size_t patternTable = f.data.size();
    for (size_t i = 0; i < patterns.size(); ++i) f.U32(0);

    // Sample headers, their data pointers patched once the data is placed.
    std::vector<size_t> dataPointerAt;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        f.PatchU32(sampleTable + 4 * i, static_cast<std::uint32_t>(f.data.size()));
        f.Text("IMPS", 5);
        f.data.pop_back();
        f.Text(s.fileName.c_str(), 13);  // 12 bytes of name and the 0 after them
        f.U8(64);                        // global volume
        f.U8(0x01 | (s.sixteenBit ? 0x02 : 0) | (s.loop ? 0x10 : 0));
        f.U8(s.volume);
        f.Text(s.name.c_str(), 26);
        f.U8(0x01);                      // signed samples
        f.U8(32);                        // default pan, not used (bit 7 clear)
        std::uint32_t length = static_cast<std::uint32_t>(s.frames.size());
        f.U32(length);
        f.U32(0);                        // loop start
        f.U32(s.loop ? length : 0);      // loop end (exclusive)
        f.U32(s.c5Speed);
        f.U32(0);                        // sustain loop start
        f.U32(0);                        // sustain loop end
        dataPointerAt.push_back(f.data.size());
        f.U32(0);
        f.U8(0); f.U8(0); f.U8(0); f.U8(0);   // no auto-vibrato
    }

    for (size_t i = 0; i < patterns.size(); ++i) {
        std::vector<std::uint8_t> packed = PackPattern(patterns[i]);
        f.PatchU32(patternTable + 4 * i, static_cast<std::uint32_t>(f.data.size()));
        f.U16(static_cast<unsigned>(packed.size()));
        f.U16(kRows);
        f.U32(0);
        f.data.insert(f.data.end(), packed.begin(), packed.end());
    }

    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        f.PatchU32(dataPointerAt[i], static_cast<std::uint32_t>(f.data.size()));
        for (double v : s.frames) {
            v = std::fmax(-1.0, std::fmin(1.0, v));
            if (s.sixteenBit) {
                long q = std::lround(v * 32767.0);
                f.U16(static_cast<unsigned>(static_cast<std::uint16_t>(static_cast<std::int16_t>(q))));
            } else {
                long q = std::lround(v * 127.0);
                f.U8(static_cast<std::uint8_t>(static_cast<std::int8_t>(q)));
            }
        }
    }
    return f.data;
}

} // namespace

int main(int argc, char** argv) {
    static const char kUsage[] =
        "usage: itgen OUTPUT.it\n"
        "  OUTPUT.it   where to write the demo module the player plays\n"
        "  itgen --help | -h | --version\n";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("itgen %s\n", CORVANE_VERSION);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::uint8_t> module = BuildModule();
    std::string target = argv[1];
    std::string temporary = target + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "itgen: cannot write %s\n", temporary.c_str());
        return 1;
    }
    bool ok = std::fwrite(module.data(), 1, module.size(), file) == module.size();
    ok = std::fclose(file) == 0 && ok;
    // filesystem::rename replaces an existing target on Windows too (std::rename does not there).
    std::error_code renamed;
    if (ok) std::filesystem::rename(temporary, target, renamed);
    if (!ok || renamed) {
        std::fprintf(stderr, "itgen: cannot write %s\n", target.c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
