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

// The strips' total length; a strip shorter than 3 leaves code.
template <class Length>
int64_t stripTotal(const Length* lengths, int32_t count, int32_t code)
{
    int64_t total = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (lengths[i] < kMinStrip)
            leave(code);
        total += lengths[i];
    }
    return total;
}

// Lengths keep 16 bits.
bool anyTooLong(const int32_t* lengths, int32_t count)
{
    return std::any_of(lengths, lengths + count, [](int32_t length) { return length > kMaxIndex; });
}

} // namespace

IkwSerializable* CkwTriangleStripArray::create() { return new CkwTriangleStripArray; }

uint64_t CkwTriangleStripArray::nextSerial()
{
    // One count for all arrays: the engine runs on one thread.
    static uint64_t changes = 0;
    return ++changes;
}

template <class Index, class Length>
void CkwTriangleStripArray::setStrips(bool implicit, int64_t first, const Index* indices, int32_t indexCount,
                                      const Length* lengths, int32_t stripCount, int64_t largest)
{
    // Room first: once the old strips start to change nothing can fail.
    if (m_indices.capacity() < indexCount)
        m_indices.setCapacity(indexCount);
    if (m_stripLengths.capacity() < stripCount)
        m_stripLengths.setCapacity(stripCount);
    const auto narrow = [](auto value) { return static_cast<uint16_t>(value); };
    m_implicit = implicit;
    m_firstIndex = narrow(first);
    // An implicit array without strips ends just before its first index,
    // which may be 0.
    m_maxIndex = static_cast<uint32_t>(std::max<int64_t>(largest, 0));
    m_indices.setCount(indexCount);
    std::transform(indices, indices + indexCount, m_indices.begin(), narrow);
    m_stripLengths.setCount(stripCount);
    std::transform(lengths, lengths + stripCount, m_stripLengths.begin(), narrow);
    m_usedIndexCount = 0;
    for (const uint16_t length : m_stripLengths)
        m_usedIndexCount += length;
    m_serial = nextSerial();
}

void CkwTriangleStripArray::initImplicit(int32_t firstIndex, int32_t stripCount, const int32_t* stripLengths)
{
    if (firstIndex < 0)
        leave(KErrIndexOutOfRange);
    if (stripCount < 1)
        leave(KErrIllegalArgument);
    // A first index above 65535 cannot pass either: its last index is larger.
    const int64_t last = firstIndex + stripTotal(stripLengths, stripCount, KErrIllegalArgument) - 1;
    if (last > kMaxIndex)
        leave(KErrIndexOutOfRange);
    // One strip of 65536 from index 0 ends in range, yet its length is no 16-bit one.
    if (anyTooLong(stripLengths, stripCount))
        leave(KErrIllegalArgument);
    setStrips(true, firstIndex, static_cast<const uint16_t*>(nullptr), 0, stripLengths, stripCount, last);
}

void CkwTriangleStripArray::initExplicit(int32_t indexCount, const int32_t* indices, int32_t stripCount,
                                         const int32_t* stripLengths)
{
    if (stripCount < 1)
        leave(KErrIllegalArgument);
    indexCount = std::max(indexCount, 0);
    int32_t largest = 0;
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] < 0 || indices[i] > kMaxIndex)
            leave(KErrIndexOutOfRange);
        largest = std::max(largest, indices[i]);
    }
    const int64_t total = stripTotal(stripLengths, stripCount, KErrIllegalArgument);
    if (anyTooLong(stripLengths, stripCount) || total > indexCount)
        leave(KErrIllegalArgument);
    setStrips(false, 0, indices, indexCount, stripLengths, stripCount, largest);
}

void CkwTriangleStripArray::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const uint8_t encoding = buffer.readByte();
    const uint8_t width = encoding & ~kExplicitBit;
    if (width > 2)
        leave(KErrCorruptData);
    const bool implicit = (encoding & kExplicitBit) == 0;
    const auto readIndex = [&] {
        return width == 0 ? buffer.readUInt32() : (width == 1 ? buffer.readByte() : buffer.readUInt16());
    };
    uint32_t first = 0;
    uint32_t largest = 0;
    CkwArray<uint16_t> indices;
    if (implicit) {
        first = readIndex();
        if (first > static_cast<uint32_t>(kMaxIndex))
            leave(KErrIndexOutOfRange);
    } else {
        static constexpr uint32_t kWidths[] = {4, 1, 2};
        indices.setCount(static_cast<int32_t>(buffer.readArrayCount(kWidths[width])));
        for (uint16_t& index : indices) {
            const uint32_t value = readIndex();
            if (value > static_cast<uint32_t>(kMaxIndex))
                leave(KErrIndexOutOfRange);
            index = static_cast<uint16_t>(value);
            largest = std::max(largest, value);
        }
    }
    CkwArray<uint16_t> lengths;
    buffer.readUInt32ArrayAs16(lengths);
    const int64_t total = stripTotal(lengths.data(), lengths.count(), KErrCorruptData);
    if (implicit && first + total - 1 > kMaxIndex)
        leave(KErrIndexOutOfRange);
    if (!implicit && total > indices.count())
        leave(KErrCorruptData);
    setStrips(implicit, first, indices.data(), indices.count(), lengths.data(), lengths.count(),
              implicit ? first + total - 1 : largest);
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
    copy->m_usedIndexCount = m_usedIndexCount;
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
    const int32_t length = joined.count();
    setStrips(false, m_firstIndex, joined.data(), length, &length, 1, m_maxIndex);
}
