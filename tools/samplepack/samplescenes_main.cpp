// Writes the sample pack's 3D scenes into the pack's content folder and adds
// their entries, data blocks, to the manifest built there.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/samplepack/DirectorScenes.h"
#include "tools/samplepack/LevelScene.h"

namespace {

struct SceneFile {
    uint32_t id;
    const char* name;
    std::vector<uint8_t> (*build)();
};

constexpr uint32_t kHideoutScene = 0x03000A09;
constexpr uint32_t kLevelTenScene = 0x03000A0A;
constexpr SceneFile kScenes[] = {
    {kHideoutScene, "hideout.m3g", sampleHideoutScene},
    {kLevelTenScene, "level10.m3g", sampleLevelScene},
    {DirectorResource::ArrestScene, "arrest.m3g", sampleArrestScene},
    {DirectorResource::LockScene, "lockscene.m3g", sampleLockScene},
    {DirectorResource::MapLockScene, "maplock.m3g", sampleMapLockScene},
    {DirectorResource::BoyModel, "boy.m3g", sampleBoyModel},
    {DirectorResource::OutfitBoyModel, "boy-outfit.m3g", sampleOutfitBoyModel},
    {DirectorResource::GirlModel, "girl.m3g", sampleGirlModel},
    {DirectorResource::WalkClips, "clips-walk.m3g", sampleWalkClips},
    {DirectorResource::DiamondClips, "clips-diamond.m3g", sampleDiamondClips},
    {DirectorResource::PolicemanClips, "clips-policeman.m3g", samplePolicemanClips},
};

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
        std::fprintf(stderr, "usage: samplescenes CONTENT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::string lines = "\n# Generated: the 3D scenes.\n";
    for (const SceneFile& scene : kScenes) {
        const std::vector<uint8_t> bytes = scene.build();
        if (!writeFile(folder + "/" + scene.name, bytes.data(), bytes.size(), "wb")) {
            std::fprintf(stderr, "samplescenes: cannot write %s into %s\n", scene.name, argv[1]);
            return 1;
        }
        char line[96];
        std::snprintf(line, sizeof line, "0x%08" PRIX32 " 0x374F8659 plain 4 file %s\n", scene.id, scene.name);
        lines += line;
    }
    if (!writeFile(folder + "/pennyfall.manifest", lines.data(), lines.size(), "ab")) {
        std::fprintf(stderr, "samplescenes: cannot add to the manifest in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
