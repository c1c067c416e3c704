// Section layer of the 3D file parser: one step per input byte, except the
// data of a section, which is taken as a run and passed on in place.
#include "engine/core/loader/CkwSerializeIn.h"

#include <algorithm>
#include <zlib.h>

#include "engine/core/loader/CkwDecompress.h"
#include "engine/core/runtime/Trap.h"

namespace {

uint32_t adlerAdd(uint32_t sum, const uint8_t* bytes, uint32_t count)
{
    return static_cast<uint32_t>(adler32(sum, bytes, count));
}

} // namespace

CkwSerializeIn::~CkwSerializeIn()
{
    deleteDecompressor();
}

void CkwSerializeIn::deleteDecompressor()
{
    delete m_decompressor;
    m_decompressor = nullptr;
}

int32_t CkwSerializeIn::reset(bool allowOwnFormat)
{
    if (m_error != -1)
        leave(kSerializeLeaveWrongState);
    m_allowOwnFormat = allowOwnFormat;
    if (m_bytesConsumed != 0)
        return kSerializeInputBegun;
    m_parserState = kParserReady;
    deleteDecompressor();
    return kSerializeOk;
}

void CkwSerializeIn::fail(int32_t code)
{
    m_parserState = kParserFailed;
    if (m_error == -1)
        m_error = code;
}

int32_t CkwSerializeIn::close()
{
    if (m_error != -1 || (m_parserState != kParserReady && m_parserState != kParserWriting)
        || m_sectionState != kScheme)
        leave(kSerializeLeaveWrongState);
    m_parserState = kParserClosed;
    int32_t result = kSerializeOk;
    if (!collectRoots()) {
        fail(kSerializeUnfinishedObject);
        result = kSerializeUnfinishedObject;
    }
    deleteDecompressor();
    return result;
}

bool CkwSerializeIn::deliverOutput(const uint8_t* bytes, uint32_t count)
{
    // The bytes that still fit go on first, so the object layer sees the same
    // bytes however the input was cut, and fails the same way.
    const uint32_t room = m_uncompressedLength - m_outputCount;
    if (count <= room)
        return writeObjectBytes(bytes, count);
    if (room != 0 && !writeObjectBytes(bytes, room))
        return false;
    leave(kSerializeLeaveBadLength);
}

int32_t CkwSerializeIn::stepIdentifier(uint8_t b)
{
    if (m_identifier == nullptr) {
        if (b == m_headerM3G.byteAt(0)) {
            m_identifier = &m_headerM3G;
            m_isOwnFormat = false;
        } else if (m_allowOwnFormat && b == m_headerMVL.byteAt(0)) {
            m_identifier = &m_headerMVL;
            m_isOwnFormat = true;
        } else {
            return kSerializeBadIdentifier;
        }
    } else if (b != m_identifier->byteAt(m_identifierPosition)) {
        return kSerializeBadIdentifier;
    }
    if (++m_identifierPosition == m_identifier->byteCount())
        m_sectionState = kScheme;
    return 0;
}

int32_t CkwSerializeIn::stepScheme(uint8_t b)
{
    if (!beginSection())
        return kSerializeUnfinishedObject;
    ++m_sectionIndex;
    m_runningChecksum = adlerAdd(1, &b, 1);
    m_totalSectionLength = 0;
    m_uncompressedLength = 0;
    m_storedChecksum = 0;
    deleteDecompressor();
    if (b == kSchemeNone)
        m_decompressor = CkwDecompressNone::create(*this);
    else if (b == kSchemeZlib)
        m_decompressor = CkwDecompressZLib::create(*this);
    else
        return kSerializeBadData;
    m_sectionState = kTotalLength;
    return 0;
}

void CkwSerializeIn::finishData()
{
    if (m_outputCount != m_uncompressedLength)
        leave(kSerializeLeaveBadLength);
    deleteDecompressor();
    m_sectionState = kChecksum;
}

int32_t CkwSerializeIn::write(const uint8_t* data, uint32_t offset, uint32_t count)
{
    if (m_error != -1 || (m_parserState != kParserReady && m_parserState != kParserWriting))
        leave(kSerializeLeaveWrongState);
    m_parserState = kParserWriting;

    const uint8_t* in = data + offset;
    uint32_t pos = 0;
    while (pos < count) {
        // "At or above": a data run may carry the count past the size that
        // the header declared only while the header itself is being read.
        if (m_bytesConsumed >= m_totalFileSize)
            return kSerializePastFileSize;

        const uint8_t b = in[pos];
        uint32_t taken = 1;
        int32_t code = 0;
        bool stopForReferences = false;
        const uint32_t state = m_sectionState;
        if (state == kIdentifier) {
            code = stepIdentifier(b);
        } else if (state == kScheme) {
            code = stepScheme(b);
        } else if (state < kUncompressedLength) {
            m_totalSectionLength |= static_cast<uint32_t>(b) << (8 * (state - kTotalLength));
            m_runningChecksum = adlerAdd(m_runningChecksum, &b, 1);
            m_sectionState = state + 1;
            if (m_sectionState == kUncompressedLength) {
                if (m_totalSectionLength < kSectionOverhead)
                    leave(kSerializeLeaveBadLength);
                m_remainingData = m_totalSectionLength - kSectionOverhead;
            }
        } else if (state < kData) {
            if (state == kUncompressedLength)
                m_outputCount = 0;
            m_uncompressedLength |= static_cast<uint32_t>(b) << (8 * (state - kUncompressedLength));
            m_runningChecksum = adlerAdd(m_runningChecksum, &b, 1);
            m_sectionState = state + 1;
            if (m_sectionState == kData && m_uncompressedLength > kMaxSectionBytes)
                leave(kSerializeLeaveBadLength);
            if (m_sectionState == kData && m_remainingData == 0)
                finishData();
        } else if (state == kData) {
            taken = std::min({m_remainingData, count - pos, m_totalFileSize - m_bytesConsumed});
            m_runningChecksum = adlerAdd(m_runningChecksum, in + pos, taken);
            if (!m_decompressor->write(in + pos, taken)) {
                code = kSerializeBadData;
            } else {
                m_remainingData -= taken;
                if (m_remainingData == 0)
                    finishData();
            }
        } else {
            m_storedChecksum |= static_cast<uint32_t>(b) << (8 * (state - kChecksum));
            m_sectionState = state + 1;
            if (state == kChecksum + 3) {
                if (m_storedChecksum != m_runningChecksum)
                    code = kSerializeBadChecksum;
                stopForReferences = hasPendingExternalReferences();
                m_sectionState = kScheme;
            }
        }
        if (code != 0) {
            fail(code);
            return code;
        }
        m_bytesConsumed += taken;
        pos += taken;
        if (stopForReferences)
            return static_cast<int32_t>(pos);
    }
    return kSerializeOk;
}
