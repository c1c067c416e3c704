// The blitter table and the library's registered loops, in search order.
#include "gfx2d/blit/BlitterRegistry.h"

#include <new>

#include "framework/services/ServiceAccessors.h"
#include "gfx2d/blit/internal/ImageCopyLoops.h"
#include "gfx2d/blit/internal/ShapeLoops.h"
#include "gfx2d/blit/internal/StreamLoops.h"

BlitterRegistry* BlitterRegistry::instance()
{
    return static_cast<BlitterRegistry*>(findOrCreateService(
        kBlitterRegistryServiceId, [] { return static_cast<HashedObject*>(new (std::nothrow) BlitterRegistry()); }));
}

int BlitterRegistry::add(RSBFormat sourceFormat, RSBFormat destFormat, uint32_t keyMode, uint32_t alphaTest,
                         uint32_t blendMode, uint32_t operation, BlitFunction function)
{
    BlitterRegistry* registry = instance();
    if (registry == nullptr || registry->m_count == kCapacity)
        return 0;
    registry->m_entries[registry->m_count++] =
        BlitKey{sourceFormat, destFormat, keyMode, alphaTest, blendMode, operation, function};
    return 1;
}

int BlitterRegistry::find(BlitKey& query) const
{
    // Callers' finer blend modes share the loops of their family.
    uint32_t blend = query.blendMode;
    if (blend == 2 || blend == 5)
        blend = BlitBlendMode::ConstantAlpha;
    else if (blend == 4)
        blend = BlitBlendMode::ColourAlpha;
    for (uint32_t i = 0; i < m_count; ++i) {
        const BlitKey& e = m_entries[i];
        if ((e.sourceFormat == query.sourceFormat || e.sourceFormat == PixelFormat::Match) &&
            e.destFormat == query.destFormat && e.keyMode == query.keyMode && e.alphaTest == query.alphaTest &&
            e.blendMode == blend && e.operation == query.operation) {
            query.function = e.function;
            return 1;
        }
    }
    query.function = nullptr;
    return 0;
}

BlitFunction findBlitter(BlitKey& query)
{
    BlitterRegistry* registry = BlitterRegistry::instance();
    if (registry == nullptr) {
        query.function = nullptr;
        return nullptr;
    }
    registry->find(query);
    return query.function;
}

