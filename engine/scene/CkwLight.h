// The node that lights meshes: ambient, directional, omnidirectional or spot,
// with colour, intensity, distance attenuation and a spot cone. The node
// transform gives its position and direction.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwNode.h"

class CkwLight : public CkwNode {
public:
    static constexpr int32_t kAmbient = 128;
    static constexpr int32_t kDirectional = 129;
    static constexpr int32_t kOmni = 130;
    static constexpr int32_t kSpot = 131;

    // The factory's creator of class id 12: a white directional light.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassLight; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // The interface checks the ranges; these store what they are given.
    void setMode(int32_t mode) { m_mode = mode; }
    void setColor(uint32_t rgb) { m_color = rgb & 0xFFFFFF; }
    void setIntensity(float intensity) { m_intensity = intensity; }
    void setSpotAngle(float degrees) { m_spotAngle = degrees; }
    void setSpotExponent(float exponent) { m_spotExponent = exponent; }
    // All three zero leaves -1301 and keeps the old factors.
    void setAttenuation(float constant, float linear, float quadratic);

    int32_t getMode() const { return m_mode; }
    uint32_t getColor() const { return m_color; }
    float getIntensity() const { return m_intensity; }
    float getSpotAngle() const { return m_spotAngle; }
    float getSpotExponent() const { return m_spotExponent; }
    float getConstantAttenuation() const { return m_attenuationConstant; }
    float getLinearAttenuation() const { return m_attenuationLinear; }
    float getQuadraticAttenuation() const { return m_attenuationQuadratic; }

protected:
    CkwNode* copyNode() const override;

private:
    // Never all zero, none negative.
    float m_attenuationConstant = 1.0f;
    float m_attenuationLinear = 0.0f;
    float m_attenuationQuadratic = 0.0f;
    uint32_t m_color = 0xFFFFFF;
    float m_intensity = 1.0f;
    float m_spotAngle = 45.0f;
    float m_spotExponent = 0.0f;
    int32_t m_mode = kDirectional;
};
