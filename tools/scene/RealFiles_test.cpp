// Files from other people's exporters, read where the shared folder lies
// (never copied into the project): each must dump through the public
// interface, except the ones still waiting for a class the engine lacks,
// which must fail cleanly until it comes (then they move to the loading side).
#include "tools/scene/SceneDump.h"
#include "tools/scene/SceneRender.h"

#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwWorld.h"
#include "tests/support/SharedFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The first World among the file's roots; the loader keeps it alive.
CkwWorld* loadWorld(CkwBrewLoader& loader, const std::string& path)
{
    while (loader.getState() != CkwBrewLoader::kDone && loader.getState() != CkwBrewLoader::kFailed)
        if (loader.loadNameStep(path.c_str(), nullptr) != 0)
            return nullptr;
    CkwWorld* world = nullptr;
    for (uint32_t i = 0; i < loader.rootCount() && world == nullptr; ++i)
        engineTrap([&] { world = dynamic_cast<CkwWorld*>(static_cast<CkwObject3D*>(loader.rootL(i))); });
    return world;
}

TEST(RealFiles, EveryFileDumpsOrWaitsForANamedClass)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    const struct {
        const char* file;
        const char* waitsFor; // null: must load
        const char* roots;    // the dump's last line
    } files[] = {
        {"m3x-quad.m3g", nullptr, "roots 1"},
        {"m3gviewer-cube.m3g", nullptr, "roots 1"},
        {"m3x-teapot.m3g", nullptr, "roots 1"},
        {"3dmoto-hRoad.m3g", nullptr, "roots 1"},
        {"3dmoto-misc.m3g", nullptr, "roots 1"},
        {"3dmoto-racer.m3g", nullptr, "roots 1"},
        {"3dmoto-tail.m3g", nullptr, "roots 8"},
        {"desktopm3g-kitune-miko.m3g", nullptr, "roots 2"},
        {"m3gviewer-monkey_step3.m3g", nullptr, "roots 1"},
        {"m3gviewer-teapot.m3g", nullptr, "roots 1"},
        {"midpath-asteroid_mesh.m3g", nullptr, "roots 1"},
        {"midpath-robot.m3g", nullptr, "roots 1"},
        {"m3x-nokia_on_ice.m3g", nullptr, "roots 1"},
        {"m3x-otokka_jump2.m3g", nullptr, "roots 1"},
    };
    for (const auto& f : files) {
        std::string out;
        const int exit = dumpScene((folder / f.file).string(), out);
        if (f.waitsFor == nullptr) {
            EXPECT_EQ(exit, 0) << f.file << ": " << out;
            EXPECT_TRUE(out.ends_with(std::string("\n") + f.roots + "\n")) << f.file << ": " << out;
        } else {
            EXPECT_EQ(exit, 1) << f.file << " loads now; it waited for " << f.waitsFor;
        }
    }
}

// Every World with a camera and geometry draws a picture that is not one
// flat colour (the meshes show over the background).
TEST(RealFiles, EveryWorldWithACameraDraws)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    const struct {
        const char* file;
        int32_t timeMs; // the letters fly in only after the start
    } files[] = {{"m3gviewer-cube.m3g", 0},     {"m3gviewer-teapot.m3g", 0}, {"m3gviewer-monkey_step3.m3g", 0},
                 {"midpath-robot.m3g", 0},      {"m3x-teapot.m3g", 0},       {"desktopm3g-kitune-miko.m3g", 0},
                 {"m3x-nokia_on_ice.m3g", 12000}, {"m3x-otokka_jump2.m3g", 600}};
    for (const auto [file, timeMs] : files) {
        SceneRenderOptions options;
        options.width = 60;
        options.height = 80;
        options.timeMs = timeMs;
        std::vector<uint16_t> pixels;
        std::string error;
        ASSERT_EQ(renderSceneFile((folder / file).string(), options, pixels, error), 0) << file << ": " << error;
        size_t differing = 0;
        for (uint16_t p : pixels)
            differing += p != pixels[0];
        EXPECT_GT(differing, pixels.size() / 50) << file;
    }
    // Textures alone, or a lone vertex array, load but hold nothing to draw.
    for (const char* file : {"3dmoto-tail.m3g", "m3x-quad.m3g"}) {
        std::vector<uint16_t> pixels;
        std::string error;
        EXPECT_EQ(renderSceneFile((folder / file).string(), SceneRenderOptions{}, pixels, error), 1) << file;
        EXPECT_TRUE(error.ends_with(": loads, but holds no World and no node to draw")) << error;
    }
}

