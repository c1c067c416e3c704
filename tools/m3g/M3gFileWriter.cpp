// Section framing, compression and the two-pass fill of the header's
// totalFileSize.
#include "tools/m3g/M3gFileWriter.h"

#include <stdexcept>
#include <zlib.h>

namespace {

void appendU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

std::vector<uint8_t> deflateBytes(std::span<const uint8_t> payload)
{
    uLongf size = compressBound(static_cast<uLong>(payload.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, payload.data(), static_cast<uLong>(payload.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("m3gwriter: deflate failed");
    out.resize(size);
    return out;
}

} // namespace

M3gRecord m3gHeaderRecord(const M3gHeaderFields& fields)
{
    M3gRecordWriter w;
    w.byte(fields.versionMajor)
        .byte(fields.versionMinor)
        .boolean(fields.hasExternalReferences)
        .uint32(fields.totalFileSize)
        .uint32(fields.approximateContentSize)
        .string(fields.authoringField);
    return w.record(kM3gTypeHeader);
}

M3gRecord m3gExternalReferenceRecord(std::string_view uri)
{
    return M3gRecordWriter().string(uri).record(kM3gTypeExternalReference);
}

void m3gAppendRecord(std::vector<uint8_t>& out, const M3gRecord& record)
{
    out.push_back(record.type);
    appendU32(out, static_cast<uint32_t>(record.data.size()));
    out.insert(out.end(), record.data.begin(), record.data.end());
}

M3gRawSection m3gSection(uint8_t scheme, std::span<const uint8_t> payload)
{
    M3gRawSection section;
    section.scheme = scheme;
    section.uncompressedLength = static_cast<uint32_t>(payload.size());
    if (scheme == kM3gSchemeZlib)
        section.stored = deflateBytes(payload);
    else
        section.stored.assign(payload.begin(), payload.end());
    return section;
}

void m3gAppendSection(std::vector<uint8_t>& out, const M3gRawSection& section)
{
    const size_t start = out.size();
    out.push_back(section.scheme);
    appendU32(out, section.totalLength.value_or(static_cast<uint32_t>(section.stored.size()) + kM3gSectionOverhead));
    appendU32(out, section.uncompressedLength);
    out.insert(out.end(), section.stored.begin(), section.stored.end());
    const uint32_t sum = static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), out.data() + start, static_cast<uInt>(out.size() - start)));
    appendU32(out, section.checksum.value_or(sum));
}

void m3gAppendIdentifier(std::vector<uint8_t>& out, M3gFlavour flavour)
{
    const auto& id = flavour == M3gFlavour::Own ? kOwnIdentifier : kM3gIdentifier;
    out.insert(out.end(), id.begin(), id.end());
}

uint32_t M3gFileWriter::addExternalReference(std::string_view uri)
{
    if (!m_sections.empty())
        throw std::logic_error("m3gwriter: external references must precede the objects");
    m3gAppendRecord(m_references, m3gExternalReferenceRecord(uri));
    return m_nextIndex++;
}

void M3gFileWriter::beginSection(uint8_t scheme)
{
    m_sections.push_back({scheme, {}});
}

uint32_t M3gFileWriter::addObject(const M3gRecord& record)
{
    if (m_sections.empty())
        beginSection(kM3gSchemeNone);
    m3gAppendRecord(m_sections.back().payload, record);
    ++m_sections.back().objects;
    return m_nextIndex++;
}

void M3gFileWriter::repeatSection(uint32_t times)
{
    m_sections.back().copies += times;
    m_nextIndex += m_sections.back().objects * times;
}

std::vector<uint8_t> M3gFileWriter::assemble(uint32_t totalFileSize, const std::vector<M3gRawSection>& sections) const
{
    M3gHeaderFields header;
    header.hasExternalReferences = !m_references.empty();
    header.totalFileSize = totalFileSize;
    header.approximateContentSize = totalFileSize;
    header.authoringField = m_authoringField;
    std::vector<uint8_t> headerPayload;
    m3gAppendRecord(headerPayload, m3gHeaderRecord(header));

    std::vector<uint8_t> out;
    m3gAppendIdentifier(out, m_flavour);
    m3gAppendSection(out, m3gSection(m_headerScheme, headerPayload));
    if (!m_references.empty())
        m3gAppendSection(out, m3gSection(m_referenceScheme, m_references));
    for (size_t i = 0; i < m_sections.size(); ++i)
        for (uint32_t k = 0; k < m_sections[i].copies; ++k)
            m3gAppendSection(out, sections[i]);
    return out;
}

std::vector<uint8_t> M3gFileWriter::finish() const
{
    // The size field is fixed-width, so a plain header settles at once; a
    // compressed one may change length with the value and needs a few rounds.
    // Only the header changes between rounds: each section is deflated once.
    std::vector<M3gRawSection> sections;
    for (const Section& section : m_sections)
        sections.push_back(m3gSection(section.scheme, section.payload));
    uint32_t size = 0;
    for (int round = 0; round < 16; ++round) {
        std::vector<uint8_t> file = assemble(size, sections);
        if (file.size() == size)
            return file;
        size = static_cast<uint32_t>(file.size());
    }
    throw std::runtime_error("m3gwriter: file size does not settle");
}
