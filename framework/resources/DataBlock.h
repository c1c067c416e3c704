// A block of bytes read whole from a stream, with the tag that says what the
// bytes are: the payload of data resources and the base of sound samples.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/resources/ResourceIds.h"
#include "framework/services/HashedObject.h"

class InputStream;

class DataBlock : public HashedObject {
public:
    explicit DataBlock(uint32_t typeId = ResourceClassId::DataBlock) : HashedObject(typeId) {}

    // Replaces the bytes with everything the stream has left; 0 (and an
    // empty block) when it has nothing or the read fails.
    int read(InputStream& stream, uint32_t tag);
    void clear();
    // Takes ownership of the bytes.
    void adopt(std::unique_ptr<uint8_t[]> data, uint32_t size, uint32_t tag);

    const uint8_t* data() const { return m_data.get(); }
    uint32_t size() const { return m_size; }
    uint32_t tag() const { return m_tag; }

protected:
    std::unique_ptr<uint8_t[]> m_data;
    uint32_t m_size = 0;
    uint32_t m_tag = 0;
};
