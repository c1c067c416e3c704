// Files from other people's exporters, read where the shared folder lies
// (never copied into the project): each must dump through the public
// interface, except the ones still waiting for a class the engine lacks,
// which must fail cleanly until it comes (then they move to the loading side).
#include "tools/scene/SceneDump.h"
#include "tools/scene/SceneRender.h"

#include "tests/support/SharedFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(RealFiles, EveryFileDumpsOrWaitsForANamedClass)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    const struct {
        const char* file;
        const char* waitsFor; // null: must load
    } files[] = {
        {"m3x-quad.m3g", nullptr},
        {"m3gviewer-cube.m3g", nullptr},
        {"m3x-teapot.m3g", nullptr},
        {"3dmoto-hRoad.m3g", nullptr},
        {"3dmoto-misc.m3g", nullptr},
        {"3dmoto-racer.m3g", nullptr},
        {"3dmoto-tail.m3g", nullptr},
        {"desktopm3g-kitune-miko.m3g", nullptr},
        {"m3gviewer-monkey_step3.m3g", nullptr},
        {"m3gviewer-teapot.m3g", nullptr},
        {"midpath-asteroid_mesh.m3g", nullptr},
        {"midpath-robot.m3g", nullptr},
        {"m3x-nokia_on_ice.m3g", nullptr},
    };
    for (const auto& f : files) {
        std::string out;
        const int exit = dumpScene((folder / f.file).string(), out);
        if (f.waitsFor == nullptr)
            EXPECT_EQ(exit, 0) << f.file << ": " << out;
        else
            EXPECT_EQ(exit, 1) << f.file << " loads now; it waited for " << f.waitsFor;
    }
}

// Every World with a camera and geometry draws a picture that is not one
// flat colour (the meshes show over the background).
TEST(RealFiles, EveryWorldWithACameraDraws)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    for (const char* file : {"m3gviewer-cube.m3g", "m3gviewer-teapot.m3g", "m3gviewer-monkey_step3.m3g",
                             "midpath-robot.m3g", "m3x-teapot.m3g", "desktopm3g-kitune-miko.m3g"}) {
        SceneRenderOptions options;
        options.width = 60;
        options.height = 80;
        std::vector<uint16_t> pixels;
        std::string error;
        ASSERT_EQ(renderSceneFile((folder / file).string(), options, pixels, error), 0) << file << ": " << error;
        size_t differing = 0;
        for (uint16_t p : pixels)
            differing += p != pixels[0];
        EXPECT_GT(differing, pixels.size() / 50) << file;
    }
}

// The jumping character is skinned: its bones pose it anew at each time, so
// every frame of the jump differs from the one before.
TEST(RealFiles, SkinnedCharacterIsPosedAtEveryTime)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    SceneRenderOptions options;
    options.width = 64;
    options.height = 96;
    std::vector<uint16_t> previous;
    for (int32_t time = 0; time <= 1200; time += 200) {
        options.timeMs = time;
        std::vector<uint16_t> pixels;
        std::string error;
        ASSERT_EQ(renderSceneFile((folder / "m3x-otokka_jump2.m3g").string(), options, pixels, error), 0) << error;
        if (!previous.empty()) {
            size_t differing = 0;
            for (size_t i = 0; i < pixels.size(); ++i)
                differing += pixels[i] != previous[i];
            EXPECT_GT(differing, 20u) << "at " << time << " ms";
        }
        previous = pixels;
    }
}

} // namespace
