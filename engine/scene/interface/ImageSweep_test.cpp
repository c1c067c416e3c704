// Fails the k-th engine allocation for every k across the load of a file with
// every image kind, a texture and a sprite, a PNG load, and image, texture and
// sprite calls: every run ends in success or a failure result, with every
// hooked allocation given back.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/loader/PngTestKit.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/interface/ImageTables.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

std::vector<uint8_t> imagesFile()
{
    M3gFileWriter writer(M3gFlavour::Own);
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
    M3gPlasmaFields plasma;
    plasma.widthExponent = 3;
    plasma.heightExponent = 2;
    plasma.weightsA[8] = 0.5f;
    M3gStagesetFields stageset;
    stageset.image.width = 2;
    stageset.image.pixels.assign(6, 9);
    stageset.depth = {1, 2};
    M3gCompressedImageFields compressed;
    compressed.width = 2;
    compressed.levels = {{1, 2}, {3}};
    // Roots: the sprite (with everything it references) and the three own kinds.
    writer.addObject(m3gSpriteRecord(sprite));
    writer.addObject(m3gPlasmaRecord(plasma));
    writer.addObject(m3gStagesetRecord(stageset));
    writer.addObject(m3gCompressedImageRecord(compressed));
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
    std::vector<EngineHandle*> held;
    for (const std::vector<uint8_t>* bytes : {&file, &png}) {
        EngineHandle* loader = nullptr;
        if (allGood && check(root->table->createEngineObject(kIidLoader, &loader))) {
            const auto& l = tableOf<IkwLoaderTable>(loader);
            uint32_t roots = 0;
            if (check(l.loadBuffer(loader, static_cast<uint32_t>(bytes->size()), bytes->data(), nullptr)))
                l.getRootCount(loader, &roots);
            for (uint32_t i = 0; i < roots; ++i) {
                EngineHandle* h = nullptr;
                if (check(l.getRoot(loader, i, &h)))
                    held.push_back(h);
            }
            unknownRelease(loader);
        }
    }
    EngineHandle* image = nullptr;
    EngineHandle* texture = nullptr;
    EngineHandle* sprite = nullptr;
    if (allGood && check(root->table->createEngineObject(kIidImage2D, &image))
        && check(root->table->createEngineObject(kIidTexture2D, &texture))
        && check(root->table->createEngineObject(kIidSprite3D, &sprite))) {
        const auto& i = tableOf<IkwImage2DTable>(image);
        const uint8_t pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        check(i.initWithPalette(image, 99, 2, 2, 4, pixels, 6, pixels));
        check(i.init(image, 100, 2, 2));
        check(i.set(image, 0, 0, 2, 2, 16, pixels));
        check(tableOf<IkwTexture2DTable>(texture).init(texture, image));
        check(tableOf<IkwSprite3DTable>(sprite).init(sprite, 1, image, nullptr));
        for (EngineHandle* h : held) {
            EngineHandle* copy = nullptr;
            if (check(tableOf<IkwObject3DTable>(h).duplicate(h, &copy)))
                unknownRelease(copy);
        }
    }
    for (EngineHandle* h : {image, texture, sprite})
        if (h != nullptr)
            unknownRelease(h);
    for (EngineHandle* h : held)
        unknownRelease(h);
    root->table->release(root);
    return allGood;
}

TEST(ImageSweep, EveryFailedAllocationEndsInAResultWithoutLeaks)
{
    PngSpec png;
    png.colourType = PNG_COLOR_TYPE_PALETTE;
    png.palette = {{1, 2, 3}, {4, 5, 6}};
    png.alphas = {9};
    png.rows = {0, 1, 1, 0};
    const std::vector<uint8_t> pngBytes = writePng(png);
    const std::vector<uint8_t> file = imagesFile();
    EXPECT_TRUE(runScenario(file, pngBytes));
    EXPECT_GT(sweepAllocationFailures([&] { return runScenario(file, pngBytes); }), 50);
}

} // namespace
