// The two 12-byte file identifiers the parser accepts: M3G's and the engine's
// own variant's.
#pragma once

#include <cstdint>

#include "engine/core/loader/SerializeCodes.h"
#include "engine/core/runtime/CkwHeapObject.h"

class CkwFileHeader : public CkwHeapObject {
public:
    uint8_t byteAt(uint32_t i) const { return m_bytes[i]; }
    uint32_t byteCount() const { return m_byteCount; }

protected:
    explicit CkwFileHeader(const uint8_t* bytes) : m_bytes(bytes) {}

private:
    const uint8_t* m_bytes;
    uint32_t m_byteCount = kFileIdentifierLength;
};

class CkwFileHeaderM3G : public CkwFileHeader {
public:
    CkwFileHeaderM3G();
};

class CkwFileHeaderMVL : public CkwFileHeader {
public:
    CkwFileHeaderMVL();
};