namespace {

using namespace PixelFormat;
constexpr RSBFormat kIndex4 = P4X8R8G8B8;
constexpr uint32_t kNone = BlitKeyMode::None, kJob = BlitKeyMode::JobKey, kFixed = BlitKeyMode::FixedKey;
constexpr uint32_t kOpaque = BlitBlendMode::Opaque, kConst = BlitBlendMode::ConstantAlpha,
                   kOwn = BlitBlendMode::ColourAlpha;
constexpr uint32_t kCopy = BlitOperation::ImageCopy, kLine = BlitOperation::Line,
                   kStream = BlitOperation::StreamConversion, kFill = BlitOperation::RectangleFill;

const BlitKey kBuiltIns[] = {
    {R5G6B5, R5G6B5, kNone, 0, kOpaque, kCopy, copyImage<Px565, Px565, false, false>},
    {R5G6B5, R5G6B5, kFixed, 0, kOpaque, kCopy, copyImage<Px565, Px565, true, false>},
    {R5G6B5, R5G6B5, kFixed, 0, kConst, kCopy, copyImage<Px565, Px565, true, true>},
    {P8X8R8G8B8, R5G6B5, kNone, 0, kOpaque, kCopy, copyImage<PxP8, Px565, false, false>},
    {P8X8R8G8B8, R5G6B5, kFixed, 0, kOpaque, kCopy, copyImage<PxP8, Px565, true, false>},
    {P8X8R8G8B8, R5G6B5, kFixed, 0, kConst, kCopy, copyImage<PxP8, Px565, true, true>},
    {X8R8G8B8, X8R8G8B8, kNone, 0, kOpaque, kCopy, copyImage<PxX888, PxX888, false, false>},
    {X8R8G8B8, X8R8G8B8, kFixed, 0, kOpaque, kCopy, copyImage<PxX888, PxX888, true, false>},
    {X8R8G8B8, X8R8G8B8, kFixed, 0, kConst, kCopy, copyImage<PxX888, PxX888, true, true>},
    {P8X8R8G8B8, X8R8G8B8, kNone, 0, kOpaque, kCopy, copyImage<PxP8, PxX888, false, false>},
    {P8X8R8G8B8, X8R8G8B8, kFixed, 0, kOpaque, kCopy, copyImage<PxP8, PxX888, true, false>},
    {P8X8R8G8B8, X8R8G8B8, kFixed, 0, kConst, kCopy, copyImage<PxP8, PxX888, true, true>},
    {Match, R5G6B5, kNone, 0, kOpaque, kLine, drawLine<Px565, false, false>},
    {Match, R5G6B5, kNone, 1, kOpaque, kLine, drawLine<Px565, true, false>},
    {Match, R5G6B5, kNone, 1, kOwn, kLine, drawLine<Px565, true, true>},
    {Match, X8R8G8B8, kNone, 0, kOpaque, kLine, drawLine<PxX888, false, false>},
    {Match, X8R8G8B8, kNone, 1, kOpaque, kLine, drawLine<PxX888, true, false>},
    {Match, X8R8G8B8, kNone, 1, kOwn, kLine, drawLine<PxX888, true, true>},
    {Match, R5G6B5, kNone, 0, kOpaque, kFill, fillRect<Px565, false, false>},
    {Match, R5G6B5, kNone, 1, kOpaque, kFill, fillRect<Px565, true, false>},
    {Match, R5G6B5, kNone, 1, kOwn, kFill, fillRect<Px565, true, true>},
    {Match, X8R8G8B8, kNone, 0, kOpaque, kFill, fillRect<PxX888, false, false>},
    {Match, X8R8G8B8, kNone, 1, kOpaque, kFill, fillRect<PxX888, true, false>},
    {Match, X8R8G8B8, kNone, 1, kOwn, kFill, fillRect<PxX888, true, true>},
    {R8G8B8, R5G6B5, kNone, 0, kOpaque, kStream, convertStream<StreamRgb, Out565, false>},
    {kIndex4, R5G6B5, kNone, 0, kOpaque, kStream, convertStream<StreamIndex4, Out565, false>},
    {P8X8R8G8B8, R5G6B5, kNone, 0, kOpaque, kStream, convertStream<StreamIndex8, Out565, false>},
    // The 8-bit loop serves a keyed query too, without applying the key.
    {P8X8R8G8B8, R5G6B5, kJob, 0, kOpaque, kStream, convertStream<StreamIndex8, Out565, false>},
    {kIndex4, A1R5G5B5, kJob, 0, kOpaque, kStream, convertStream<StreamIndex4, Out1555, true>},
    {P8X8R8G8B8, A1R5G5B5, kJob, 0, kOpaque, kStream, convertStream<StreamIndex8, Out1555, true>},
    {P8X8R8G8B8, A4R4G4B4, kJob, 0, kOpaque, kStream, convertStream<StreamIndex8, Out4444, true>},
    {kIndex4, X14R6G6B6, kNone, 0, kOpaque, kStream, convertStream<StreamIndex4, Out666, false>},
    {P8X8R8G8B8, X14R6G6B6, kNone, 0, kOpaque, kStream, convertStream<StreamIndex8, Out666, false>},
    {R8G8B8, X8R8G8B8, kNone, 0, kOpaque, kStream, convertStream<StreamRgb, OutX888, false>},
    {kIndex4, X8R8G8B8, kNone, 0, kOpaque, kStream, convertStream<StreamIndex4, OutX888, false>},
    {P8X8R8G8B8, X8R8G8B8, kNone, 0, kOpaque, kStream, convertStream<StreamIndex8, OutX888, false>},
    {kIndex4, P8X8R8G8B8, kNone, 0, kOpaque, kStream, convertStream<StreamIndex4, OutIndex8, false>},
    {P8X8R8G8B8, P8X8R8G8B8, kNone, 0, kOpaque, kStream, convertStream<StreamIndex8, OutIndex8, false>},
};

} // namespace

int registerBlitters()
{
    BlitterRegistry* registry = BlitterRegistry::instance();
    if (registry == nullptr)
        return 0;
    if (registry->m_builtInsAdded)
        return 1;
    for (const BlitKey& k : kBuiltIns)
        if (!BlitterRegistry::add(k.sourceFormat, k.destFormat, k.keyMode, k.alphaTest, k.blendMode, k.operation,
                                  k.function))
            return 0;
    registry->m_builtInsAdded = 1;
    return 1;
}
