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
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwWorld.h"
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
        const std::string path = (folder / "m3x-otokka_jump2.m3g").string();
        while (loader.getState() != CkwBrewLoader::kDone && loader.getState() != CkwBrewLoader::kFailed)
            ASSERT_EQ(loader.loadNameStep(path.c_str(), nullptr), 0);
        CkwWorld* world = nullptr;
        for (uint32_t i = 0; i < loader.rootCount() && world == nullptr; ++i)
            engineTrap([&] { world = dynamic_cast<CkwWorld*>(static_cast<CkwObject3D*>(loader.rootL(i))); });
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

} // namespace
