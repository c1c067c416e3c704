// Writes the sample level scene to the file named on the command line.
#include <cstdio>

#include "tools/samplepack/LevelScene.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: levelscene OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = sampleLevelScene();
    std::FILE* out = std::fopen(argv[1], "wb");
    const bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out && std::fclose(out) != 0)
        return 1;
    return ok ? 0 : 1;
}
