// Typed readers of object records.
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/io/LittleEndian.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

namespace {

constexpr uint32_t kExponentMask = 0x7F800000;

bool isNodeClass(int32_t id, bool allowWorld)
{
    switch (id) {
    case kClassCamera:
    case kClassGroup:
    case kClassLight:
    case kClassMesh:
    case kClassMorphingMesh:
    case kClassSkinnedMesh:
    case kClassSprite:
        return true;
    case kClassWorld:
        return allowWorld;
    default:
        return false;
    }
}

} // namespace

void CkwSerializeBufferObjectsIn::prepare(uint32_t length, CkwArray<IkwSerializable*>* objects,
                                          CkwArray<bool>* referenced)
{
    m_data.setCount(0);
    m_length = length;
    m_cursor = 0;
    m_fillCount = 0;
    m_objects = objects;
    m_indexLimit = static_cast<uint32_t>(objects->count());
    m_referenced = referenced;
}

void CkwSerializeBufferObjectsIn::append(const uint8_t* bytes, uint32_t count)
{
    if (count > m_length - m_fillCount)
        leave(KErrReadPastEnd);
    m_data.setCountGrowing(static_cast<int32_t>(m_fillCount + count));
    kwMemcpy(m_data.data() + m_fillCount, bytes, count);
    m_fillCount += count;
}

namespace {

void charge(uint64_t& drawn, uint64_t amount, uint64_t limit)
{
    if (drawn > limit || amount > limit - drawn)
        leave(KErrNoMemory);
    drawn += amount;
}

uint64_t loadLimit(const CkwLoadCharges& charges)
{
    return std::min(kMaxLoadBytes, kLoadBytesPerFile + kLoadBytesPerInputByte * charges.inputBytes);
}

} // namespace

void CkwSerializeBufferObjectsIn::chargeMadeBytes(uint64_t bytes)
{
    charge(m_charges.madeBytes, bytes, kMadeBytesPerFile);
    if (m_record != nullptr)
        m_record->exempt(bytes);
}

void CkwSerializeBufferObjectsIn::chargeDeformSteps(uint64_t steps)
{
    charge(m_charges.deformSteps, steps, kDeformStepsPerFile);
}

void CkwSerializeBufferObjectsIn::chargeGenerationSteps(uint64_t steps)
{
    charge(m_charges.generationSteps, steps, kGenerationStepsPerFile);
}

void CkwSerializeBufferObjectsIn::chargeLoadBytes(uint64_t bytes)
{
    charge(m_charges.loadBytes, bytes, loadLimit(m_charges));
}

uint64_t CkwSerializeBufferObjectsIn::loadBytesLeft() const
{
    const uint64_t limit = loadLimit(m_charges);
    return limit - std::min(limit, m_charges.loadBytes);
}

CkwRecordAllocations::CkwRecordAllocations(CkwSerializeBufferObjectsIn& buffer)
    : m_buffer(buffer), m_enclosing(std::exchange(buffer.m_record, this)), m_exempt(buffer.length()),
      m_granted(buffer.loadBytesLeft() + m_exempt), m_left(m_granted), m_outer(setEngineAllocAllowance(&m_left))
{
    if (m_outer != nullptr)
        m_left = m_granted = std::min(m_granted, *m_outer);
}

void CkwRecordAllocations::exempt(uint64_t bytes)
{
    m_exempt += bytes;
    m_granted += bytes;
    m_left += bytes;
}

CkwRecordAllocations::~CkwRecordAllocations()
{
    setEngineAllocAllowance(m_outer);
    m_buffer.m_record = m_enclosing;
    const uint64_t used = m_granted - m_left;
    if (m_outer != nullptr)
        *m_outer -= std::min(*m_outer, used);
    // Within what was granted, so within the ledger, unless a charge of its
    // own came in between: that one draws on what the next will find left.
    if (used > m_exempt) {
        uint64_t& drawn = m_buffer.m_charges.loadBytes;
        drawn = std::min(loadLimit(m_buffer.m_charges), drawn + (used - m_exempt));
    }
}

const uint8_t* CkwSerializeBufferObjectsIn::take(uint32_t n)
{
    if (n > m_length - m_cursor)
        leave(KErrReadPastEnd);
    const uint8_t* p = m_data.data() + m_cursor;
    m_cursor += n;
    return p;
}

uint8_t CkwSerializeBufferObjectsIn::readByte()
{
    return *take(1);
}

bool CkwSerializeBufferObjectsIn::readBoolean()
{
    const uint8_t v = readByte();
    if (v > 1)
        leave(KErrIndexOutOfRange);
    return v == 1;
}

uint8_t CkwSerializeBufferObjectsIn::readByteInRange(int32_t low, int32_t high)
{
    const uint8_t v = readByte();
    if (v <= low || v >= high)
        leave(KErrIndexOutOfRange);
    return v;
}

int16_t CkwSerializeBufferObjectsIn::readInt16()
{
    return static_cast<int16_t>(readUInt16());
}

