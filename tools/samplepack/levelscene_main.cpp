// Writes the sample level scene into the pack's content folder and adds its
// entry to the manifest built there.
#include <cstdio>
#include <string>

#include "tools/samplepack/LevelScene.h"

namespace {
constexpr char kSceneName[] = "level10.m3g";
// The special level's scene resource, a data block.
constexpr char kManifestLine[] = "\n# The special level's scene.\n0x03000A0A 0x374F8659 plain 4 file level10.m3g\n";

bool writeFile(const std::string& path, const void* bytes, size_t size, const char* mode)
{
    std::FILE* out = std::fopen(path.c_str(), mode);
    const bool ok = out && std::fwrite(bytes, 1, size, out) == size;
    return out && std::fclose(out) == 0 && ok;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: levelscenetool CONTENT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<uint8_t> bytes = sampleLevelScene();
    if (!writeFile(folder + "/" + kSceneName, bytes.data(), bytes.size(), "wb")
        || !writeFile(folder + "/pennyfall.manifest", kManifestLine, sizeof kManifestLine - 1, "ab")) {
        std::fprintf(stderr, "levelscenetool: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
