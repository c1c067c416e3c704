// How fragments are tested and written: depth test and write, colour and
// alpha write, blending, alpha threshold and depth offset. The renderer makes
// default modes of its own with the same constructor.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwCompositingMode : public CkwObject3D {
public:
    static constexpr int32_t kAlpha = 64;
    static constexpr int32_t kAlphaAdd = 65;
    static constexpr int32_t kModulate = 66;
    static constexpr int32_t kModulateX2 = 67;
    static constexpr int32_t kReplace = 68;

    // The factory's creator of class id 6.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassCompositingMode; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // The interface checks blending and threshold; the rest is stored as given.
    void setBlending(int32_t mode) { m_blending = mode; }
    void setAlphaThreshold(float threshold) { m_alphaThreshold = threshold; }
    void setDepthOffset(float factor, float units)
    {
        m_depthOffsetFactor = factor;
        m_depthOffsetUnits = units;
    }
    void setColorWriteEnable(bool enable) { m_colorWrite = enable; }
    void setAlphaWriteEnable(bool enable) { m_alphaWrite = enable; }
    void setDepthTestEnable(bool enable) { m_depthTest = enable; }
    void setDepthWriteEnable(bool enable) { m_depthWrite = enable; }

    int32_t getBlending() const { return m_blending; }
    float getAlphaThreshold() const { return m_alphaThreshold; }
    float getDepthOffsetFactor() const { return m_depthOffsetFactor; }
    float getDepthOffsetUnits() const { return m_depthOffsetUnits; }
    bool isColorWriteEnabled() const { return m_colorWrite; }
    bool isAlphaWriteEnabled() const { return m_alphaWrite; }
    bool isDepthTestEnabled() const { return m_depthTest; }
    bool isDepthWriteEnabled() const { return m_depthWrite; }

private:
    bool m_colorWrite = true;
    bool m_alphaWrite = true;
    bool m_depthTest = true;
    bool m_depthWrite = true;
    int32_t m_blending = kReplace;
    float m_alphaThreshold = 0.0f;
    float m_depthOffsetFactor = 0.0f;
    float m_depthOffsetUnits = 0.0f;
};
