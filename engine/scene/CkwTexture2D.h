// A texture: an image applied to a submesh with a blending function, wrapping,
// filtering, a blend colour and the transformable's texture-coordinate
// transform. The image must be a power of two from 1 to 1024 on each side.
#pragma once

#include <cstdint>

#include "engine/core/scene/CkwTransformable.h"
#include "engine/scene/CkwImage2D.h"

constexpr int32_t kTextureFuncAdd = 224;
constexpr int32_t kTextureFuncBlend = 225;
constexpr int32_t kTextureFuncDecal = 226;
constexpr int32_t kTextureFuncModulate = 227;
constexpr int32_t kTextureFuncReplace = 228;
constexpr int32_t kTextureFilterBaseLevel = 208;
constexpr int32_t kTextureFilterLinear = 209;
constexpr int32_t kTextureFilterNearest = 210;
constexpr int32_t kTextureWrapClamp = 240;
constexpr int32_t kTextureWrapRepeat = 241;
constexpr int32_t kTextureMaxSize = 1024;

// Whether size is a power of two from 1 to limit.
inline bool isPowerOfTwoUpTo(int32_t size, int32_t limit) { return size >= 1 && size <= limit && (size & (size - 1)) == 0; }

class CkwTexture2D : public CkwTransformable {
public:
    // The factory's creator of class id 17: no image, MODULATE, repeat, base level, nearest.
    static IkwSerializable* create();

    ~CkwTexture2D() override;

    int32_t getClassId() const override { return kClassTexture2D; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    // 0 the image, then the base's.
    CkwReference getReference(int32_t index) const override;
    int32_t animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // An image whose sides are not powers of two up to 1024 leaves -1301 and
    // keeps the old one; null drops the image.
    void setImage(CkwImage2D* image);
    CkwImage2D* getImage() const { return m_image; }
    // Whether the image still has sides setImage takes (or there is none):
    // an image laid out again keeps its place here at any size.
    bool keepsImageSides() const;
    // The texture-coordinate transform, brought up to date.
    const CkwMatrix& getTransformMatrix() { return updateCompositeTransform(); }

    uint32_t getBlendColor() const { return m_blendColor; }
    void setBlendColor(uint32_t rgb) { m_blendColor = rgb & 0xFFFFFF; }
    int32_t getBlending() const { return m_blending; }
    void setBlending(int32_t function) { m_blending = function; }
    int32_t getWrappingS() const { return m_wrappingS; }
    int32_t getWrappingT() const { return m_wrappingT; }
    void setWrapping(int32_t s, int32_t t)
    {
        m_wrappingS = s;
        m_wrappingT = t;
    }
    int32_t getLevelFilter() const { return m_levelFilter; }
    int32_t getImageFilter() const { return m_imageFilter; }
    void setFiltering(int32_t level, int32_t image)
    {
        m_levelFilter = level;
        m_imageFilter = image;
    }

private:
    uint32_t m_blendColor = 0;
    int32_t m_blending = kTextureFuncModulate;
    CkwImage2D* m_image = nullptr;
    int32_t m_wrappingS = kTextureWrapRepeat;
    int32_t m_wrappingT = kTextureWrapRepeat;
    int32_t m_levelFilter = kTextureFilterBaseLevel;
    int32_t m_imageFilter = kTextureFilterNearest;
};
