// Vertex buffer: the counted array slots with their shared vertex count,
// scales and biases, the file data and the colour animation.
#include "engine/scene/CkwVertexBuffer.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/SceneFieldHelpers.h"
#include "engine/core/scene/SceneIds.h"

namespace {

// The record of one texture unit in the file: array, bias (s, t, r), scale.
constexpr uint32_t kTexCoordRecordBytes = 4 + 3 * 4 + 4;

bool isColorShape(const CkwVertexArray& a)
{
    return a.getComponentSize() == 1 && (a.getComponentCount() == 3 || a.getComponentCount() == 4);
}

bool isTexCoordShape(const CkwVertexArray& a) { return a.getComponentCount() == 2 || a.getComponentCount() == 3; }

// Biases are kept for s, t and r: a fourth component is never biased.
constexpr int32_t kBiasedComponents = 3;

} // namespace

IkwSerializable* CkwVertexBuffer::create() { return new CkwVertexBuffer; }

CkwVertexBuffer::~CkwVertexBuffer()
{
    for (CkwVertexArray*& array : m_arrays) {
        if (array != nullptr)
            array->release();
        array = nullptr;
    }
}

void CkwVertexBuffer::checkFits(int32_t slot, const CkwVertexArray* array, int32_t mismatchCode) const
{
    // Arrays of no vertices count like any other: a buffer whose count
    // followed a zero-length array could otherwise take a longer one beside
    // it, and the renderer would read past the short one.
    if (array == nullptr)
        return;
    for (int32_t i = 0; i < kSlotCount; ++i)
        if (i != slot && m_arrays[i] != nullptr && m_arrays[i]->getVertexCount() != array->getVertexCount())
            leave(mismatchCode);
}

const CkwVertexArray* CkwVertexBuffer::firstArray() const
{
    for (const CkwVertexArray* array : m_arrays)
        if (array != nullptr)
            return array;
    return nullptr;
}

bool CkwVertexBuffer::arraysAgree() const
{
    const CkwVertexArray* first = firstArray();
    return std::all_of(std::begin(m_arrays), std::end(m_arrays), [&](const CkwVertexArray* array) {
        return array == nullptr || array->getVertexCount() == first->getVertexCount();
    });
}

int32_t CkwVertexBuffer::getVertexCount() const
{
    // An array made again behind the buffer's back can leave the arrays
    // disagreeing on their count, which no setter lets a buffer hold: the
    // buffer then has no vertices, and every draw and pick over it is refused.
    const CkwVertexArray* first = firstArray();
    return first != nullptr && arraysAgree() ? first->getVertexCount() : 0;
}

void CkwVertexBuffer::replaceArray(int32_t slot, CkwVertexArray* array, int32_t mismatchCode)
{
    checkFits(slot, array, mismatchCode);
    replaceReference(m_arrays[slot], array);
}

void CkwVertexBuffer::storeBias(float* out, int32_t components, const float* bias)
{
    for (int32_t i = 0; i < 3; ++i)
        out[i] = bias != nullptr && i < components ? checkFloat(bias[i]) : 0.0f;
}

CkwVertexArray* CkwVertexBuffer::getPositions(int32_t outLength, float* out) const
{
    CkwVertexArray* array = m_arrays[kPositions];
    if (out != nullptr) {
        if (outLength < 4)
            leave(KErrIllegalArgument);
        if (array != nullptr) {
            out[0] = m_positionScale;
            for (int32_t i = 0; i < 3; ++i)
                out[1 + i] = m_positionBias[i];
        }
    }
    return array;
}

