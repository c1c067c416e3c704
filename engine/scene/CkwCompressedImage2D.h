// An image whose texel data stays compressed for the rasterizer, with optional
// mipmap levels stored one after another. It has no RGB565 plane: whatever
// reads pixels directly (blits, sprites, quads) sees no image.
#pragma once

#include <cstdint>

#include "engine/scene/CkwImage2D.h"

class CkwCompressedImage2D : public CkwImage2D {
public:
    // The factory's creator of class id 25.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassCompressedImage2D; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // A copy whose stored levels do not number the level count leaves -1300.
    CkwObject3D* duplicate() const override;
    // Level 0; sides that are not powers of two up to 1024 leave -1301.
    void setImageData(int32_t format, int32_t width, int32_t height, int32_t length, int32_t capacity,
                      const uint8_t* bytes) override;
    uint8_t* getPixels() override { return nullptr; }

    // Appends the next level; length above capacity leaves -1301, a level
    // beyond the level count -1300.
    void addLevel(int32_t length, int32_t capacity, const uint8_t* bytes);
    // 1 + the halvings until both sides are 1.
    int32_t getLevelCount() const { return m_levelCount; }
    int32_t getStoredLevelCount() const { return m_levelSizes.count(); }
    // The bytes of a stored level, or null.
    const uint8_t* getLevel(int32_t level, int32_t& length) const;

private:
    int32_t m_levelCount = 0;
    CkwArray<int32_t> m_levelSizes;
};
