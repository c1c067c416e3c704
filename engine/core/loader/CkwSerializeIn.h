// The section layer of the 3D file parser: a push parser fed in pieces of any
// size. It matches the file identifier, splits the input into sections, checks
// their lengths and Adler-32, and hands each section's data, inflated when the
// section says so, to the object layer through four pure operations.
//
// No input byte is buffered here: the state is a handful of counters, so the
// caller may stop at any byte and resume with the next piece.
#pragma once

#include <cstdint>

#include "engine/core/loader/CkwFileHeader.h"
#include "engine/core/runtime/CkwRefCount.h"

class CkwDecompress;

// The most one section may unpack to, and so the largest object record (a
// record lies inside one section's output): what the largest image may take.
// A few compressed bytes can announce a gigabyte of zeros; a section past this
// is refused at its header, before anything is inflated or gathered.
constexpr uint32_t kMaxSectionBytes = 64u << 20;

class CkwSerializeIn : public CkwHeapObject, public CkwRefCount {
public:
    enum ParserState : uint32_t { kParserNew, kParserReady, kParserWriting, kParserClosed, kParserFailed };

    ~CkwSerializeIn() override;

    // Returns -1, or -5 once identifier bytes were accepted. Leaves -1103 when
    // an error is recorded.
    virtual int32_t reset(bool allowOwnFormat);
    // Consumes count bytes from data + offset. -1: all taken, more wanted;
    // >= 0: stopped for pending external references after that many bytes;
    // -11: bytes beyond the declared file size; other negatives: failure.
    virtual int32_t write(const uint8_t* data, uint32_t offset, uint32_t count);
    // Ends the input: -1, or -10 when an object record is unfinished.
    virtual int32_t close();
    virtual void fail(int32_t code);
    virtual uint32_t getState() const { return m_parserState; }

    // The object layer.
    virtual bool writeObjectBytes(const uint8_t* bytes, uint32_t count) = 0;
    virtual bool beginSection() = 0;
    virtual bool collectRoots() = 0;
    virtual bool hasPendingExternalReferences() const = 0;

    // Decompressors pass their output here. Output beyond the section's stated
    // length leaves -1201 as soon as it arrives, not at the section's end.
    bool deliverOutput(const uint8_t* bytes, uint32_t count);

    int32_t error() const { return m_error; }
    bool isOwnFormat() const { return m_isOwnFormat; }
    bool allowOwnFormat() const { return m_allowOwnFormat; }
    int32_t sectionIndex() const { return m_sectionIndex; }
    uint32_t bytesConsumed() const { return m_bytesConsumed; }
    uint32_t totalFileSize() const { return m_totalFileSize; }
    uint32_t uncompressedLength() const { return m_uncompressedLength; }
    uint32_t outputCount() const { return m_outputCount; }

protected:
    CkwSerializeIn() = default;

    void setTotalFileSize(uint32_t size) { m_totalFileSize = size; }
    void addOutput(uint32_t count) { m_outputCount += count; }

private:
    enum SectionState : uint32_t {
        kIdentifier = 1,
        kScheme = 2,
        kTotalLength = 3,       // 3..6, low byte first
        kUncompressedLength = 7, // 7..10
        kData = 11,
        kChecksum = 12,         // 12..15
    };

    // Each returns 0 to go on, or a failure code.
    int32_t stepIdentifier(uint8_t b);
    int32_t stepScheme(uint8_t b);
    void finishData();
    void deleteDecompressor();

    int32_t m_error = -1;
    CkwDecompress* m_decompressor = nullptr;
    bool m_isOwnFormat = true;
    bool m_allowOwnFormat = true;
    uint32_t m_totalFileSize = 0xFFFFFFFF;
    uint32_t m_identifierPosition = 0;
    uint32_t m_sectionState = kIdentifier;
    int32_t m_sectionIndex = -1;
    uint32_t m_bytesConsumed = 0;
    uint32_t m_totalSectionLength = 0;
    uint32_t m_uncompressedLength = 0;
    uint32_t m_storedChecksum = 0;
    uint32_t m_runningChecksum = 0;
    uint32_t m_remainingData = 0;
    uint32_t m_outputCount = 0;
    CkwFileHeaderM3G m_headerM3G;
    CkwFileHeaderMVL m_headerMVL;
    const CkwFileHeader* m_identifier = nullptr;
    uint32_t m_parserState = kParserNew;
};
