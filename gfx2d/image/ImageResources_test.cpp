#include "gfx2d/image/ImageResources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "gfx2d/image/BmpImage.h"
#include "gfx2d/image/Palette.h"
#include "tests/support/TestApp.h"
#include "tools/image/ImageWriters.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackTool.h"

namespace {

// A pack made by packtool from a manifest, loaded by type word through the
// resource manager.
TEST(ImageResources, PackEntriesLoadAsTheirImageClasses)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("image_resources_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    auto path = [&](const char* name) { return (dir / name).string(); };
    const BmpPicture bmp{3, 2, 8, {0x112233, 0x445566}, {0, 1, 1, 0, 0, 1}, 40, 0};
    ASSERT_TRUE(writeHostFile(path("sprite.bmp"), writeBmp(bmp)));
    ImageBytes chunks = pngChunk("PLTE", {1, 2, 3, 4, 5, 6});
    const ImageBytes alpha = pngChunk("tRNS", {0x40});
    chunks.insert(chunks.end(), alpha.begin(), alpha.end());
    ASSERT_TRUE(writeHostFile(path("colours.pal"), chunks));
    ASSERT_TRUE(writeHostFile(path("raw.pal"), {0x33, 0x22, 0x11, 0x00}));
    ASSERT_TRUE(writeHostFile(path("picture.png"), writePng({1, 1, 8, {0}, {}, {0}, {}, 0})));
    const std::string manifest = "index sorted\n"
                                 "0x101 0x374F8659 deflated 4 restable\n"
                                 "0x03000200 0x107DD145 deflated 4 file sprite.bmp\n"
                                 "0x03000201 0xB717945F plain 4 file sprite.bmp\n"
                                 "0x03000202 0x40546F85 plain 4 file colours.pal\n"
                                 "0x03000203 0x40547DA2 deflated 4 file raw.pal\n"
                                 "0x03000204 0xB7178678 plain 4 file picture.png\n";
    ASSERT_TRUE(writeHostFile(path("pack.txt"), ImageBytes(manifest.begin(), manifest.end())));
    const std::string manifestPath = path("pack.txt"), packPath = path("pack.big");
    const char* argv[] = {"packtool", "build", manifestPath.c_str(), packPath.c_str()};
    ASSERT_EQ(runPackTool(4, argv, stdout, stderr), 0);

    ResourcePack pack;  // outlives the manager the application deletes
    TestApp app;
    auto* manager = new ResourceManager();
    app.m_resourceManager = manager;
    ASSERT_EQ(pack.openFile(HostFile::open(packPath, false)), 1);
    ASSERT_EQ(manager->openTable(&pack, 50, 8, true), 1);
    ASSERT_EQ(registerImageResourceTypes(), 1);

    for (uint32_t id : {0x03000200u, 0x03000201u}) {
        Resource* r = nullptr;
        ASSERT_EQ(manager->load(&r, id, 0, nullptr), 3) << std::hex << id;
        ASSERT_EQ(r->m_typeId, ResourceClassId::BmpImage);
        EXPECT_EQ(r->memorySize(), 88u);
        const BmpImage* image = static_cast<BmpImageResource*>(r)->image();
        const BmpCursor cursor(image, 2, 1);
        EXPECT_EQ(cursor.readIndex(), 1);
        EXPECT_EQ(cursor.readColour(), 0x445566u);
    }
    Resource* r = nullptr;
    ASSERT_EQ(manager->load(&r, 0x03000202, 0, nullptr), 3);
    const Palette* chunked = static_cast<PaletteResource*>(r)->palette();
    ASSERT_EQ(chunked->count(), 2u);
    EXPECT_EQ(chunked->colours()[0], 0x40010203u);
    EXPECT_EQ(chunked->colours()[1], 0xFF040506u);
    EXPECT_EQ(r->memorySize(), 28u);
    ASSERT_EQ(manager->load(&r, 0x03000203, 0, nullptr), 3);
    EXPECT_EQ(static_cast<PaletteResource*>(r)->palette()->colours()[0], 0xFF112233u);
    // The PNG decoder's tag makes a BMP image, which a PNG file is not.
    r = nullptr;
    EXPECT_EQ(manager->load(&r, 0x03000204, 0, nullptr), 0);
    EXPECT_EQ(r, nullptr);
    std::filesystem::remove_all(dir);
}

} // namespace
