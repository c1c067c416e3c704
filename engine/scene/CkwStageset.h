// A pre-rendered backdrop with depth: an image plus one 16-bit value per pixel
// that, scaled and offset, gives the eye-space distance of the scenery there
// (0: nothing, far away). The renderer converts the values once into depth
// buffer values and then copies colour and depth in one block each.
#pragma once

#include <cstdint>

#include "engine/scene/CkwImage2D.h"

class CkwCamera;

class CkwStageset : public CkwImage2D {
public:
    // The factory's creator of class id 24: an empty RGB image, no depth,
    // scale 1, offset 0.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassStageset; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // A mutable white RGB image and a depth map of 0xFFFF.
    void initBlank(int32_t width, int32_t height);
    // width x height RGB pixels, then width x height little-endian depth
    // values; data shorter than 5 bytes a pixel leaves -1301.
    void initWithData(int32_t width, int32_t height, int32_t length, const uint8_t* data);
    // As set, with the rectangle's depth values after its pixels.
    void setWithDepth(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length, const uint8_t* data);

    // Converts the stored values into depth-buffer values for the camera's
    // projection and clipping distances, once: later calls do nothing. Without
    // a camera nothing happens.
    void prepareDepthMap(const CkwCamera* camera);

    // width x height values, whatever initialised the image part.
    const uint16_t* getDepthMap();
    // The map as a render target's depth buffer: what is drawn writes
    // depth-buffer values, so the map counts as converted from then on.
    uint16_t* bindDepthTarget();
    bool isDepthMapUnconverted() const { return m_unconverted; }
    float getDepthScale() const { return m_depthScale; }
    void setDepthScale(float scale) { m_depthScale = scale; }
    float getDepthOffset() const { return m_depthOffset; }
    void setDepthOffset(float offset) { m_depthOffset = offset; }

private:
    void sizeDepthMap(uint16_t fill);
    // An image re-laid out through the plain image calls gets a far depth map
    // of its new size, so the map never lags behind the pixels.
    void matchDepthMap();

    CkwArray<uint16_t> m_depthMap;
    float m_depthScale = 1.0f;
    float m_depthOffset = 0.0f;
    bool m_unconverted = true;
};
