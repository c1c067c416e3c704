// Triangle strip array: the two ways of building it, the file encodings, the
// expansion into a triangle list and the stitching into one strip.
#include "engine/scene/CkwTriangleStripArray.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"

namespace {

constexpr uint8_t kExplicitBit = 0x80;
constexpr int32_t kMaxIndex = 65535;
constexpr int32_t kMinStrip = 3;

} // namespace

IkwSerializable* CkwTriangleStripArray::create() { return new CkwTriangleStripArray; }

uint64_t CkwTriangleStripArray::nextSerial()
{
    // One count for all arrays: the engine runs on one thread.
    static uint64_t changes = 0;
    return ++changes;
}

int64_t CkwTriangleStripArray::lengthSum() const
{
    int64_t sum = 0;
    for (uint16_t length : m_stripLengths)
        sum += length;
    return sum;
}

void CkwTriangleStripArray::setLargestImplicitIndex(int64_t firstIndex, int32_t rangeCode)
{
    const int64_t last = firstIndex + lengthSum() - 1;
    if (last > kMaxIndex)
        leave(rangeCode);
    // Without strips nothing is drawn; the largest index then stays in range.
    m_maxIndex = static_cast<uint32_t>(std::max<int64_t>(last, 0));
}

void CkwTriangleStripArray::initImplicit(int32_t firstIndex, int32_t stripCount, const int32_t* stripLengths)
{
    m_serial = nextSerial();
    if (firstIndex < 0)
        leave(KErrIndexOutOfRange);
    if (stripCount < 1)
        leave(KErrIllegalArgument);
    m_implicit = true;
    m_firstIndex = static_cast<uint16_t>(firstIndex);
    m_indices.setCount(0);
    m_stripLengths.setCount(stripCount);
    for (int32_t i = 0; i < stripCount; ++i) {
        if (stripLengths[i] < kMinStrip)
            leave(KErrIllegalArgument);
        m_stripLengths[i] = static_cast<uint16_t>(stripLengths[i]);
    }
    // A first index above 65535 cannot pass either: its last index is larger.
    setLargestImplicitIndex(firstIndex, KErrIndexOutOfRange);
}

void CkwTriangleStripArray::initExplicit(int32_t indexCount, const int32_t* indices, int32_t stripCount,
                                         const int32_t* stripLengths)
{
    m_serial = nextSerial();
    if (stripCount < 1)
        leave(KErrIllegalArgument);
    m_implicit = false;
    m_indices.setCount(std::max(indexCount, 0));
    int32_t largest = 0;
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] < 0 || indices[i] > kMaxIndex)
            leave(KErrIndexOutOfRange);
        m_indices[i] = static_cast<uint16_t>(indices[i]);
        largest = std::max(largest, indices[i]);
    }
    m_maxIndex = static_cast<uint32_t>(largest);
    m_stripLengths.setCount(stripCount);
    int64_t sum = 0;
    for (int32_t i = 0; i < stripCount; ++i) {
        // Lengths are kept in 16 bits: a longer one could never fit the index
        // list either.
        if (stripLengths[i] < kMinStrip || stripLengths[i] > kMaxIndex)
            leave(KErrIllegalArgument);
        m_stripLengths[i] = static_cast<uint16_t>(stripLengths[i]);
        sum += stripLengths[i];
    }
    if (sum > indexCount)
        leave(KErrIllegalArgument);
}

void CkwTriangleStripArray::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    m_serial = nextSerial();
    CkwObject3D::deserialize(buffer);
    const uint8_t encoding = buffer.readByte();
    const uint8_t width = encoding & ~kExplicitBit;
    if (width > 2)
        leave(KErrCorruptData);
    m_implicit = (encoding & kExplicitBit) == 0;
    uint32_t first = 0;
    if (m_implicit) {
        first = width == 0 ? buffer.readUInt32() : (width == 1 ? buffer.readByte() : buffer.readUInt16());
        if (first > static_cast<uint32_t>(kMaxIndex))
            leave(KErrIndexOutOfRange);
        m_firstIndex = static_cast<uint16_t>(first);
    } else {
        static constexpr uint32_t kWidths[] = {4, 1, 2};
        const uint32_t n = buffer.readArrayCount(kWidths[width]);
        m_indices.setCount(static_cast<int32_t>(n));
        uint32_t largest = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t index = width == 0 ? buffer.readUInt32() : (width == 1 ? buffer.readByte() : buffer.readUInt16());
            if (index > static_cast<uint32_t>(kMaxIndex))
                leave(KErrIndexOutOfRange);
            m_indices[static_cast<int32_t>(i)] = static_cast<uint16_t>(index);
            largest = std::max(largest, index);
        }
        m_maxIndex = largest;
    }
    buffer.readUInt32ArrayAs16(m_stripLengths);
    for (uint16_t length : m_stripLengths)
        if (length < kMinStrip)
            leave(KErrCorruptData);
    if (m_implicit)
        setLargestImplicitIndex(first, KErrIndexOutOfRange);
    else if (lengthSum() > m_indices.count())
        leave(KErrCorruptData);
}

