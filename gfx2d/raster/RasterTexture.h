// The software rasterizer's texture object: owns the storage that holds its
// pixels, keeps filter and wrap settings given as GL enumeration values and
// loads itself into a texture unit of the raster state.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"
#include "gfx2d/raster/RasterState.h"

class IdHashMap;

inline constexpr uint32_t kRasterTextureTypeId = 0xFCF6EC76;
inline constexpr int32_t kRasterObjectKind = 2;

// GL enumeration values the texture understands.
inline constexpr int32_t kGlNearest = 9728;
inline constexpr int32_t kGlLinear = 9729;
inline constexpr int32_t kGlNearestMipmapNearest = 9984;
inline constexpr int32_t kGlLinearMipmapNearest = 9985;
inline constexpr int32_t kGlNearestMipmapLinear = 9986;
inline constexpr int32_t kGlLinearMipmapLinear = 9987;
inline constexpr int32_t kGlTextureMagFilter = 10240;
inline constexpr int32_t kGlTextureMinFilter = 10241;
inline constexpr int32_t kGlTextureWrapS = 10242;
inline constexpr int32_t kGlTextureWrapT = 10243;
inline constexpr int32_t kGlRepeat = 10497;
inline constexpr int32_t kGlClampToEdge = 33071;

// What a texture needs of the surface that stores its pixels.
class TextureStorage {
public:
    virtual ~TextureStorage() = default;
    // Plane 0's pixels while the storage is initialised and holds a buffer.
    virtual bool texturePixels(TexturePixels& out) = 0;
};

class RasterTexture : public HashedObject, public TextureLender {
public:
    // Registers itself in `registry` (the screen context's id map) when one
    // is given; the destructor takes the entry out again, and its pixels
    // back from the units that hold them.
    RasterTexture(std::unique_ptr<TextureStorage> storage, IdHashMap* registry);
    ~RasterTexture() override;

    int32_t kind() const { return kRasterObjectKind; }
    // Nothing happens without storage pixels; false then, or when the unit
    // refuses them. The unit holds them while the storage keeps them there.
    bool bindToUnit(RasterState& state, uint32_t unit) const;
    bool stillLends(const uint8_t* pixels, uint32_t bytes, const uint8_t* palette) const override;
    void lendingEnded(const RasterState& state) const override;
    TextureStorage* getSurface() const { return m_storage.get(); }
    // The list form only walks its zero-terminated pairs: it applies nothing.
    void setParameters(const int32_t* pairs);
    void setParameter(int32_t name, int32_t value);
    void setParameterArrays(int32_t count, const int32_t* names, const int32_t* values);

    int32_t filterMode() const { return m_filterMode; }
    int32_t wrapMode() const { return m_wrapMode; }
    int32_t minFilter() const { return m_minFilter; }
    int32_t magFilter() const { return m_magFilter; }

private:
    void onListParameter(int32_t, int32_t) {}

    IdHashMap* m_registry = nullptr;
    // The state whose units hold the pixels; it says when it lets go or goes.
    mutable RasterState* m_lentTo = nullptr;
    uint32_t m_registrationKey = 0;
    std::unique_ptr<TextureStorage> m_storage;
    int32_t m_filterMode = kFilterNearest;
    int32_t m_wrapMode = kWrapClamp;
    int32_t m_minFilter = kGlNearest;
    int32_t m_magFilter = kGlNearest;
};

// Adds a raster object to an id map under `key`, or under a key made from
// the object itself when key is 0. Returns the key, 0 when nothing was added.
uint32_t registerRasterTexture(IdHashMap& map, RasterTexture* texture, uint32_t key);
