// Distance fog: a colour and either an exponential density or a linear
// near/far range; colour, density and distances can be animated.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwFog : public CkwObject3D {
public:
    static constexpr int32_t kExponential = 80;
    static constexpr int32_t kLinear = 81;

    // The factory's creator of class id 7: black linear fog from 0 to 1.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassFog; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // The interface checks mode and density; near may equal far here.
    void setColor(uint32_t rgb) { m_color = rgb & 0xFFFFFF; }
    void setMode(int32_t mode) { m_mode = mode; }
    void setDensity(float density) { m_density = density; }
    void setLinear(float near, float far)
    {
        m_nearDistance = near;
        m_farDistance = far;
    }

    uint32_t getColor() const { return m_color; }
    int32_t getMode() const { return m_mode; }
    float getDensity() const { return m_density; }
    float getNearDistance() const { return m_nearDistance; }
    float getFarDistance() const { return m_farDistance; }

private:
    uint32_t m_color = 0;
    float m_density = 1.0f;
    float m_nearDistance = 0.0f;
    float m_farDistance = 1.0f;
    int32_t m_mode = kLinear;
};