uint16_t CkwSerializeBufferObjectsIn::readUInt16()
{
    const uint8_t* p = take(2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int32_t CkwSerializeBufferObjectsIn::readInt32()
{
    return static_cast<int32_t>(readUInt32());
}

uint32_t CkwSerializeBufferObjectsIn::readUInt32()
{
    return readU32(take(4));
}

uint16_t CkwSerializeBufferObjectsIn::readUInt32As16()
{
    // Cutting 65,539 to 3 would read a different file: only a value that
    // fits is one.
    const uint32_t value = readUInt32();
    if (value > 0xFFFF)
        leave(KErrCorruptData);
    return static_cast<uint16_t>(value);
}

float CkwSerializeBufferObjectsIn::readFloat()
{
    const uint32_t bits = readUInt32();
    const uint32_t exponent = bits & kExponentMask;
    if ((exponent == 0 || exponent == kExponentMask) && bits != 0)
        leave(KErrCorruptData);
    return std::bit_cast<float>(bits);
}

void CkwSerializeBufferObjectsIn::readVector3(float out[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = readFloat();
}

void CkwSerializeBufferObjectsIn::readMatrix(CkwMatrix& out)
{
    for (int32_t row = 0; row < 4; ++row)
        for (int32_t column = 0; column < 4; ++column)
            out.setElement(column, row, readFloat());
    out.classify();
}

uint32_t CkwSerializeBufferObjectsIn::readArrayCount(uint32_t elementSize)
{
    const uint32_t n = readUInt32();
    if (static_cast<uint64_t>(n) * elementSize > remaining())
        leave(KErrReadPastEnd);
    return n;
}

uint32_t CkwSerializeBufferObjectsIn::arrayLength(int32_t n, uint32_t elementSize)
{
    if (n < 0)
        return readArrayCount(elementSize);
    if (static_cast<uint64_t>(n) * elementSize > remaining())
        leave(KErrReadPastEnd);
    return static_cast<uint32_t>(n);
}

void CkwSerializeBufferObjectsIn::readByteArray(CkwArray<uint8_t>& out, int32_t n)
{
    const uint32_t count = arrayLength(n, 1);
    out.setCount(static_cast<int32_t>(count));
    if (count != 0)
        kwMemcpy(out.data(), take(count), count);
}

void CkwSerializeBufferObjectsIn::readUInt16Array(CkwArray<uint16_t>& out, int32_t n)
{
    const uint32_t count = arrayLength(n, 2);
    out.setCount(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i)
        out[static_cast<int32_t>(i)] = readUInt16();
}

void CkwSerializeBufferObjectsIn::readFloatArray(CkwArray<float>& out, int32_t n)
{
    const uint32_t count = arrayLength(n, 4);
    out.setCount(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i)
        out[static_cast<int32_t>(i)] = readFloat();
}

void CkwSerializeBufferObjectsIn::readUInt32ArrayAs16(CkwArray<uint16_t>& out, int32_t n)
{
    const uint32_t count = arrayLength(n, 4);
    out.setCount(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i)
        out[static_cast<int32_t>(i)] = readUInt32As16();
}

const uint8_t* CkwSerializeBufferObjectsIn::readBytes(uint32_t n)
{
    if (n == 0)
        return nullptr;
    return take(n);
}

void CkwSerializeBufferObjectsIn::readColor(uint32_t& out, bool withAlpha)
{
    const uint8_t* p = take(withAlpha ? 4 : 3);
    const uint32_t rgb = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    const uint32_t alpha = withAlpha ? static_cast<uint32_t>(p[3]) << 24 : out & 0xFF000000;
    out = alpha | rgb;
}

void CkwSerializeBufferObjectsIn::readString(CkwArray<char>& out)
{
    for (;;) {
        const uint8_t lead = readByte();
        if (lead == 0)
            return;
        out.append(static_cast<char>(lead));
        if (lead < 0x80)
            continue;
        if (lead < 0xC0)
            leave(KErrIndexOutOfRange);
        // One continuation byte per leading one bit after the first.
        int continuations = 0;
        for (uint8_t bit = 0x40; (lead & bit) != 0 && bit != 0; bit >>= 1)
            ++continuations;
        for (int i = 0; i < continuations; ++i) {
            const uint8_t b = readByte();
            if (b < 0x80 || b > 0xBF)
                leave(KErrIndexOutOfRange);
            out.append(static_cast<char>(b));
        }
    }
}

IkwSerializable* CkwSerializeBufferObjectsIn::readObjectIndex()
{
    const uint32_t index = readUInt32();
    if (index == 1 || index >= m_indexLimit)
        leave(KErrCorruptData);
    (*m_referenced)[static_cast<int32_t>(index)] = true;
    return (*m_objects)[static_cast<int32_t>(index)];
}

IkwSerializable* CkwSerializeBufferObjectsIn::readObjectOfType(int32_t classId)
{
    IkwSerializable* object = readObjectIndex();
    if (object != nullptr && object->getClassId() != classId)
        leave(KErrCorruptData);
    return object;
}

IkwSerializable* CkwSerializeBufferObjectsIn::readNodeReference(bool allowWorld)
{
    IkwSerializable* object = readObjectIndex();
    if (object != nullptr && !isNodeClass(object->getClassId(), allowWorld))
        leave(KErrCorruptData);
    return object;
}

IkwSerializable* CkwSerializeBufferObjectsIn::readImageReference(bool allowStageset)
{
    IkwSerializable* object = readObjectIndex();
    if (object != nullptr && !isImageClass(object->getClassId(), allowStageset))
        leave(KErrCorruptData);
    return object;
}