// The jumping character's meshes are skinned: at each time of the jump they
// cover, all but a few pixels along the outline, what plain meshes cover that
// are made of the positions the skins compute for picking (16.16 fixed point),
// so the drawing follows the pose.
TEST(RealFiles, SkinnedCharacterIsDrawnPosedAtEveryTime)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    ASSERT_EQ(engineInit(), 1);
    {
        CkwBrewLoader loader;
        CkwWorld* world = loadWorld(loader, (folder / "m3x-otokka_jump2.m3g").string());
        ASSERT_NE(world, nullptr);
        std::vector<CkwSkinnedMesh*> skins;
        for (CkwNode* n = world; n != nullptr; n = CkwNode::nextInSubtree(n, world, true))
            if (n->getClassId() == kClassSkinnedMesh)
                skins.push_back(static_cast<CkwSkinnedMesh*>(n));
        ASSERT_EQ(skins.size(), 15u);
        // Each skin gets a plain twin on its skinned positions, hung below it
        // so that it shares its place in the world.
        std::vector<CkwMesh*> twins;
        ASSERT_EQ(engineTrap([&] {
            for (CkwSkinnedMesh* skin : skins) {
                std::vector<CkwIndexBuffer*> strips;
                std::vector<CkwAppearance*> looks;
                for (int32_t i = 0; i < skin->getSubmeshCount(); ++i) {
                    strips.push_back(skin->getIndexBuffer(i));
                    looks.push_back(skin->getAppearance(i));
                }
                auto* twin = static_cast<CkwMesh*>(CkwMesh::create());
                twin->init(skin->getSkinnedVertexBuffer(false), skin->getSubmeshCount(), strips.data(),
                           skin->getSubmeshCount(), looks.data());
                twin->attachTo(skin);
                twins.push_back(twin);
            }
        }), 0);
        constexpr int32_t w = 64, h = 96;
        std::vector<uint16_t> skinned(w * h), plain(w * h), neither(w * h);
        CkwGraphics3D* g = nullptr;
        ASSERT_EQ(engineTrap([&] {
            g = CkwGraphics3D::create();
            g->addRef();
        }), 0);
        // A scope of 0 hides a mesh but not the skeleton below it.
        const auto draw = [&](std::vector<uint16_t>& pixels, bool skinsShown, bool twinsShown) {
            for (CkwSkinnedMesh* skin : skins)
                skin->setScope(skinsShown ? -1 : 0);
            for (CkwMesh* twin : twins)
                twin->setScope(twinsShown ? -1 : 0);
            return engineTrap([&] {
                g->bindTarget(w, h, w * 2, pixels.data());
                g->renderWorld(world);
                for (CkwSkinnedMesh* skin : skins) {
                    skin->markChangedBones();
                    skin->getSkinnedVertexBuffer(false);
                }
            });
        };
        for (int32_t time = 0; time <= 1400; time += 200) {
            SCOPED_TRACE(time);
            ASSERT_EQ(engineTrap([&] { world->animate(time, kNewAnimationPass); }), 0);
            ASSERT_EQ(draw(skinned, true, false), 0);
            ASSERT_EQ(draw(neither, false, false), 0);
            ASSERT_EQ(draw(plain, false, true), 0);
            int32_t covered = 0, disagreeing = 0;
            for (size_t i = 0; i < skinned.size(); ++i) {
                const bool bySkin = skinned[i] != neither[i], byTwin = plain[i] != neither[i];
                covered += bySkin;
                disagreeing += bySkin != byTwin;
            }
            EXPECT_GT(covered, 100);
            EXPECT_LT(disagreeing, covered / 20);
        }
        g->release();
    }
    engineShutdown();
}

