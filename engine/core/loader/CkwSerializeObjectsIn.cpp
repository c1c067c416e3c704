// Record cutting and dispatch. A record's bytes may arrive over any number of
// calls; it is read once its last byte is in.
#include "engine/core/loader/CkwSerializeObjectsIn.h"


#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

constexpr int32_t kInitialObjectCapacity = 32;

} // namespace

CkwSerializeObjectsIn::~CkwSerializeObjectsIn()
{
    delete m_header;
    for (IkwSerializable* object : m_objects)
        if (object != nullptr)
            object->release();
}

bool CkwSerializeObjectsIn::beginSection()
{
    if (m_objectState != kObjectType)
        return false;
    if (m_objects.isEmpty()) {
        m_objects.setCapacity(kInitialObjectCapacity);
        m_referenced.setCapacity(kInitialObjectCapacity);
        m_objects.append(nullptr);
        m_referenced.append(false);
    }
    return true;
}

int32_t CkwSerializeObjectsIn::write(const uint8_t* data, uint32_t offset, uint32_t count)
{
    // Credited before they are taken, so a section may draw on the bytes
    // that bring it; a stop for references hands the rest back for later.
    if (m_readForReference)
        return CkwSerializeIn::write(data, offset, count);
    m_buffer.countInputBytes(count);
    const int32_t result = CkwSerializeIn::write(data, offset, count);
    if (result >= 0)
        m_buffer.countInputBytes(int64_t{result} - count);
    return result;
}

bool CkwSerializeObjectsIn::writeObjectBytes(const uint8_t* bytes, uint32_t count)
{
    // Charged as the bytes arrive, inflated or not: the record buffer and
    // what the records copy of them hold them.
    chargeLoadBytes(count);
    const uint32_t total = count;
    while (count > 0) {
        if (m_objectState == kObjectType) {
            m_objectType = *bytes++;
            --count;
            m_objectLength = 0;
            m_objectState = kObjectLength;
        } else if (m_objectState < kObjectData) {
            m_objectLength |= static_cast<uint32_t>(*bytes++) << (8 * (m_objectState - kObjectLength));
            --count;
            if (++m_objectState == kObjectData) {
                if (m_objectLength >= uncompressedLength())
                    return false;
                m_buffer.prepare(m_objectLength, &m_objects, &m_referenced);
                // An empty record is complete now, whatever bytes follow.
                if (m_objectLength == 0 && !dispatchRecord())
                    return false;
            }
        } else {
            const uint32_t need = m_buffer.length() - m_buffer.fillCount();
            const uint32_t n = count < need ? count : need;
            m_buffer.append(bytes, n);
            bytes += n;
            count -= n;
            if (n == need && !dispatchRecord())
                return false;
        }
    }
    addOutput(total);
    return true;
}

bool CkwSerializeObjectsIn::dispatchRecord()
{
    bool ok;
    if (sectionIndex() == 0)
        ok = readHeaderObject();
    else if (m_header == nullptr)
        ok = false; // every file starts with its header object
    else if (sectionIndex() == 1 && m_header->hasExternalReferences())
        ok = readExternalReferences();
    else
        ok = readObject();
    m_objectState = kObjectType;
    return ok && m_buffer.cursor() == m_buffer.length();
}

IkwSerializable* CkwSerializeObjectsIn::appendNewObject()
{
    // Its place among the roots, made when the load ends; the rest is
    // allocated while the record's allocations are counted.
    chargeLoadBytes(sizeof(int32_t));
    m_objects.append(nullptr);
    m_referenced.append(false);
    IkwSerializable* object = engineContextL().factory->create(static_cast<int32_t>(m_objectType));
    if (object == nullptr)
        leave(KErrCorruptData);
    object->addRef();
    m_objects.last() = object;
    return object;
}

bool CkwSerializeObjectsIn::readHeaderObject()
{
    if (m_objectType != kObjectTypeHeader || m_header != nullptr)
        return false;
    const int32_t code = engineTrap([this] {
        CkwCleanupPtr<CkwHeaderObject> header(new CkwHeaderObject);
        m_objects.append(nullptr);
        m_referenced.append(true);
        header->deserialize(m_buffer);
        setTotalFileSize(header->totalFileSize());
        m_header = header.release();
    });
    return code == KErrNone;
}

bool CkwSerializeObjectsIn::readExternalReferences()
{
    if (m_objectType != kObjectTypeExternalReference)
        return false;
    const int32_t code = engineTrap([this] {
        const CkwRecordAllocations allocations(m_buffer);
        const int32_t index = m_objects.count();
        // The id alone does not make a reference: any class may sit in its slot.
        auto* reference = dynamic_cast<CkwXREF*>(appendNewObject());
        if (reference == nullptr)
            leave(KErrCorruptData);
        reference->deserialize(m_buffer);
        m_pending.append(index);
    });
    return code == KErrNone;
}

bool CkwSerializeObjectsIn::readObject()
{
    const uint32_t limit = allowOwnFormat() ? kObjectTypeLimitOwn : kObjectTypeLimitM3g;
    if (m_objectType == 0 || m_objectType >= limit || !m_pending.isEmpty())
        return false;
    const int32_t code = engineTrap([this] {
        const CkwRecordAllocations allocations(m_buffer);
        auto* readable = dynamic_cast<IkwDeserializable*>(appendNewObject());
        if (readable == nullptr)
            leave(KErrCorruptData);
        readable->deserialize(m_buffer);
    });
    if (code == KErrNoMemory)
        engineContextL().lastError = code;
    return code == KErrNone;
}

bool CkwSerializeObjectsIn::collectRoots()
{
    if (m_objectState != kObjectType)
        return false;
    for (int32_t i = 1; i < m_objects.count(); ++i)
        if (!m_referenced[i])
            m_roots.append(i);
    return true;
}

int32_t CkwSerializeObjectsIn::getPendingReferenceUri(int32_t size, char* buffer) const
{
    if (m_pending.isEmpty())
        return -1;
    // Only checked references are ever pending.
    const auto* reference = static_cast<const CkwXREF*>(m_objects[m_pending[m_pending.count() - 1]]);
    const int32_t length = reference->uri().count();
    if (buffer != nullptr && size >= 1 && size >= length && length > 0)
        kwMemcpy(buffer, reference->uri().data(), static_cast<size_t>(length));
    return length;
}

void CkwSerializeObjectsIn::resolvePendingReference(IkwSerializable* object)
{
    if (m_pending.isEmpty())
        return;
    const int32_t index = m_pending[m_pending.count() - 1];
    if (object != nullptr)
        object->addRef();
    IkwSerializable* reference = m_objects[index];
    m_objects[index] = object;
    if (reference != nullptr)
        reference->release();
    m_pending.setCount(m_pending.count() - 1);
}
