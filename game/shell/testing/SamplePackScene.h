// Shell drawing tests' ground: the sample pack as its manifest makes it, or
// a pack of the test's own (with the span programs the drawing context runs
// on), the library started on a test screen, a width x height target and an
// open drawing context.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/resources/Resource.h"
#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "tools/font/FontWriter.h"

// A pack from manifest text (files relative to folder), with the span
// programs the drawing context runs on.
inline std::vector<uint8_t> packFromManifest(const std::string& text, const std::string& folder = "")
{
    PackManifest manifest;
    std::string error;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(parseResourceManifest(text + "spanprograms deflated 4\n", folder, manifest, error)) << error;
    EXPECT_TRUE(manifest.writer.build(manifest.form, bytes));
    return bytes;
}

// The sample pack as its manifest makes it.
inline std::vector<uint8_t> samplePack()
{
    const std::string folder = std::string(std::getenv("PF_SOURCE_DIR")) + "/tools/samplepack";
    std::ifstream in(folder + "/pennyfall.manifest");
    std::stringstream text;
    text << in.rdbuf();
    return packFromManifest(text.str(), folder);
}

struct SamplePackScene {
    ResourcePack pack;
    TestApp app;
    ResourceManager* manager = new ResourceManager();
    TestScreen screen;
    MemorySurface target;
    DrawContext dc;

    SamplePackScene(uint32_t width, uint32_t height, std::vector<uint8_t> bytes = samplePack())
    {
        app.m_resourceManager = manager;
        EXPECT_EQ(pack.openFile(new MemoryFile(std::move(bytes))), 1);
        EXPECT_EQ(manager->openTable(&pack, 50, 8, true), 1);
        screen.init();
        makeTarget(target, width, height);
        dc.open(0, 0);
        dc.beginDraw();
        // As the game draws: the key colour is left out.
        dc.enable(DrawGroup::ColourKey);
    }
    ~SamplePackScene()
    {
        dc.endDraw();
        dc.close(0, 0);
    }
    uint32_t refs(uint32_t id)
    {
        Resource* r = manager->held(id);
        return r ? r->refCount() : 0;
    }
};

// Reference of a sample font's text: the alphabet's rows in the ink, pens
// 3 + 1 apart, a space moving 2 + 1.
inline void paintSampleText(std::vector<uint32_t>& px, int width, const std::u16string& text, int x, int y,
                            uint32_t ink)
{
    for (char16_t c : text) {
        if (c != u' ') {
            const uint8_t* rows = sheetGlyphRows(c);
            for (int gy = 0; gy < 5; ++gy)
                for (int gx = 0; gx < 3; ++gx)
                    if ((rows[gy] >> (2 - gx)) & 1)
                        px[size_t(y + gy) * width + x + gx] = 0xFF000000u | ink;
        }
        x += c == u' ' ? 3 : 4;
    }
}

// The target's pixels, opaque.
inline std::vector<uint32_t> scenePixels(SamplePackScene& scene, int width, int height)
{
    const uint32_t* pixels = targetPixels(scene.target);
    std::vector<uint32_t> out(pixels, pixels + size_t(width) * height);
    for (uint32_t& p : out)
        p |= 0xFF000000u;
    return out;
}
