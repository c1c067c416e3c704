// Fails the k-th engine allocation for every k across start-up, the load of a
// writer-made World with a camera, a light, a background and an animated
// group beside an appearance and every kind of image, a PNG load, and a score
// of calls on them: every run ends in success or a failure result, with every
// hooked allocation given back.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/loader/PngTestKit.h"
#include "engine/scene/interface/SceneNodeTables.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/interface/ImageTables.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

// Roots from index 2 on: a sprite (with its palette image, texture and
// appearance) and the engine's own plasma, stageset and compressed images.
void addImageRoots(M3gFileWriter& writer)
{
    M3gImage2DFields palette;
    palette.width = 4;
    palette.height = 2;
    palette.format = 100;
    palette.palette = {1, 2, 3, 4, 5, 6, 7, 8};
    palette.pixels.assign(8, 1);
    const uint32_t image = writer.addObject(m3gImage2DRecord(palette));
    M3gTexture2DFields texture;
    texture.image = image;
    M3gAppearanceFields appearance;
    appearance.textures = {writer.addObject(m3gTexture2DRecord(texture))};
    M3gSpriteFields sprite;
    sprite.image = image;
    sprite.appearance = writer.addObject(m3gAppearanceRecord(appearance));
    sprite.crop = {0, 0, 4, 2};
    writer.addObject(m3gSpriteRecord(sprite));
    M3gPlasmaFields plasma;
    plasma.widthExponent = 3;
    plasma.heightExponent = 2;
    plasma.weightsA[8] = 0.5f;
    writer.addObject(m3gPlasmaRecord(plasma));
    M3gStagesetFields stageset;
    stageset.image.width = 2;
    stageset.image.pixels.assign(6, 9);
    stageset.depth = {1, 2};
    writer.addObject(m3gStagesetRecord(stageset));
    M3gCompressedImageFields compressed;
    compressed.width = 2;
    compressed.levels = {{1, 2}, {3}};
    writer.addObject(m3gCompressedImageRecord(compressed));
}

std::vector<uint8_t> pngFile()
{
    PngSpec png;
    png.colourType = PNG_COLOR_TYPE_PALETTE;
    png.palette = {{1, 2, 3}, {4, 5, 6}};
    png.alphas = {9};
    png.rows = {0, 1, 1, 0};
    return writePng(png);
}

// Loads the PNG, duplicates the image roots of the file and makes an image,
// a texture and a sprite through their tables.
template <class Check>
void imageCalls(IkwEngine* root, EngineHandle* loader, const std::vector<uint8_t>& png, const Check& check)
{
    uint32_t roots = 0;
    tableOf<IkwLoaderTable>(loader).getRootCount(loader, &roots);
    for (uint32_t i = 2; i < roots; ++i) {
        EngineHandle* h = nullptr;
        EngineHandle* copy = nullptr;
        if (check(tableOf<IkwLoaderTable>(loader).getRoot(loader, i, &h)) && check(tableOf<IkwObject3DTable>(h).duplicate(h, &copy)))
            unknownRelease(copy);
        if (h != nullptr)
            unknownRelease(h);
    }
    EngineHandle* pngLoader = nullptr;
    if (check(root->table->createEngineObject(kIidLoader, &pngLoader))) {
        check(tableOf<IkwLoaderTable>(pngLoader).loadBuffer(pngLoader, static_cast<uint32_t>(png.size()), png.data(), nullptr));
        unknownRelease(pngLoader);
    }
    EngineHandle* made[3] = {};
    const uint32_t kinds[3] = {kIidImage2D, kIidTexture2D, kIidSprite3D};
    for (int i = 0; i < 3; ++i)
        if (!check(root->table->createEngineObject(kinds[i], &made[i])))
            break;
    if (EngineHandle* image = made[0]; made[2] != nullptr) {
        const auto& t = tableOf<IkwImage2DTable>(image);
        const uint8_t pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        check(t.initWithPalette(image, 99, 2, 2, 4, pixels, 6, pixels));
        check(t.init(image, 100, 2, 2));
        check(t.set(image, 0, 0, 2, 2, 16, pixels));
        check(tableOf<IkwTexture2DTable>(made[1]).init(made[1], image));
        check(tableOf<IkwSprite3DTable>(made[2]).init(made[2], 1, image, nullptr));
    }
    for (EngineHandle* h : made)
        if (h != nullptr)
            unknownRelease(h);
}

std::vector<uint8_t> worldFile()
{
    M3gFileWriter writer(M3gFlavour::Own);
    writer.beginSection(kM3gSchemeZlib);
    std::vector<uint32_t> children;
    M3gKeyframeSequenceFields spline;
    spline.interpolation = 178;
    spline.repeatMode = 193;
    spline.encoding = 1;
    spline.validRangeLast = 2;
    spline.componentCount = 3;
    spline.keyframes = {{0, {0, 0, 0}}, {300, {1, 0, 0}}, {600, {0, 1, 0}}};
    const uint32_t sequence = writer.addObject(m3gKeyframeSequenceRecord(spline));
    const uint32_t controller = writer.addObject(m3gAnimationControllerRecord({}));
    const uint32_t track = writer.addObject(m3gAnimationTrackRecord({{}, sequence, controller, 275}));
    for (int32_t i = 0; i < 3; ++i) {
        M3gGroupFields group;
        group.node.transformable.object.userId = 10 + i;
        if (i == 0)
            group.node.transformable.object.animationTracks = {track};
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
    addImageRoots(writer);
    return writer.finish();
}

// Returns whether every call succeeded.
bool runScenario(const std::vector<uint8_t>& file, const std::vector<uint8_t>& png)
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
            imageCalls(root, loader, png, check);
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
    const std::vector<uint8_t> png = pngFile();
    EXPECT_TRUE(runScenario(file, png));
    EXPECT_GT(sweepAllocationFailures([&] { return runScenario(file, png); }), 50);
}

} // namespace
