// Compressed image: levels kept as stored, their bookkeeping and file data.
#include "engine/scene/CkwCompressedImage2D.h"

#include <algorithm>
#include <bit>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwTexture2D.h"

IkwSerializable* CkwCompressedImage2D::create() { return new CkwCompressedImage2D; }

void CkwCompressedImage2D::setImageData(int32_t format, int32_t width, int32_t height, int32_t length,
                                        int32_t capacity, const uint8_t* bytes)
{
    if (!isPowerOfTwoUpTo(width, kTextureMaxSize) || !isPowerOfTwoUpTo(height, kTextureMaxSize))
        leave(KErrIllegalArgument);
    CkwImage2D::setImageData(format, width, height, length, capacity, bytes);
    // Levels follow each other, so the buffer ends with the last one.
    keepDataBytes(length);
    m_levelSizes.setCount(1);
    m_levelSizes[0] = length;
    m_levelCount = static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(std::max(width, height))));
}

void CkwCompressedImage2D::addLevel(int32_t length, int32_t capacity, const uint8_t* bytes)
{
    if (length > capacity)
        leave(KErrIllegalArgument);
    if (m_levelSizes.count() >= m_levelCount)
        leave(KErrIllegalState);
    m_levelSizes.setCountGrowing(m_levelSizes.count() + 1);
    m_levelSizes.last() = 0;
    appendData(length, bytes);
    m_levelSizes.last() = std::max(length, 0);
}

const uint8_t* CkwCompressedImage2D::getLevel(int32_t level, int32_t& length) const
{
    length = 0;
    if (level < 0 || level >= m_levelSizes.count())
        return nullptr;
    int32_t offset = 0;
    for (int32_t i = 0; i < level; ++i)
        offset += m_levelSizes[i];
    length = m_levelSizes[level];
    return data().data() + offset;
}

void CkwCompressedImage2D::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const int32_t format = buffer.readInt32();
    const int32_t width = buffer.readInt32();
    const int32_t height = buffer.readInt32();
    if (width < 1 || height < 1)
        leave(KErrCorruptData);
    uint32_t length = buffer.readArrayCount(1);
    setImageData(format, width, height, static_cast<int32_t>(length), static_cast<int32_t>(length),
                 buffer.readBytes(length));
    if (!buffer.readBoolean())
        return;
    for (int32_t level = 1; level < m_levelCount; ++level) {
        length = buffer.readArrayCount(1);
        addLevel(static_cast<int32_t>(length), static_cast<int32_t>(length), buffer.readBytes(length));
    }
}

CkwObject3D* CkwCompressedImage2D::duplicate() const
{
    if (m_levelSizes.count() != m_levelCount)
        leave(KErrIllegalState);
    CkwCleanupPtr<CkwCompressedImage2D> copy(new CkwCompressedImage2D);
    copy->copyImageFrom(*this);
    copy->m_levelCount = m_levelCount;
    copy->m_levelSizes.setCount(m_levelSizes.count());
    std::copy(m_levelSizes.begin(), m_levelSizes.end(), copy->m_levelSizes.begin());
    return copy.release();
}
