// Reading the header and external-reference records.
#include "engine/core/loader/CkwHeaderObject.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

void CkwHeaderObject::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    const uint8_t major = buffer.readByte();
    const uint8_t minor = buffer.readByte();
    if (major != 1 || minor != 0)
        leave(KErrCorruptData);
    m_hasExternalReferences = buffer.readBoolean();
    m_totalFileSize = buffer.readUInt32();
    m_approximateContentSize = buffer.readUInt32();
    buffer.readString(m_authoringField);
}

IkwSerializable* CkwXREF::create()
{
    return new CkwXREF;
}

void CkwXREF::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    buffer.readString(m_uri);
}