CkwObject3D* CkwTriangleStripArray::duplicate() const
{
    CkwCleanupPtr<CkwTriangleStripArray> copy(new CkwTriangleStripArray);
    copy->copyFrom(*this);
    copy->m_maxIndex = m_maxIndex;
    copy->m_implicit = m_implicit;
    copy->m_firstIndex = m_firstIndex;
    copy->m_indices.setCount(m_indices.count());
    std::copy(m_indices.begin(), m_indices.end(), copy->m_indices.begin());
    copy->m_stripLengths.setCount(m_stripLengths.count());
    std::copy(m_stripLengths.begin(), m_stripLengths.end(), copy->m_stripLengths.begin());
    return copy.release();
}

int32_t CkwTriangleStripArray::getIndexCount() const
{
    int64_t count = 0;
    for (uint16_t length : m_stripLengths)
        count += (length - 2) * 3;
    return static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
}

void CkwTriangleStripArray::getTriangleIndices(int32_t outLength, int32_t* out) const
{
    int64_t total = 0;
    int32_t start = 0;
    for (uint16_t length : m_stripLengths) {
        total += (length - 2) * 3;
        if (total > outLength)
            leave(KErrIllegalArgument);
        for (int32_t j = 0; j + 2 < length; ++j) {
            const int32_t a = indexAt(start + j);
            const int32_t b = indexAt(start + j + 1);
            *out++ = (j & 1) == 0 ? a : b;
            *out++ = (j & 1) == 0 ? b : a;
            *out++ = indexAt(start + j + 2);
        }
        start += length;
    }
}

int32_t CkwTriangleStripArray::getStrip(int32_t stripIndex, int32_t outLength, int32_t* out) const
{
    if (stripIndex < 0 || stripIndex >= m_stripLengths.count())
        leave(KErrIndexOutOfRange);
    int32_t start = 0;
    for (int32_t i = 0; i < stripIndex; ++i)
        start += m_stripLengths[i];
    const int32_t length = m_stripLengths[stripIndex];
    if (out != nullptr) {
        if (outLength < length)
            leave(KErrIllegalArgument);
        for (int32_t i = 0; i < length; ++i)
            out[i] = indexAt(start + i);
    }
    return length;
}

void CkwTriangleStripArray::stitchStrips()
{
    m_serial = nextSerial();
    const int32_t strips = m_stripLengths.count();
    if (m_implicit || strips < 2)
        return;
    CkwArray<uint16_t> joined;
    joined.setCapacity(3 * strips + m_indices.count());
    int32_t start = 0;
    for (int32_t s = 0; s < strips; ++s) {
        const int32_t length = m_stripLengths[s];
        for (int32_t i = 0; i < length; ++i)
            joined.append(m_indices[start + i]);
        start += length;
        if (s + 1 == strips)
            break;
        // The bridge's degenerate triangles put the next strip on an even
        // position, so it keeps its winding.
        const uint16_t next = m_indices[start];
        joined.append(m_indices[start - 1]);
        joined.append(next);
        if ((length & 1) != 0)
            joined.append(next);
    }
    if (joined.count() > kMaxIndex)
        leave(KErrIllegalArgument);
    m_indices.setCount(joined.count());
    std::copy(joined.begin(), joined.end(), m_indices.begin());
    m_stripLengths.setCount(1);
    m_stripLengths[0] = static_cast<uint16_t>(joined.count());
}
