// Test helpers for loads through the engine's interface: a started engine
// whose factory makes the parser's test objects and a pixel-importing image,
// and writers for the small scenes and PNG images the tests load.
#pragma once

#include <cstdint>
#include <png.h>
#include <string>
#include <vector>

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/loader/CkwPngImage.h"
#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/loader/PngTestKit.h"
#include "engine/core/loader/SerializeTestKit.h"
#include "tools/m3g/M3gFileWriter.h"

class TestImage : public IkwSerializable, public IkwPixelImport {
public:
    static IkwSerializable* create() { return new TestImage; }
    int32_t getClassId() const override { return kClassImage2D; }
    void importPixels(int32_t f, uint32_t w, uint32_t h, const uint8_t* pixels) override
    {
        format = f;
        width = w;
        height = h;
        firstPixel = pixels[0];
    }
    void importPalettized(int32_t f, uint32_t w, uint32_t h, const uint8_t* indices, uint32_t, const uint8_t*) override
    {
        importPixels(f, w, h, indices);
    }
    int32_t format = 0;
    uint32_t width = 0, height = 0;
    uint8_t firstPixel = 0;
};

// A TestObject that holds counted references, as scene objects do, so what it
// refers to outlives the nested loader that made it. Each reference is
// counted as it is stored, so a record that leaves midway releases exactly
// what it holds.
class HoldingObject : public TestObject {
public:
    static IkwSerializable* create() { return new HoldingObject; }
    HoldingObject() : TestObject(9) {}
    ~HoldingObject() override
    {
        for (IkwSerializable* object : references)
            if (object != nullptr)
                object->release();
    }

protected:
    void keepReference(IkwSerializable* object) override
    {
        references.push_back(object);
        if (object != nullptr)
            object->addRef();
    }
};

// The root interface, initialised, with the test creators in its factory.
class InterfaceEngine {
public:
    explicit InterfaceEngine(EngineAllocHook alloc = nullptr, EngineFreeHook free = nullptr)
    {
        initEngineApi(&m_root);
        m_ready = m_root->table->initialize(m_root, alloc, free) == 0;
        if (m_ready) {
            registerCreators(*engineContext()->factory, std::make_integer_sequence<int32_t, 25>());
            engineContext()->factory->registerCreator(kClassGroup, &HoldingObject::create);
            engineContext()->factory->registerCreator(kClassImage2D, &TestImage::create);
        }
    }
    ~InterfaceEngine() { m_root->table->release(m_root); }
    bool ready() const { return m_ready; }
    const IkwEngineTable& api() const { return *m_root->table; }

private:
    template <int32_t... Ids>
    static void registerCreators(CkwObjectFactory& factory, std::integer_sequence<int32_t, Ids...>)
    {
        (factory.registerCreator(Ids + 1, &createTestObject<Ids + 1>), ...);
    }
    IkwEngine* m_root = nullptr;
    bool m_ready = false;
};

// A TestObject record: user id, object references, floats of 1.0.
inline M3gRecord testRecord(int32_t userId, std::vector<uint32_t> references = {}, uint8_t type = 9,
                            uint32_t floats = 0)
{
    M3gRecordWriter w;
    w.int32(userId).uint32(static_cast<uint32_t>(references.size()));
    for (uint32_t r : references)
        w.objectIndex(r);
    w.floatArray(std::vector<float>(floats, 1.0f));
    return w.record(type);
}

// One root with userId referencing each external file in turn; padding
// floats put it in a deflated section.
inline std::vector<uint8_t> sceneReferencing(int32_t userId, const std::vector<std::string>& uris,
                                             M3gFlavour flavour = M3gFlavour::M3g, uint32_t padding = 0)
{
    M3gFileWriter writer(flavour);
    std::vector<uint32_t> indices;
    for (const std::string& uri : uris)
        indices.push_back(writer.addExternalReference(uri));
    if (padding != 0)
        writer.beginSection(kM3gSchemeZlib);
    writer.addObject(testRecord(userId, indices, 9, padding));
    return writer.finish();
}

inline std::vector<uint8_t> pngBytes(uint32_t width, uint32_t height, int colourType, uint8_t value)
{
    PngSpec spec;
    spec.width = width;
    spec.height = height;
    spec.colourType = colourType;
    const int channels = colourType == PNG_COLOR_TYPE_RGBA ? 4 : colourType == PNG_COLOR_TYPE_RGB ? 3 : 1;
    spec.rows.assign(size_t{width} * channels * height, value);
    return writePng(spec);
}
