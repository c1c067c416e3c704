// Shell drawing tests' ground: the sample pack as its manifest makes it
// (with the span programs the drawing context runs on), the library started
// on a test screen, a width x height target and an open drawing context.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/resources/Resource.h"
#include "gfx2d/drawcontext/testing/DrawScene.h"

// The sample pack as its manifest makes it, with the span programs the
// drawing context runs on.
inline std::vector<uint8_t> samplePack()
{
    const std::string folder = std::string(std::getenv("PF_SOURCE_DIR")) + "/tools/samplepack";
    std::ifstream in(folder + "/pennyfall.manifest");
    std::stringstream text;
    text << in.rdbuf() << "spanprograms deflated 4\n";
    PackManifest manifest;
    std::string error;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(parseResourceManifest(text.str(), folder, manifest, error)) << error;
    EXPECT_TRUE(manifest.writer.build(manifest.form, bytes));
    return bytes;
}

struct SamplePackScene {
    ResourcePack pack;
    TestApp app;
    ResourceManager* manager = new ResourceManager();
    TestScreen screen;
    MemorySurface target;
    DrawContext dc;

    SamplePackScene(uint32_t width, uint32_t height)
    {
        app.m_resourceManager = manager;
        EXPECT_EQ(pack.openFile(new MemoryFile(samplePack())), 1);
        EXPECT_EQ(manager->openTable(&pack, 50, 8, true), 1);
        screen.init();
        makeTarget(target, width, height);
        dc.open(0, 0);
        dc.beginDraw();
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
