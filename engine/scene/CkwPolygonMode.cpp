// Polygon mode: the setters and getters over the flag groups and the file
// data, applied through the same setters.
#include "engine/scene/CkwPolygonMode.h"

#include <cstddef>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"

namespace {

// Clears every bit of the group and sets the one at index, if any.
template <size_t N>
uint32_t chooseInGroup(uint32_t bits, const uint32_t (&group)[N], int32_t index)
{
    for (uint32_t bit : group)
        bits &= ~bit;
    if (index >= 0 && index < static_cast<int32_t>(N))
        bits |= group[index];
    return bits;
}

} // namespace

IkwSerializable* CkwPolygonMode::create() { return new CkwPolygonMode; }

void CkwPolygonMode::setCulling(int32_t mode)
{
    static constexpr uint32_t kGroup[] = {kBitCullBack, kBitCullFront, kBitCullNone};
    m_modeBits = chooseInGroup(m_modeBits, kGroup, mode - kCullBack);
}

void CkwPolygonMode::setWinding(int32_t mode)
{
    static constexpr uint32_t kGroup[] = {kBitWindingCcw, kBitWindingCw};
    m_modeBits = chooseInGroup(m_modeBits, kGroup, mode - kWindingCcw);
}

void CkwPolygonMode::setShading(int32_t mode)
{
    static constexpr uint32_t kGroup[] = {kBitShadeFlat, kBitShadeSmooth};
    m_modeBits = chooseInGroup(m_modeBits, kGroup, mode - kShadeFlat);
}

void CkwPolygonMode::setTwoSidedLightingEnable(bool enable)
{
    m_modeBits &= ~(kBitOneSidedLighting | kBitTwoSidedLighting);
    m_modeBits |= enable ? kBitTwoSidedLighting : kBitOneSidedLighting;
}

int32_t CkwPolygonMode::getCulling() const
{
    if (m_modeBits & kBitCullBack)
        return kCullBack;
    return (m_modeBits & kBitCullFront) ? kCullFront : kCullNone;
}

void CkwPolygonMode::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    m_modeBits = kDefaultBits;
    setCulling(buffer.readByteInRange(kCullBack - 1, kCullNone + 1));
    setShading(buffer.readByteInRange(kShadeFlat - 1, kShadeSmooth + 1));
    setWinding(buffer.readByteInRange(kWindingCcw - 1, kWindingCw + 1));
    setTwoSidedLightingEnable(buffer.readBoolean());
    setLocalCameraLightingEnable(buffer.readBoolean());
    setPerspectiveCorrectionEnable(buffer.readBoolean());
}

CkwObject3D* CkwPolygonMode::duplicate() const
{
    CkwCleanupPtr<CkwPolygonMode> copy(new CkwPolygonMode);
    copy->copyFrom(*this);
    copy->m_modeBits = m_modeBits;
    return copy.release();
}
