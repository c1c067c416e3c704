// The header object and the external-reference object: the two records the
// parser reads itself rather than through a scene class.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/loader/IkwDeserializable.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwRefCount.h"

// The only object of a file's first section.
class CkwHeaderObject : public IkwSerializable, public IkwDeserializable {
public:
    // Leaves -1202 for any version but 1.0.
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;

    bool hasExternalReferences() const { return m_hasExternalReferences; }
    uint32_t totalFileSize() const { return m_totalFileSize; }
    uint32_t approximateContentSize() const { return m_approximateContentSize; }
    const CkwArray<char>& authoringField() const { return m_authoringField; }

private:
    bool m_hasExternalReferences = false;
    uint32_t m_totalFileSize = 0;
    uint32_t m_approximateContentSize = 0;
    CkwArray<char> m_authoringField;
};

// Stands in the object list for a file the loader still has to read.
class CkwXREF : public IkwSerializable, public IkwDeserializable {
public:
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassExternalReference; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;

    // The URI bytes, no terminator.
    const CkwArray<char>& uri() const { return m_uri; }

private:
    CkwArray<char> m_uri;
};