CkwVertexArray* CkwVertexBuffer::getTexCoords(int32_t unit, int32_t outLength, float* out) const
{
    if (unit < 0 || unit >= kTextureUnits)
        leave(KErrIndexOutOfRange);
    CkwVertexArray* array = m_arrays[kTexCoords + unit];
    if (out != nullptr) {
        const int32_t components = array != nullptr ? array->getComponentCount() : 2;
        if (outLength < components + 1)
            leave(KErrIllegalArgument);
        if (array != nullptr) {
            out[0] = m_texCoordScale[unit];
            for (int32_t i = 0; i < components; ++i)
                out[1 + i] = i < kBiasedComponents ? m_texCoordBias[unit][i] : 0.0f;
        }
    }
    return array;
}

void CkwVertexBuffer::setPositions(CkwVertexArray* array, float scale, int32_t biasLength, const float* bias)
{
    if (array == nullptr) {
        replaceArray(kPositions, nullptr, KErrIllegalArgument);
        return;
    }
    if (array->getComponentCount() != 3 || (bias != nullptr && biasLength < 3))
        leave(KErrIllegalArgument);
    checkFits(kPositions, array, KErrIllegalArgument);
    float checked[3];
    storeBias(checked, 3, bias);
    takePositions(array, scale, checked, KErrIllegalArgument);
}

void CkwVertexBuffer::takePositions(CkwVertexArray* array, float scale, const float* bias, int32_t mismatchCode)
{
    checkFits(kPositions, array, mismatchCode);
    m_positionScale = scale;
    std::copy(bias, bias + 3, m_positionBias);
    replaceArray(kPositions, array, mismatchCode);
}

void CkwVertexBuffer::setNormals(CkwVertexArray* array)
{
    if (array != nullptr && array->getComponentCount() != 3)
        leave(KErrIllegalArgument);
    replaceArray(kNormals, array, KErrIllegalArgument);
    applyNormalScale();
}

void CkwVertexBuffer::applyNormalScale() const
{
    // Maps the integer range onto -1..1: -128 to -1 and 127 to 1.
    const CkwVertexArray* array = m_arrays[kNormals];
    m_normalScale = array == nullptr ? 1.0f : (array->getComponentSize() == 1 ? 1.0f / 127.5f : 1.0f / 32767.5f);
    const float bias = array == nullptr ? 0.0f : m_normalScale * 0.5f;
    for (float& b : m_normalBias)
        b = bias;
}

float CkwVertexBuffer::getNormalScale() const
{
    applyNormalScale();
    return m_normalScale;
}

const float* CkwVertexBuffer::getNormalBias() const
{
    applyNormalScale();
    return m_normalBias;
}

bool CkwVertexBuffer::keepsSetterShapes() const
{
    const CkwVertexArray* colors = m_arrays[kColors];
    const CkwVertexArray* normals = m_arrays[kNormals];
    return (colors == nullptr || isColorShape(*colors)) && (normals == nullptr || normals->getComponentCount() == 3)
        && arraysAgree();
}

void CkwVertexBuffer::setColors(CkwVertexArray* array)
{
    if (array != nullptr && !isColorShape(*array))
        leave(KErrIllegalArgument);
    replaceArray(kColors, array, KErrIllegalArgument);
}

void CkwVertexBuffer::setTexCoords(int32_t unit, CkwVertexArray* array, float scale, int32_t biasLength,
                                   const float* bias)
{
    if (unit < 0 || unit >= kTextureUnits)
        leave(KErrIndexOutOfRange);
    if (array == nullptr) {
        replaceArray(kTexCoords + unit, nullptr, KErrIllegalArgument);
        return;
    }
    const int32_t components = array->getComponentCount();
    if (!isTexCoordShape(*array) || (bias != nullptr && biasLength < components))
        leave(KErrIllegalArgument);
    checkFits(kTexCoords + unit, array, KErrIllegalArgument);
    float checked[3];
    storeBias(checked, components, bias);
    takeTexCoords(unit, array, scale, checked, KErrIllegalArgument);
}

void CkwVertexBuffer::takeTexCoords(int32_t unit, CkwVertexArray* array, float scale, const float* bias,
                                    int32_t mismatchCode)
{
    checkFits(kTexCoords + unit, array, mismatchCode);
    m_texCoordScale[unit] = scale;
    std::copy(bias, bias + 3, m_texCoordBias[unit]);
    replaceArray(kTexCoords + unit, array, mismatchCode);
}

