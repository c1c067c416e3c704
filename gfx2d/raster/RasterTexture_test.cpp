// Raster textures: GL parameters to filter and wrap modes, registration in
// the id map, and loading into a texture unit.
#include "gfx2d/raster/RasterTexture.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/services/IdHashMap.h"


namespace {

class BufferStorage : public TextureStorage {
public:
    BufferStorage(RSBFormat format, uint32_t w, uint32_t h, bool ready)
        : m_pixels(static_cast<size_t>(w) * h * bytesPerPixel(format)), m_format(format), m_w(w), m_h(h),
          m_ready(ready)
    {
    }
    bool texturePixels(TexturePixels& out) override
    {
        if (!m_ready)
            return false;
        out = {m_format, m_w, m_h, m_pixels.data(), static_cast<uint32_t>(m_pixels.size())};
        return true;
    }
    std::vector<uint8_t> m_pixels;
    RSBFormat m_format;
    uint32_t m_w, m_h;
    bool m_ready;
};

TEST(RasterTexture, FilterModeFollowsMinificationAndMagnification)
{
    struct Case {
        int32_t minFilter, magFilter, mode;
    };
    const Case cases[] = {
        {kGlNearest, kGlNearest, 0},  {kGlNearest, kGlLinear, 4},         {kGlLinear, kGlNearest, 4},
        {kGlLinear, kGlLinear, 4},    {kGlNearestMipmapNearest, kGlNearest, 1},
        {kGlNearestMipmapNearest, kGlLinear, 3},                          {kGlLinearMipmapNearest, kGlNearest, 2},
        {kGlNearestMipmapLinear, kGlLinear, 5},                           {kGlLinearMipmapLinear, kGlNearest, 6},
        {12345, kGlLinear, 6},  // unknown: unchanged from the case before
    };
    RasterTexture t(nullptr, nullptr);
    EXPECT_EQ(t.m_typeId, kRasterTextureTypeId);
    EXPECT_EQ(t.kind(), 2);
    EXPECT_EQ(t.filterMode(), 0);
    EXPECT_EQ(t.wrapMode(), kWrapClamp);
    EXPECT_EQ(t.minFilter(), kGlNearest);
    for (const Case& c : cases) {
        t.setParameter(kGlTextureMagFilter, c.magFilter);
        t.setParameter(kGlTextureMinFilter, c.minFilter);
        EXPECT_EQ(t.filterMode(), c.mode) << c.minFilter << " " << c.magFilter;
    }
    t.setParameter(kGlTextureWrapS, kGlRepeat);
    EXPECT_EQ(t.wrapMode(), kWrapRepeat);
    t.setParameter(kGlTextureWrapT, 1234);
    EXPECT_EQ(t.wrapMode(), kWrapRepeat);
    const int32_t names[] = {kGlTextureWrapT, kGlTextureMinFilter};
    const int32_t values[] = {kGlClampToEdge, kGlNearest};
    t.setParameterArrays(2, names, values);
    EXPECT_EQ(t.wrapMode(), kWrapClamp);
    EXPECT_EQ(t.filterMode(), 4);  // nearest min, linear mag
    const int32_t list[] = {kGlTextureWrapS, kGlRepeat, 0};
    t.setParameters(list);
    EXPECT_EQ(t.wrapMode(), kWrapClamp);
}

TEST(RasterTexture, RegistersItselfAndLoadsIntoAUnit)
{
    IdHashMap map;
    ASSERT_EQ(map.init(100, 50, true), 1);
    auto state = std::make_unique<RasterState>();
    state->init(0);
    uint32_t key = 0;
    SpanAddress level = 0;
    {
        auto storage = std::make_unique<BufferStorage>(PixelFormat::R5G6B5, 16, 4, true);
        BufferStorage* raw = storage.get();
        RasterTexture t(std::move(storage), &map);
        key = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&t));
        void* found = nullptr;
        ASSERT_EQ(map.find(key, &found), 1);
        EXPECT_EQ(found, &t);
        EXPECT_EQ(t.getSurface(), raw);

        t.bindToUnit(*state, 3);
        const TextureUnit& u = state->block().texture_units[3];
        EXPECT_EQ(u.b.format, PixelFormat::R5G6B5);
        EXPECT_EQ(u.b.width, 16);
        EXPECT_EQ(u.b.height, 4);
        EXPECT_EQ(u.b.maxD, 1);
        EXPECT_EQ(u.width_log2, 4);
        EXPECT_EQ(u.height_log2, 2);
        EXPECT_EQ(u.bpp, 2);
        EXPECT_EQ(u.cpp, 3);
        EXPECT_EQ(u.filter_mode, 5);
        EXPECT_EQ(u.texmode, 1);
        EXPECT_EQ(state->addressSpace().translate(u.b.levels[0] + 126, 2), raw->m_pixels.data() + 126);
        EXPECT_EQ(state->addressSpace().translate(u.b.levels[0] + 127, 2), nullptr);
        EXPECT_EQ(state->sampler(3).levels[0], raw->m_pixels.data());
        state->unbindTextureUnit(3);

        // Storage without pixels, or fewer bytes than the size says: no bind.
        raw->m_ready = false;
        t.bindToUnit(*state, 3);
        EXPECT_EQ(u.b.format, 0u);
        raw->m_ready = true;
        raw->m_pixels.resize(100);
        t.bindToUnit(*state, 3);
        EXPECT_EQ(u.b.format, 0u);

        // A unit lets go of pixels the storage moved, and of all when the texture goes.
        raw->m_pixels.resize(128);
        t.bindToUnit(*state, 2);
        raw->m_pixels = std::vector<uint8_t>(128);
        state->refreshTextureUnits();
        EXPECT_EQ(state->sampler(2).levelCount, 0);
        t.bindToUnit(*state, 2);
        level = state->block().texture_units[2].b.levels[0];
        EXPECT_EQ(state->sampler(2).levelCount, 1);
    }
    EXPECT_EQ(map.find(key), 0);  // gone with the texture
    EXPECT_EQ(state->addressSpace().translate(level, 1), nullptr);
    EXPECT_EQ(state->sampler(2).levelCount, 0);
    RasterTexture first(std::make_unique<BufferStorage>(PixelFormat::R5G6B5, 16, 4, true), nullptr);
    EXPECT_TRUE(first.bindToUnit(*state, 1));
    state.reset();  // a state that goes before the texture: its end reaches nothing freed
}

}  // namespace
