// The object layer of the 3D file parser. It cuts the decompressed section
// data into object records, makes each object through the object factory and
// lets it read its fields, keeps the list of loaded objects with a referenced
// flag each, tracks the external references still to resolve and, at the end,
// reports the roots: the objects nothing in the file references.
#pragma once

#include <cstdint>

#include "engine/core/loader/CkwHeaderObject.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/loader/CkwSerializeIn.h"

class CkwSerializeObjectsIn : public CkwSerializeIn {
public:
    CkwSerializeObjectsIn() = default;
    ~CkwSerializeObjectsIn() override;

    // The bytes it takes widen the load's allowance, unless the parser reads
    // a file for a reference.
    int32_t write(const uint8_t* data, uint32_t offset, uint32_t count) override;
    bool writeObjectBytes(const uint8_t* bytes, uint32_t count) override;
    bool beginSection() override;
    bool collectRoots() override;
    bool hasPendingExternalReferences() const override { return !m_pending.isEmpty(); }

    // The URI length of the most recent unresolved external reference, -1
    // when none is pending. The bytes are copied only when they fit.
    int32_t getPendingReferenceUri(int32_t size, char* buffer) const;
    // Puts object (null allowed) in place of that external reference.
    void resolvePendingReference(IkwSerializable* object);

    // Index 0 is null and 1 the header's place; the file's objects follow.
    int32_t objectCount() const { return m_objects.count(); }
    IkwSerializable* objectAt(int32_t index) const { return m_objects[index]; }
    bool isReferenced(int32_t index) const { return m_referenced[index]; }
    const CkwArray<int32_t>& roots() const { return m_roots; }
    const CkwHeaderObject* header() const { return m_header; }
    // What the objects read so far made without bringing the bytes.
    uint64_t madeBytes() const { return m_buffer.madeBytes(); }
    void setMadeBytes(uint64_t bytes) { m_buffer.setMadeBytes(bytes); }
    const CkwLoadCharges& charges() const { return m_buffer.charges(); }
    // Leaves -4 past kLoadBytesPerFile.
    void chargeLoadBytes(uint64_t bytes) { m_buffer.chargeLoadBytes(bytes); }
    // A referenced file is read again for each reference: its bytes draw on
    // the load's allowance instead of widening it.
    void setReadForReference() { m_readForReference = true; }
    void setCharges(const CkwLoadCharges& charges) { m_buffer.setCharges(charges); }

private:
    enum ObjectState : uint32_t { kObjectType = 0, kObjectLength = 1, kObjectData = 5 };

    bool dispatchRecord();
    bool readHeaderObject();
    bool readExternalReferences();
    bool readObject();
    // Appends an empty slot for the next object, then fills it with a new
    // object of the record's type holding one reference. Leaves on failure.
    IkwSerializable* appendNewObject();

    uint32_t m_objectState = kObjectType;
    uint32_t m_objectLength = 0;
    uint32_t m_objectType = 0;
    CkwSerializeBufferObjectsIn m_buffer;
    CkwArray<IkwSerializable*> m_objects;
    CkwArray<bool> m_referenced;
    CkwArray<int32_t> m_roots;
    CkwArray<int32_t> m_pending;
    CkwHeaderObject* m_header = nullptr;
    bool m_readForReference = false;
};