void CkwVertexBuffer::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    // Positions and texture coordinates of any shape are taken as they are:
    // two components lie at z = 0, and a fourth is read past. Normals keep
    // their setter's rule. Colours must be bytes of RGB or RGBA: two
    // components hold no blue and 16-bit ones no byte channels, so no
    // colour could be drawn from either.
    auto readArray = [&]() {
        auto* array = readComponent<CkwVertexArray>(buffer, kClassVertexArray);
        checkFits(-1, array, KErrCorruptData);
        return array;
    };
    buffer.readColor(m_defaultColor, true);
    CkwVertexArray* positions = readArray();
    float bias[3];
    buffer.readVector3(bias);
    takePositions(positions, buffer.readFloat(), bias, KErrCorruptData);
    setNormals(readArray());
    CkwVertexArray* colors = readArray();
    if (colors != nullptr && !isColorShape(*colors))
        leave(KErrCorruptData);
    replaceArray(kColors, colors, KErrCorruptData);
    const int32_t units = buffer.readInt32();
    if (units > 0 && static_cast<uint64_t>(units) * kTexCoordRecordBytes > buffer.remaining())
        leave(KErrReadPastEnd);
    for (int32_t unit = 0; unit < units; ++unit) {
        CkwVertexArray* array = readArray();
        if (array == nullptr)
            leave(KErrCorruptData);
        buffer.readVector3(bias);
        const float scale = buffer.readFloat();
        // Units past the second are read and dropped.
        if (unit < kTextureUnits)
            takeTexCoords(unit, array, scale, bias, KErrCorruptData);
    }
}

void CkwVertexBuffer::shareAttributesOf(const CkwVertexBuffer& source)
{
    for (int32_t slot = kColors; slot < kSlotCount; ++slot)
        replaceReference(m_arrays[slot], source.m_arrays[slot]);
    std::copy(&source.m_texCoordBias[0][0], &source.m_texCoordBias[0][0] + 3 * kTextureUnits, &m_texCoordBias[0][0]);
    std::copy(source.m_texCoordScale, source.m_texCoordScale + kTextureUnits, m_texCoordScale);
    m_defaultColor = source.m_defaultColor;
}

CkwObject3D* CkwVertexBuffer::duplicate() const
{
    CkwCleanupPtr<CkwVertexBuffer> copy(new CkwVertexBuffer);
    copy->copyFrom(*this);
    CkwVertexBuffer& c = *copy.get();
    c.shareAttributesOf(*this);
    for (int32_t slot = kPositions; slot < kColors; ++slot)
        replaceReference(c.m_arrays[slot], m_arrays[slot]);
    std::copy(m_positionBias, m_positionBias + 3, c.m_positionBias);
    std::copy(m_normalBias, m_normalBias + 3, c.m_normalBias);
    c.m_positionScale = m_positionScale;
    c.m_normalScale = m_normalScale;
    return copy.release();
}

CkwReference CkwVertexBuffer::getReference(int32_t index) const
{
    if (index >= 0 && index < kSlotCount)
        return CkwReference::single(m_arrays[index]);
    return CkwObject3D::getReference(index - kSlotCount);
}

bool CkwVertexBuffer::isAnimatable(int32_t property) const
{
    return property == kPropertyAlpha || property == kPropertyColor || CkwObject3D::isAnimatable(property);
}

void CkwVertexBuffer::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    if (property == kPropertyAlpha)
        colorSetAlpha(&m_defaultColor, clampFloat(values[0], 0.0f, 1.0f));
    else if (property == kPropertyColor)
        colorSetRgb(&m_defaultColor, values[0], values[1], values[2]);
    else
        CkwObject3D::applyAnimatedProperty(property, components, values);
}
