// Stageset: the depth map beside the image, its conversion to depth-buffer
// values and the stageset's file data.
#include "engine/scene/CkwStageset.h"

#include <algorithm>
#include <cstring>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwCamera.h"

namespace {

uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

} // namespace

IkwSerializable* CkwStageset::create() { return new CkwStageset; }

void CkwStageset::sizeDepthMap(uint16_t fill)
{
    const int32_t count = CkwImage2D::getWidth() * CkwImage2D::getHeight();
    m_depthMap.setCount(count);
    std::fill(m_depthMap.begin(), m_depthMap.end(), fill);
    // A map made anew holds stored values, whatever an earlier map became.
    m_unconverted = true;
}

void CkwStageset::matchDepthMap()
{
    if (m_depthMap.count() != CkwImage2D::getWidth() * CkwImage2D::getHeight())
        sizeDepthMap(0xFFFF);
}

const uint16_t* CkwStageset::getDepthMap()
{
    matchDepthMap();
    return m_depthMap.data();
}

uint16_t* CkwStageset::bindDepthTarget()
{
    matchDepthMap();
    m_unconverted = false;
    return m_depthMap.data();
}

void CkwStageset::initBlank(int32_t width, int32_t height)
{
    CkwImage2D::initBlank(kImageFormatRgb, width, height, false);
    sizeDepthMap(0xFFFF);
}

void CkwStageset::initWithData(int32_t width, int32_t height, int32_t length, const uint8_t* data)
{
    CkwImage2D::initWithData(kImageFormatRgb, width, height, length, data);
    const int64_t pixels = int64_t{width} * height;
    if (length < pixels * 5)
        leave(KErrIllegalArgument);
    sizeDepthMap(0);
    const uint8_t* depth = data + pixels * 3;
    for (int64_t i = 0; i < pixels; ++i)
        m_depthMap[static_cast<int32_t>(i)] = loadU16(depth + i * 2);
}

void CkwStageset::setWithDepth(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length,
                               const uint8_t* data)
{
    const int32_t bytesPerPixel = imageBytesPerPixel(getFormat());
    checkRectangle(x, y, width, height, length, bytesPerPixel);
    const int64_t pixels = int64_t{width} * height;
    if (length < pixels * (bytesPerPixel + 2))
        leave(KErrIllegalArgument);
    matchDepthMap();
    set(x, y, width, height, length, data);
    const uint8_t* depth = data + pixels * bytesPerPixel;
    const int32_t imageWidth = CkwImage2D::getWidth();
    for (int32_t row = 0; row < height; ++row)
        for (int32_t column = 0; column < width; ++column)
            m_depthMap[(y + row) * imageWidth + x + column] = loadU16(depth + (int64_t{row} * width + column) * 2);
}

void CkwStageset::prepareDepthMap(const CkwCamera* camera)
{
    // Matched first: a map made anew here holds stored values to convert, once.
    matchDepthMap();
    if (!m_unconverted || camera == nullptr)
        return;
    m_unconverted = false;
    const int32_t projection = camera->getProjectionKind();
    if (projection != CkwCamera::kParallel && projection != CkwCamera::kPerspective)
        return;
    const bool parallel = projection == CkwCamera::kParallel;
    const float nearDistance = camera->getNear();
    const float farDistance = camera->getFar();
    const float k = parallel ? 4095.0f / (farDistance - nearDistance)
                             : farDistance * 4095.0f / (farDistance - nearDistance);
    for (uint16_t& value : m_depthMap) {
        float z = value == 0 ? farDistance : static_cast<float>(value) * m_depthScale + m_depthOffset;
        z = std::min(std::max(z, nearDistance), farDistance);
        const float depth = parallel ? (z - nearDistance) * k : (1.0f - nearDistance / z) * k;
        value = static_cast<uint16_t>(static_cast<uint32_t>(saturateToInt(depth * 65536.0f)) >> 12);
    }
}

void CkwStageset::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwImage2D::deserialize(buffer);
    m_depthOffset = buffer.readFloat();
    m_depthScale = buffer.readFloat();
    if (isMutable()) {
        buffer.chargeMadeBytes(uint64_t(CkwImage2D::getWidth()) * CkwImage2D::getHeight() * 2);
        sizeDepthMap(0xFFFF);
        return;
    }
    const int32_t count = CkwImage2D::getWidth() * CkwImage2D::getHeight();
    buffer.readUInt16Array(m_depthMap, count);
}

CkwObject3D* CkwStageset::duplicate() const
{
    CkwCleanupPtr<CkwStageset> copy(new CkwStageset);
    copy->copyImageFrom(*this);
    copy->m_depthMap.setCount(m_depthMap.count());
    std::copy(m_depthMap.begin(), m_depthMap.end(), copy->m_depthMap.begin());
    copy->m_depthScale = m_depthScale;
    copy->m_depthOffset = m_depthOffset;
    copy->m_unconverted = m_unconverted;
    return copy.release();
}
