// Fails the k-th engine allocation for every k across start-up, the load of a
// writer-made World with a camera, a light and a background beside an
// appearance, and a score of calls on them: every run ends in success or a
// failure result, with every hooked allocation given back.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/scene/interface/SceneNodeTables.h"
#include "engine/core/testing/AllocationSweep.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

std::vector<uint8_t> worldFile()
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    std::vector<uint32_t> children;
    for (int32_t i = 0; i < 3; ++i) {
        M3gGroupFields group;
        group.node.transformable.object.userId = 10 + i;
        group.node.transformable.object.userParameters.push_back({i, {1, 2, 3}});
        children.push_back(writer.addObject(m3gGroupRecord(group)));
    }
    const uint32_t camera = writer.addObject(m3gCameraRecord({}));
    children.push_back(camera);
    children.push_back(writer.addObject(m3gLightRecord({})));
    M3gWorldFields world;
    world.group.node.transformable.object.userId = 1;
    world.group.children = children;
    world.activeCamera = camera;
    world.background = writer.addObject(m3gBackgroundRecord({}));
    writer.addObject(m3gWorldRecord(world));
    M3gAppearanceFields appearance;
    appearance.material = writer.addObject(m3gMaterialRecord({}));
    appearance.fog = writer.addObject(m3gFogRecord({}));
    writer.addObject(m3gAppearanceRecord(appearance));
    return writer.finish();
}

// Returns whether every call succeeded.
bool runScenario(const std::vector<uint8_t>& file)
{
    IkwEngine* root = nullptr;
    if (initEngineApi(&root) != 0)
        return false;
    bool allGood = root->table->initialize(root, &FailingAllocator::alloc, &FailingAllocator::free) == 0;
    const auto check = [&](EngineResult r) {
        allGood = allGood && r == 0;
        return r == 0;
    };
    const auto release = [](EngineHandle*& h) {
        if (h != nullptr)
            unknownRelease(h);
        h = nullptr;
    };
    EngineHandle* loader = nullptr;
    EngineHandle* world = nullptr;
    EngineHandle* appearance = nullptr;
    if (allGood && check(root->table->createEngineObject(kIidLoader, &loader))) {
        const auto& l = tableOf<IkwLoaderTable>(loader);
        if (check(l.loadBuffer(loader, static_cast<uint32_t>(file.size()), file.data(), nullptr))) {
            check(l.getRoot(loader, 0, &world));
            check(l.getRoot(loader, 1, &appearance));
        }
        release(loader);
    }
    if (appearance != nullptr) {
        const auto& a = tableOf<IkwAppearanceTable>(appearance);
        EngineHandle* material = nullptr;
        EngineHandle* copy = nullptr;
        if (check(a.getMaterial(appearance, &material)) && check(a.object3D.duplicate(appearance, &copy)))
            a.setMaterial(copy, nullptr);
        check(a.setTexture(appearance, 1, nullptr));
        release(copy);
        release(material);
    }
    release(appearance);
    if (world != nullptr) {
        EngineHandle* camera = nullptr;
        if (check(tableOf<IkwWorldTable>(world).getActiveCamera(world, &camera)))
            check(tableOf<IkwCameraTable>(camera).setPerspective(camera, 60, 1, 1, 10));
        release(camera);
    }
    EngineHandle* group = nullptr;
    if (world != nullptr && check(root->table->createEngineObject(kIidGroup, &group))) {
        const auto& w = tableOf<IkwWorldTable>(world);
        const auto& o = w.group.node.transformable.object3D;
        const float xyz[3] = {1, 2, 3};
        const float turn[4] = {30, 0, 1, 0};
        const uint8_t bytes[4] = {4, 5, 6, 7};
        check(w.group.addChild(world, group));
        check(w.group.node.transformable.setTranslation(group, xyz));
        check(w.group.node.transformable.postRotate(group, turn));
        check(o.setUserParameter(group, 5, 4, bytes));
        check(o.setUserParameter(group, 5, 2, bytes));
        uint32_t count = 0;
        if (check(o.getReferences(world, 0, nullptr, &count))) {
            std::vector<EngineHandle*> references(count);
            check(o.getReferences(world, count, references.data(), &count));
            for (EngineHandle*& h : references)
                release(h);
        }
        EngineHandle* found = nullptr;
        check(o.find(world, 12, &found));
        EngineHandle* parent = nullptr;
        if (found != nullptr)
            check(w.group.node.getParent(found, &parent));
        release(parent);
        EngineHandle* copy = nullptr;
        check(o.duplicate(world, &copy));
        release(copy);
        int32_t validity = 0;
        check(o.animate(world, 100, &validity));
        check(w.group.node.setAlignment(group, found, 145, nullptr, 144));
        check(w.group.node.align(world, nullptr));
        release(found);
        EngineHandle* child = nullptr;
        check(w.group.getChild(world, 0, &child));
        check(w.group.removeChild(world, child));
        release(child);
        EngineHandle* queried = nullptr;
        if (check(unknownQueryInterface(world, kIidGroup, &queried)))
            release(queried);
    }
    release(group);
    release(world);
    root->table->release(root);
    return allGood;
}

TEST(SceneSweep, EveryFailedAllocationEndsInAResultWithoutLeaks)
{
    ASSERT_EQ(interfaceTable(*interfaceById(kIidWorld)), &kWorldTable); // the scene's own tables, not stand-ins
    const std::vector<uint8_t> file = worldFile();
    EXPECT_GT(sweepAllocationFailures([&] { return runScenario(file); }), 50);
}

} // namespace
