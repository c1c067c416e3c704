// How polygons are culled, wound, shaded and lit, held as one word of flag
// bits with exactly one bit set in each of the four exclusive groups.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwPolygonMode : public CkwObject3D {
public:
    static constexpr int32_t kCullBack = 160;
    static constexpr int32_t kCullFront = 161;
    static constexpr int32_t kCullNone = 162;
    static constexpr int32_t kShadeFlat = 164;
    static constexpr int32_t kShadeSmooth = 165;
    static constexpr int32_t kWindingCcw = 168;
    static constexpr int32_t kWindingCw = 169;

    static constexpr uint32_t kBitCullBack = 1;
    static constexpr uint32_t kBitCullFront = 2;
    static constexpr uint32_t kBitCullNone = 4;
    static constexpr uint32_t kBitWindingCcw = 8;
    static constexpr uint32_t kBitWindingCw = 16;
    static constexpr uint32_t kBitShadeFlat = 32;
    static constexpr uint32_t kBitShadeSmooth = 64;
    static constexpr uint32_t kBitOneSidedLighting = 128;
    static constexpr uint32_t kBitTwoSidedLighting = 256;
    static constexpr uint32_t kBitLocalCameraLighting = 512;
    static constexpr uint32_t kBitPerspectiveCorrection = 1024;
    // Cull back, counter-clockwise, smooth, one-sided lighting.
    static constexpr uint32_t kDefaultBits = kBitCullBack | kBitWindingCcw | kBitShadeSmooth | kBitOneSidedLighting;

    // The factory's creator of class id 8.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassPolygonMode; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // The interface refuses values outside each enumeration; here they only
    // clear their group.
    void setCulling(int32_t mode);
    void setWinding(int32_t mode);
    void setShading(int32_t mode);
    void setTwoSidedLightingEnable(bool enable);
    void setLocalCameraLightingEnable(bool enable) { setBit(kBitLocalCameraLighting, enable); }
    void setPerspectiveCorrectionEnable(bool enable) { setBit(kBitPerspectiveCorrection, enable); }

    int32_t getCulling() const;
    int32_t getWinding() const { return (m_modeBits & kBitWindingCcw) ? kWindingCcw : kWindingCw; }
    int32_t getShading() const { return (m_modeBits & kBitShadeFlat) ? kShadeFlat : kShadeSmooth; }
    bool isTwoSidedLightingEnabled() const { return (m_modeBits & kBitTwoSidedLighting) != 0; }
    bool isLocalCameraLightingEnabled() const { return (m_modeBits & kBitLocalCameraLighting) != 0; }
    bool isPerspectiveCorrectionEnabled() const { return (m_modeBits & kBitPerspectiveCorrection) != 0; }
    uint32_t getModeBits() const { return m_modeBits; }

private:
    void setBit(uint32_t bit, bool on) { m_modeBits = on ? (m_modeBits | bit) : (m_modeBits & ~bit); }

    uint32_t m_modeBits = kDefaultBits;
};
