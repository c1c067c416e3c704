// One object record's data and the typed readers every deserialize uses. They
// fix the wire form of each basic value: little-endian integers, checked IEEE
// floats, NUL-terminated UTF-8 strings, counted arrays and object indices
// resolved against the objects read so far. Reading past the record leaves
// -1200.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwRefCount.h"

// The most bytes one load's records may make without bringing them (blank
// mutable images, generated pictures, depth maps, skinned meshes' copies of
// their source's vertices), with the pictures its references unpack: what
// the largest image may take, since the device never had more memory than
// that. One allowance serves a file and every file it references, or naming
// a file twice would double it.
constexpr uint64_t kMadeBytesPerFile = 64u << 20;
// The most vertex steps one load's records may ask of every frame through
// sharing: morph targets times their base's vertices, the vertices skin
// bindings cover, and each skinned mesh's source vertices, which it skins
// and indexes whole. A few bytes name a whole buffer again, so without a
// bound the work of a frame would grow with the square of the file.
constexpr uint64_t kDeformStepsPerFile = 1u << 22;
// The most steps one load's records may spend working out pictures they
// describe rather than hold: each plasma pixel's sixteen features and a
// search of each warp map. A few dozen bytes describe a 2^15 x 2^15 picture;
// a 1024 x 1024 plasma takes about 24 Mi steps, a fifth of a second here.
constexpr uint64_t kGenerationStepsPerFile = 1u << 25;

// The most bytes one load may unpack from its sections, read from the files
// it references and allocate for its records beyond their bytes (objects,
// keyframe stores, pixels, tables, whatever a class keeps): kLoadBytesPerFile,
// and kLoadBytesPerInputByte more for each byte the caller hands it, as
// zlib-based readers cap their output ratio, but never past kMaxLoadBytes.
// A cap per section is met once per section, and a record of a few bytes
// makes an object of hundreds; one ledger serves the file and every file it
// references. The credit only decides how early a small file is refused:
// bytes cost little to bring when a deflated pack entry brings them, so
// they cannot buy a load more than the ceiling. A scene with its models and
// textures takes a few megabytes.
constexpr uint64_t kLoadBytesPerFile = 16u << 20;
constexpr uint64_t kLoadBytesPerInputByte = 64;
constexpr uint64_t kMaxLoadBytes = 64u << 20;

// What a load's records have drawn on its allowances so far; a nested load
// carries it down and back, so references cannot multiply them.
struct CkwLoadCharges {
    uint64_t madeBytes = 0;
    uint64_t deformSteps = 0;
    uint64_t generationSteps = 0;
    uint64_t loadBytes = 0;
    uint64_t inputBytes = 0; // of the file the caller handed the load
};

class CkwRecordAllocations;

class CkwSerializeBufferObjectsIn : public CkwHeapObject {
public:
    // Starts a record of length bytes; the buffer grows as its bytes arrive.
    void prepare(uint32_t length, CkwArray<IkwSerializable*>* objects, CkwArray<bool>* referenced);
    // Leaves -1200 when the bytes would pass the record's length.
    void append(const uint8_t* bytes, uint32_t count);
    uint32_t length() const { return m_length; }
    uint32_t fillCount() const { return m_fillCount; }
    uint32_t cursor() const { return m_cursor; }
    uint32_t remaining() const { return m_length - m_cursor; }
    // A record of a few bytes may ask for a whole image, so what the records
    // of one load make draws on kMadeBytesPerFile; past it leaves -4, as
    // memory that ran out.
    void chargeMadeBytes(uint64_t bytes);
    // Likewise for kDeformStepsPerFile, kGenerationStepsPerFile and the
    // load's ledger.
    void chargeDeformSteps(uint64_t steps);
    void chargeGenerationSteps(uint64_t steps);
    void chargeLoadBytes(uint64_t bytes);
    // What the ledger has left; 0 once bytes handed back took the credit
    // that paid for what was drawn.
    uint64_t loadBytesLeft() const;
    // Negative for bytes handed back to be offered again.
    void countInputBytes(int64_t bytes) { m_charges.inputBytes += static_cast<uint64_t>(bytes); }
    uint64_t madeBytes() const { return m_charges.madeBytes; }
    void setMadeBytes(uint64_t bytes) { m_charges.madeBytes = bytes; }
    const CkwLoadCharges& charges() const { return m_charges; }
    void setCharges(const CkwLoadCharges& charges) { m_charges = charges; }

