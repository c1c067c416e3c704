// Vertex array: packed values, their ranged accessors, the file data with its
// delta encoding, bounds and the fixed-point transforms of the renderer.
#include "engine/scene/CkwVertexArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

constexpr uint8_t kEncodingPlain = 0;
constexpr uint8_t kEncodingDelta = 1;

} // namespace

IkwSerializable* CkwVertexArray::create() { return new CkwVertexArray; }

void CkwVertexArray::init(int32_t vertexCount, int32_t componentCount, int32_t componentSize)
{
    const int32_t bytes = vertexCount * componentCount * componentSize;
    m_values.setCount(bytes);
    if (bytes != 0)
        std::memset(m_values.data(), 0, static_cast<size_t>(bytes));
    m_vertexCount = vertexCount;
    m_componentCount = componentCount;
    m_componentSize = componentSize;
    markBoundsDirty();
}

void CkwVertexArray::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const uint8_t size = buffer.readByte();
    const uint8_t components = buffer.readByte();
    const uint8_t encoding = buffer.readByte();
    if ((size != 1 && size != 2) || components < 2 || components > 4
        || (encoding != kEncodingPlain && encoding != kEncodingDelta))
        leave(KErrCorruptData);
    const uint16_t vertices = buffer.readUInt16();
    const int32_t count = vertices * components;
    const uint8_t* in = buffer.readBytes(static_cast<uint32_t>(count * size));
    init(vertices, components, size);
    // Each component of a delta-encoded array adds to the same component of
    // the vertex before it, wrapping at the component's width.
    int32_t previous[4] = {};
    for (int32_t i = 0; i < count; ++i) {
        int32_t value = size == 1 ? static_cast<int8_t>(in[i]) : static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8);
        if (encoding == kEncodingDelta) {
            const int32_t sum = value + previous[i % components];
            value = size == 1 ? static_cast<int8_t>(sum) : static_cast<int16_t>(sum);
            previous[i % components] = value;
        }
        storeElement(i, value);
    }
}

CkwObject3D* CkwVertexArray::duplicate() const
{
    CkwCleanupPtr<CkwVertexArray> copy(new CkwVertexArray);
    copy->copyFrom(*this);
    copy->init(m_vertexCount, m_componentCount, m_componentSize);
    if (!m_values.isEmpty())
        std::memcpy(copy->m_values.data(), m_values.data(), static_cast<size_t>(m_values.count()));
    return copy.release();
}

void CkwVertexArray::checkRange(int32_t size, int32_t first, int32_t count, int32_t length) const
{
    if (m_componentSize != size)
        leave(KErrIllegalState);
    if (count < 0 || static_cast<int64_t>(m_componentCount) * count > length)
        leave(KErrIllegalArgument);
    if (first < 0 || first >= m_vertexCount || static_cast<int64_t>(first) + count > m_vertexCount)
        leave(KErrIndexOutOfRange);
}

void CkwVertexArray::getShorts(int32_t first, int32_t count, int32_t outLength, int16_t* out) const
{
    checkRange(2, first, count, outLength);
    if (count != 0)
        std::memcpy(out, shorts() + first * m_componentCount, static_cast<size_t>(count * m_componentCount) * 2);
}

void CkwVertexArray::setShorts(int32_t first, int32_t count, int32_t inLength, const int16_t* in)
{
    checkRange(2, first, count, inLength);
    if (count != 0)
        std::memcpy(shorts() + first * m_componentCount, in, static_cast<size_t>(count * m_componentCount) * 2);
    markBoundsDirty();
}

void CkwVertexArray::getBytes(int32_t first, int32_t count, int32_t outLength, int8_t* out) const
{
    checkRange(1, first, count, outLength);
    if (count != 0)
        std::memcpy(out, m_values.data() + first * m_componentCount, static_cast<size_t>(count * m_componentCount));
}

void CkwVertexArray::setBytes(int32_t first, int32_t count, int32_t inLength, const int8_t* in)
{
    checkRange(1, first, count, inLength);
    if (count != 0)
        std::memcpy(m_values.data() + first * m_componentCount, in, static_cast<size_t>(count * m_componentCount));
    markBoundsDirty();
}

void CkwVertexArray::storeElement(int32_t element, int32_t value)
{
    if (m_componentSize == 1)
        m_values[element] = static_cast<uint8_t>(value);
    else
        shorts()[element] = static_cast<int16_t>(value);
}

void CkwVertexArray::setFromAccumulator(int32_t firstElement, int32_t vertexCount, const int32_t* source, bool clamp)
{
    const int64_t n = static_cast<int64_t>(vertexCount) * m_componentCount;
    if (firstElement < 0 || n < 0 || firstElement + n > elementCount())
        leave(KErrIndexOutOfRange);
    for (int32_t i = 0; i < n; ++i) {
        uint32_t value = (static_cast<uint32_t>(source[i]) + 127u) >> 8;
        if (m_componentSize == 1 && clamp && value > 255)
            value = 255;
        storeElement(firstElement + i, static_cast<int32_t>(value));
    }
    markBoundsDirty();
}

void CkwVertexArray::setFromFloats(const float* values, float scale, int32_t count)
{
    if (count < 0 || count > elementCount())
        leave(KErrIndexOutOfRange);
    for (int32_t i = 0; i < count; ++i)
        storeElement(i, saturateToInt(values[i] * scale));
    markBoundsDirty();
}

