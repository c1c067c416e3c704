// Test helpers of the image classes: loading writer-made records and reading
// an image's planes back as vectors.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/scene/CkwImage2D.h"
#include "engine/scene/SceneTestKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"

// Loads the records build adds, in the engine's own flavour; the last root is
// held by test and returned in *out. Returns the load's code (-1: loaded).
inline int32_t loadRecords(SceneTest& test, const std::function<void(M3gFileWriter&)>& build, CkwObject3D** out = nullptr)
{
    M3gFileWriter writer(M3gFlavour::Own);
    build(writer);
    CkwSerializeObjectsIn parser;
    const int32_t code = loadFile(parser, writer.finish());
    if (code == -1 && out != nullptr && parser.roots().count() > 0)
        *out = test.hold(dynamic_cast<CkwObject3D*>(parser.objectAt(parser.roots()[parser.roots().count() - 1])));
    return code;
}

// The record's data read as the loader would (SceneTestKit's readRecord).
inline int32_t readRecord(CkwObject3D& target, const M3gRecord& record, const std::vector<CkwObject3D*>& earlier = {})
{
    return readRecord(target, record.data, earlier);
}

// The colour plane of a direct image, or the index bytes of a palette image
// widened to 16 bits.
inline std::vector<uint16_t> colours(CkwImage2D& image)
{
    const int32_t count = image.getWidth() * image.getHeight();
    if (image.getPixels() == nullptr)
        return {};
    if (image.hasPalette())
        return std::vector<uint16_t>(image.getPixels(), image.getPixels() + count);
    const auto* p = reinterpret_cast<const uint16_t*>(image.getPixels());
    return std::vector<uint16_t>(p, p + count);
}

inline std::vector<uint8_t> alphas(CkwImage2D& image, int32_t count)
{
    const uint8_t* p = image.getAlphaPlane();
    return p == nullptr ? std::vector<uint8_t>{} : std::vector<uint8_t>(p, p + count);
}
