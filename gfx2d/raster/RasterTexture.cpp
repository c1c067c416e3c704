// Raster texture: parameters, registration and binding to a texture unit.
#include "gfx2d/raster/RasterTexture.h"

#include <cstdint>

#include "framework/services/IdHashMap.h"


uint32_t registerRasterTexture(IdHashMap& map, RasterTexture* texture, uint32_t key)
{
    if (!texture || texture->kind() != kRasterObjectKind)
        return 0;
    if (key == 0)
        key = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture));
    return map.insert(key, texture) ? key : 0;
}

RasterTexture::RasterTexture(std::unique_ptr<TextureStorage> storage, IdHashMap* registry)
    : HashedObject(kRasterTextureTypeId), m_storage(std::move(storage))
{
    if (registry && (m_registrationKey = registerRasterTexture(*registry, this, 0)) != 0)
        m_registry = registry;
}

RasterTexture::~RasterTexture()
{
    // A map entry must not outlive the texture it points at.
    if (m_registry)
        m_registry->removeValue(m_registrationKey, this);
    if (m_lentTo)
        m_lentTo->releasePixels(this);
}

bool RasterTexture::bindToUnit(RasterState& state, uint32_t unit) const
{
    TexturePixels px;
    if (!m_storage || !m_storage->texturePixels(px))
        return false;
    // One state holds the pixels at a time, so the destructor knows where.
    if (m_lentTo && m_lentTo != &state)
        m_lentTo->releasePixels(this);
    px.lender = this;
    if (!state.bindTexturePixels(unit, px))
        return false;
    m_lentTo = &state;
    return true;
}

void RasterTexture::lendingEnded(const RasterState& state) const
{
    if (m_lentTo == &state)
        m_lentTo = nullptr;
}

bool RasterTexture::stillLends(const uint8_t* pixels, uint32_t bytes, const uint8_t* palette) const
{
    TexturePixels px;
    return m_storage && m_storage->texturePixels(px) && px.pixels == pixels && px.bytes == bytes &&
           px.palette == palette;
}

void RasterTexture::setParameters(const int32_t* pairs)
{
    for (; pairs && pairs[0] != 0; pairs += 2)
        onListParameter(pairs[0], pairs[1]);
}

void RasterTexture::setParameter(int32_t name, int32_t value)
{
    switch (name) {
    case kGlTextureMagFilter:
    case kGlTextureMinFilter: {
        (name == kGlTextureMagFilter ? m_magFilter : m_minFilter) = value;
        const bool magLinear = m_magFilter == kGlLinear, magNearest = m_magFilter == kGlNearest;
        switch (m_minFilter) {
        case kGlNearest:
            if (magNearest)
                m_filterMode = kFilterNearest;
            else if (magLinear)
                m_filterMode = kFilterBilinear;
            break;
        case kGlLinear: m_filterMode = kFilterBilinear; break;
        case kGlNearestMipmapNearest:
            if (magNearest)
                m_filterMode = kFilterNearestLevel;
            else if (magLinear)
                m_filterMode = kFilterBilinearOrNearest;
            break;
        case kGlLinearMipmapNearest: m_filterMode = kFilterNearestBlend; break;
        case kGlNearestMipmapLinear: m_filterMode = kFilterBilinearLevel; break;
        case kGlLinearMipmapLinear: m_filterMode = kFilterTrilinear; break;
        default: break;
        }
        return;
    }
    case kGlTextureWrapS:
    case kGlTextureWrapT:
        // One wrap mode serves both directions.
        if (value == kGlRepeat)
            m_wrapMode = kWrapRepeat;
        else if (value == kGlClampToEdge)
            m_wrapMode = kWrapClamp;
        return;
    default: return;
    }
}

void RasterTexture::setParameterArrays(int32_t count, const int32_t* names, const int32_t* values)
{
    for (int32_t i = 0; i < count && names && values; ++i)
        setParameter(names[i], values[i]);
}