void CkwVertexArray::setElement(int32_t vertex, int32_t component, int32_t value)
{
    if (vertex < 0 || vertex >= m_vertexCount || component < 0 || component >= m_componentCount)
        leave(KErrIndexOutOfRange);
    storeElement(vertex * m_componentCount + component, value);
    markBoundsDirty();
}

void CkwVertexArray::markBoundsDirty()
{
    // One count for all arrays: the engine runs on one thread.
    static uint32_t writes = 0;
    m_boundsDirty = true;
    m_revision = ++writes;
}

int32_t CkwVertexArray::getElement(int32_t vertex, int32_t component) const
{
    const int32_t i = vertex * m_componentCount + component;
    return m_componentSize == 1 ? static_cast<int8_t>(m_values[i]) : shorts()[i];
}

const uint8_t* CkwVertexArray::elementAddress(int32_t vertex, int32_t component) const
{
    return m_values.data() + (vertex * m_componentCount + component) * m_componentSize;
}

void CkwVertexArray::transformPoint(int32_t index, const CkwIntMatrix& matrix, int32_t* out, int32_t* outW) const
{
    const uint8_t* p = elementAddress(index, 0);
    const bool bytes = m_componentSize == 1;
    if (m_componentCount == 2) {
        int32_t w = 0;
        if (bytes)
            matrix.transformPoint2S8(reinterpret_cast<const int8_t*>(p), out, outW != nullptr ? outW : &w);
        else
            matrix.transformPoint2S16(reinterpret_cast<const int16_t*>(p), out, outW != nullptr ? outW : &w);
    } else if (outW == nullptr) {
        if (bytes)
            matrix.transformPointS8(reinterpret_cast<const int8_t*>(p), out);
        else
            matrix.transformPointS16(reinterpret_cast<const int16_t*>(p), out);
    } else if (bytes) {
        matrix.transformPointsS8(reinterpret_cast<const int8_t*>(p), out, outW, 1);
    } else {
        matrix.transformPointsS16(reinterpret_cast<const int16_t*>(p), out, outW, 1);
    }
}

void CkwVertexArray::transformPoints(int32_t first, int32_t end, const CkwIntMatrix& matrix, int32_t* outPoints,
                                     int32_t* outW) const
{
    if (first >= end)
        return;
    // The batched transform reads packed xyz triples, so only 3-component
    // arrays go through it; the others step one vertex at a time.
    if (m_componentCount == 3 && outW != nullptr) {
        const uint8_t* p = elementAddress(first, 0);
        if (m_componentSize == 1)
            matrix.transformPointsS8(reinterpret_cast<const int8_t*>(p), outPoints + 3 * first, outW + first, end - first);
        else
            matrix.transformPointsS16(reinterpret_cast<const int16_t*>(p), outPoints + 3 * first, outW + first,
                                      end - first);
        return;
    }
    for (int32_t i = first; i < end; ++i)
        transformPoint(i, matrix, outPoints + 3 * i, outW != nullptr ? outW + i : nullptr);
}

void CkwVertexArray::transformNormal(int32_t index, const CkwIntMatrix& matrix, int32_t* out) const
{
    const uint8_t* p = elementAddress(index, 0);
    if (m_componentSize == 1)
        matrix.transformDirS8(reinterpret_cast<const int8_t*>(p), out);
    else
        matrix.transformDirS16(reinterpret_cast<const int16_t*>(p), out);
}

int32_t CkwVertexArray::updateBounds()
{
    if (!m_boundsDirty)
        return m_largestMagnitude;
    scanBounds();
    countEngineVisits(static_cast<uint64_t>(m_vertexCount));
    return m_largestMagnitude;
}

void CkwVertexArray::updateDeformedBounds()
{
    scanBounds();
    countDeformSteps(static_cast<uint64_t>(m_vertexCount));
}

void CkwVertexArray::scanBounds()
{
    m_largestMagnitude = 0;
    for (int32_t axis = 0; axis < 3; ++axis) {
        m_max[axis] = -65535;
        m_min[axis] = 65535;
    }
    // Every shape is bounded as it is drawn: x, y and z of the first three
    // components, z = 0 for two.
    const int32_t n = elementCount();
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = m_componentSize == 1 ? static_cast<int8_t>(m_values[i]) : shorts()[i];
        const int32_t axis = i % m_componentCount;
        m_largestMagnitude = std::max(m_largestMagnitude, std::abs(v));
        if (axis < 3) {
            m_max[axis] = std::max(m_max[axis], v);
            m_min[axis] = std::min(m_min[axis], v);
        }
    }
    if (m_componentCount == 2 && n > 0)
        m_max[2] = m_min[2] = 0;
    m_boundsDirty = false;
}

void CkwVertexArray::getBoundsMax(float scale, const float* bias, float* out)
{
    updateBounds();
    for (int32_t i = 0; i < 3; ++i)
        out[i] = bias[i] + static_cast<float>(m_max[i]) * scale;
}

void CkwVertexArray::getBoundsMin(float scale, const float* bias, float* out)
{
    updateBounds();
    for (int32_t i = 0; i < 3; ++i)
        out[i] = bias[i] + static_cast<float>(m_min[i]) * scale;
}