    uint8_t readByte();
    // 0 or 1, else -1101.
    bool readBoolean();
    // A byte strictly between low and high, else -1101.
    uint8_t readByteInRange(int32_t low, int32_t high);
    int16_t readInt16();
    uint16_t readUInt16();
    int32_t readInt32();
    uint32_t readUInt32();
    uint16_t readUInt32As16();
    // Only normal numbers and +0.0; anything else leaves -1202.
    float readFloat();
    void readVector3(float out[3]);
    // Sixteen floats in row order, then the matrix is classified.
    void readMatrix(CkwMatrix& out);
    // A UInt32 count whose elements fit in what is left of the record.
    uint32_t readArrayCount(uint32_t elementSize);
    // With n < 0 the count is read first.
    void readByteArray(CkwArray<uint8_t>& out, int32_t n = -1);
    void readUInt16Array(CkwArray<uint16_t>& out, int32_t n = -1);
    void readFloatArray(CkwArray<float>& out, int32_t n = -1);
    void readUInt32ArrayAs16(CkwArray<uint16_t>& out, int32_t n = -1);
    // The next n bytes in place; null for 0.
    const uint8_t* readBytes(uint32_t n);
    // R, G, B (and A) into 0xAARRGGBB; without alpha, out keeps its A byte.
    void readColor(uint32_t& out, bool withAlpha);
    // Appends the UTF-8 bytes before the terminating 0; malformed: -1101.
    void readString(CkwArray<char>& out);

    // Index 0 gives null. Index 1 (the header), the reading object's own
    // index and later ones leave -1202. Marks the index referenced.
    IkwSerializable* readObjectIndex();
    // A non-null object must have this class id, else -1202.
    IkwSerializable* readObjectOfType(int32_t classId);
    IkwSerializable* readNodeReference(bool allowWorld);
    IkwSerializable* readImageReference(bool allowStageset);

private:
    // Leaves -1200 unless n more bytes are left; returns the first of them.
    const uint8_t* take(uint32_t n);
    // Checks n elements of elementSize against what is left, in 64 bits,
    // before anything is sized from n.
    uint32_t arrayLength(int32_t n, uint32_t elementSize);

    CkwArray<uint8_t> m_data;
    uint32_t m_length = 0;
    uint32_t m_cursor = 0;
    uint32_t m_fillCount = 0;
    // The index of the object being read: it and everything after it are not
    // complete yet, so no reference may name them.
    uint32_t m_indexLimit = 0;
    CkwArray<IkwSerializable*>* m_objects = nullptr;
    CkwArray<bool>* m_referenced = nullptr;
    CkwLoadCharges m_charges;  // over the whole load, not one record
    CkwRecordAllocations* m_record = nullptr; // open while a record is read
    friend class CkwRecordAllocations;
};

// While one lives, what the engine allocates draws on the load's ledger as it
// is allocated, beyond the bytes of the record being read (charged as they
// arrived) and what the record drew on kMadeBytesPerFile: a request past what
// is left fails as memory that ran out, so a record cannot make memory first
// and be refused after, whatever its class keeps. The loader opens one
// around each record's creation and deserialize.
class CkwRecordAllocations {
public:
    explicit CkwRecordAllocations(CkwSerializeBufferObjectsIn& buffer);
    ~CkwRecordAllocations();
    CkwRecordAllocations(const CkwRecordAllocations&) = delete;
    CkwRecordAllocations& operator=(const CkwRecordAllocations&) = delete;

private:
    friend class CkwSerializeBufferObjectsIn;
    // Bytes paid for elsewhere: allocating them draws nothing here.
    void exempt(uint64_t bytes);

    CkwSerializeBufferObjectsIn& m_buffer;
    CkwRecordAllocations* m_enclosing;
    uint64_t m_exempt;  // the record's bytes and its made bytes
    uint64_t m_granted; // what the allocations may take, m_exempt included
    uint64_t m_left;
    uint64_t* m_outer;
};
