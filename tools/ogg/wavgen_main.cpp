// Writes a 16-bit PCM WAV, the input from which the build makes its Ogg
// Vorbis test fixtures and the sample pack's music and jingles:
//   wavgen OUT CHANNELS RATE SAMPLES   a 440 Hz sine tone
//   wavgen OUT melody NOTE:MS...       mono 8000 Hz notes such as C5:250,
//                                      F#4:125 or R:500 (a rest)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double kTwoPi = 2.0 * 3.14159265358979;
constexpr uint32_t kMelodyRate = 8000;
// The longest melody: the pack wants short cues.
constexpr uint32_t kMaxMelodyMs = 16000;

void putU16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

void putTag(std::vector<uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

bool writeWav(const char* path, uint32_t channels, uint32_t rate, const std::vector<int16_t>& frames)
{
    const uint32_t dataSize = uint32_t(frames.size()) * channels * 2;
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    putU32(out, dataSize + 36);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    putU32(out, 16);
    putU16(out, 1);
    putU16(out, channels);
    putU32(out, rate);
    putU32(out, rate * channels * 2);
    putU16(out, channels * 2);
    putU16(out, 16);
    putTag(out, "data");
    putU32(out, dataSize);
    for (int16_t s : frames)
        for (uint32_t c = 0; c < channels; ++c)
            putU16(out, uint16_t(s));
    std::FILE* file = std::fopen(path, "wb");
    const bool ok = file && std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return file && std::fclose(file) == 0 && ok;
}

// Semitones above C of a note name's letter.
int letterSemitone(char letter)
{
    static const char kLetters[] = "CDEFGAB";
    static const int kSemitones[] = {0, 2, 4, 5, 7, 9, 11};
    const char* at = std::strchr(kLetters, letter);
    return letter != 0 && at ? kSemitones[at - kLetters] : -1;
}

// "C5:250" -> 523.25 Hz for 250 ms; a rest has frequency 0. False when the
// text is no note.
bool parseNote(const char* text, double& hz, uint32_t& ms)
{
    const char* colon = std::strchr(text, ':');
    if (!colon)
        return false;
    char* end = nullptr;
    const unsigned long length = std::strtoul(colon + 1, &end, 10);
    if (end == colon + 1 || *end != 0 || length == 0 || length > kMaxMelodyMs)
        return false;
    ms = uint32_t(length);
    if (text[0] == 'R' && colon == text + 1) {
        hz = 0.0;
        return true;
    }
    int semitone = letterSemitone(text[0]);
    const char* p = text + 1;
    if (*p == '#') {
        ++semitone;
        ++p;
    }
    if (semitone < 0 || p + 1 != colon || *p < '1' || *p > '7')
        return false;
    const int midi = 12 * (*p - '0' + 1) + semitone;
    hz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    return true;
}

// Each note is a sine with a soft second harmonic that starts in 5 ms and
// fades to silence by its end, so melodies join and loop without clicks.
void appendNote(std::vector<int16_t>& frames, double hz, uint32_t ms)
{
    const uint32_t count = ms * kMelodyRate / 1000;
    const uint32_t attack = kMelodyRate / 200;
    for (uint32_t i = 0; i < count; ++i) {
        double v = 0.0;
        if (hz > 0.0) {
            const double t = double(i) / kMelodyRate;
            const double fade = 1.0 - double(i) / count;
            const double envelope = (i < attack ? double(i) / attack : 1.0) * fade * fade;
            v = envelope * (std::sin(kTwoPi * hz * t) + 0.3 * std::sin(2.0 * kTwoPi * hz * t)) / 1.3;
        }
        frames.push_back(int16_t(std::lround(v * 12000.0)));
    }
}

int writeMelody(const char* path, int count, char** notes)
{
    std::vector<int16_t> frames;
    uint32_t total = 0;
    for (int i = 0; i < count; ++i) {
        double hz = 0.0;
        uint32_t ms = 0;
        if (!parseNote(notes[i], hz, ms) || (total += ms) > kMaxMelodyMs) {
            std::fprintf(stderr, "wavgen: bad note or melody too long at %s\n", notes[i]);
            return 1;
        }
        appendNote(frames, hz, ms);
    }
    if (!writeWav(path, 1, kMelodyRate, frames)) {
        std::fprintf(stderr, "wavgen: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[2], "melody") == 0)
        return writeMelody(argv[1], argc - 3, argv + 3);
    if (argc != 5) {
        std::fprintf(stderr, "usage: wavgen OUT CHANNELS RATE SAMPLES | wavgen OUT melody NOTE:MS...\n");
        return 1;
    }
    uint32_t channels = uint32_t(std::strtoul(argv[2], nullptr, 10));
    uint32_t rate = uint32_t(std::strtoul(argv[3], nullptr, 10));
    uint32_t samples = uint32_t(std::strtoul(argv[4], nullptr, 10));
    if (channels < 1 || channels > 2 || rate == 0 || samples == 0 || samples > (1u << 24)) {
        std::fprintf(stderr, "wavgen: bad channels, rate or sample count\n");
        return 1;
    }
    // A 440 Hz tone at half scale: loud enough that the encoder keeps it.
    std::vector<int16_t> frames(samples);
    for (uint32_t i = 0; i < samples; ++i)
        frames[i] = int16_t(std::lround(std::sin(kTwoPi * 440.0 * double(i) / double(rate)) * 16000.0));
    if (!writeWav(argv[1], channels, rate, frames)) {
        std::fprintf(stderr, "wavgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