// One studio's pipeline writes every compositing mode with colour and alpha
// writes off (the file's order is depth test, depth write, colour write,
// alpha write), and its worlds hold no camera, light or background: they draw
// depth only, so the picture stays the clear black. With colour writes turned
// on the same road shows, seen from above through a camera of the test's.
TEST(RealFiles, DepthOnlyWorldsDrawBlackUntilColourWritesAreOn)
{
    const std::filesystem::path folder = realFilesFolder();
    if (folder.empty())
        GTEST_SKIP() << "no shared folder of real 3D files";
    for (const char* file : {"3dmoto-hRoad.m3g", "3dmoto-racer.m3g", "3dmoto-misc.m3g"}) {
        SCOPED_TRACE(file);
        SceneRenderOptions options;
        options.width = 64;
        options.height = 48;
        std::vector<uint16_t> pixels;
        std::string error;
        ASSERT_EQ(renderSceneFile((folder / file).string(), options, pixels, error), 0) << error;
        EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), std::ssize(pixels));
    }
    ASSERT_EQ(engineInit(), 1);
    {
        CkwBrewLoader loader;
        CkwWorld* world = loadWorld(loader, (folder / "3dmoto-hRoad.m3g").string());
        ASSERT_NE(world, nullptr);
        std::vector<CkwCompositingMode*> modes;
        for (CkwNode* n = world; n != nullptr; n = CkwNode::nextInSubtree(n, world, true)) {
            if (n->getClassId() != kClassMesh)
                continue;
            const auto* mesh = static_cast<CkwMesh*>(n);
            for (int32_t i = 0; i < mesh->getSubmeshCount(); ++i)
                if (CkwAppearance* look = mesh->getAppearance(i); look != nullptr && look->getCompositingMode())
                    modes.push_back(look->getCompositingMode());
        }
        ASSERT_FALSE(modes.empty());
        for (const CkwCompositingMode* mode : modes)
            EXPECT_TRUE(mode->isDepthTestEnabled() && mode->isDepthWriteEnabled() && !mode->isColorWriteEnabled()
                        && !mode->isAlphaWriteEnabled());
        constexpr int32_t w = 64, h = 48;
        CkwGraphics3D* g = nullptr;
        CkwCamera* camera = nullptr;
        const auto draw = [&](bool colourWrite) {
            for (CkwCompositingMode* mode : modes)
                mode->setColorWriteEnable(colourWrite);
            std::vector<uint16_t> pixels(w * h, 0x1234);
            const float axis[3] = {1.0f, 0.0f, 0.0f};
            CkwMatrix above = CkwMatrix::fromAxisAngle(-1.5707964f, axis);
            above.translate(-50.0f, 600.0f, 0.0f);
            EXPECT_EQ(engineTrap([&] {
                g->bindTarget(w, h, w * 2, pixels.data());
                g->setCamera(camera, &above);
                g->clear(nullptr);
                g->renderNode(world, nullptr);
            }), 0);
            return std::ssize(pixels) - std::count(pixels.begin(), pixels.end(), 0);
        };
        ASSERT_EQ(engineTrap([&] {
            g = CkwGraphics3D::create();
            g->addRef();
            camera = static_cast<CkwCamera*>(CkwCamera::create());
            camera->addRef();
            camera->setPerspective(90.0f, float(w) / float(h), 1.0f, 2000.0f);
        }), 0);
        // Without an active camera the world itself cannot be drawn.
        std::vector<uint16_t> target(w * h);
        EXPECT_EQ(engineTrap([&] {
            g->bindTarget(w, h, w * 2, target.data());
            g->renderWorld(world);
        }), -1300);
        EXPECT_EQ(draw(false), 0);
        EXPECT_GT(draw(true), w * h / 10);
        camera->release();
        g->release();
    }
    engineShutdown();
}

} // namespace
