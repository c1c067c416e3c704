// The lighting colours of a surface: ambient, diffuse (the one colour with
// alpha), emissive and specular, the shininess and whether vertex colours
// stand in for the material's.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwMaterial : public CkwObject3D {
public:
    // Colour targets, combinable as a mask.
    static constexpr int32_t kAmbient = 1024;
    static constexpr int32_t kDiffuse = 2048;
    static constexpr int32_t kEmissive = 4096;
    static constexpr int32_t kSpecular = 8192;
    static constexpr int32_t kAllTargets = kAmbient | kDiffuse | kEmissive | kSpecular;

    // The factory's creator of class id 13.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassMaterial; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // Sets every target in the mask: diffuse takes all 32 bits, the others
    // the low 24. An empty mask or a bit outside the targets leaves -1301.
    void setColor(int32_t targets, uint32_t argb);
    // The colour of one target; 0 for anything else.
    uint32_t getColor(int32_t target) const;
    // The interface checks 0..128.
    void setShininess(float shininess) { m_shininess = shininess; }
    float getShininess() const { return m_shininess; }
    void setVertexColorTrackingEnable(bool enable) { m_vertexColorTracking = enable; }
    bool isVertexColorTrackingEnabled() const { return m_vertexColorTracking; }

private:
    uint32_t m_ambientColor = 0x333333;
    uint32_t m_diffuseColor = 0xFFCCCCCC;
    uint32_t m_emissiveColor = 0;
    uint32_t m_specularColor = 0;
    bool m_vertexColorTracking = false;
    float m_shininess = 0.0f;
};
