// Writes a 16-bit PCM WAV of a sine tone, the input from which the build
// makes its Ogg Vorbis test fixtures:
//   wavgen OUT CHANNELS RATE SAMPLES
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: wavgen OUT CHANNELS RATE SAMPLES\n");
        return 1;
    }
    uint32_t channels = uint32_t(std::strtoul(argv[2], nullptr, 10));
    uint32_t rate = uint32_t(std::strtoul(argv[3], nullptr, 10));
    uint32_t samples = uint32_t(std::strtoul(argv[4], nullptr, 10));
    if (channels < 1 || channels > 2 || rate == 0 || samples == 0 || samples > (1u << 24)) {
        std::fprintf(stderr, "wavgen: bad channels, rate or sample count\n");
        return 1;
    }
    uint32_t dataSize = samples * channels * 2;
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
    // A 440 Hz tone at half scale: loud enough that the encoder keeps it.
    for (uint32_t i = 0; i < samples; ++i) {
        double v = std::sin(2.0 * 3.14159265358979 * 440.0 * double(i) / double(rate));
        int16_t s = int16_t(std::lround(v * 16000.0));
        for (uint32_t c = 0; c < channels; ++c)
            putU16(out, uint16_t(s));
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size()) {
        std::fprintf(stderr, "wavgen: cannot write %s\n", argv[1]);
        if (file)
            std::fclose(file);
        return 1;
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
