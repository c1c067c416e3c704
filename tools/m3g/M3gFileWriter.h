// Writes whole 3D files: the identifier, the header section, the section of
// external references and the sections of object records, each stored plain or
// zlib-compressed with its lengths and Adler-32. The raw pieces below it are
// public too, so tests can assemble files that break any rule on purpose.
#pragma once

#include "tools/m3g/M3gFormat.h"
#include "tools/m3g/M3gRecordWriter.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct M3gHeaderFields {
    uint8_t versionMajor = 1;
    uint8_t versionMinor = 0;
    bool hasExternalReferences = false;
    uint32_t totalFileSize = 0;
    uint32_t approximateContentSize = 0;
    std::string authoringField;
};

M3gRecord m3gHeaderRecord(const M3gHeaderFields& fields);
M3gRecord m3gExternalReferenceRecord(std::string_view uri);

// Type byte, UInt32 length, data.
void m3gAppendRecord(std::vector<uint8_t>& out, const M3gRecord& record);

// One section as it will be stored. The optional fields replace the values the
// writer would compute, for corrupt files.
struct M3gRawSection {
    uint8_t scheme = kM3gSchemeNone;
    std::vector<uint8_t> stored;
    uint32_t uncompressedLength = 0;
    std::optional<uint32_t> totalLength;
    std::optional<uint32_t> checksum;
};

// A well-formed section holding payload, deflated when scheme is zlib.
M3gRawSection m3gSection(uint8_t scheme, std::span<const uint8_t> payload);
void m3gAppendSection(std::vector<uint8_t>& out, const M3gRawSection& section);
void m3gAppendIdentifier(std::vector<uint8_t>& out, M3gFlavour flavour);

class M3gFileWriter {
public:
    explicit M3gFileWriter(M3gFlavour flavour = M3gFlavour::M3g) : m_flavour(flavour) {}

    void setAuthoringField(std::string text) { m_authoringField = std::move(text); }
    void setHeaderScheme(uint8_t scheme) { m_headerScheme = scheme; }
    void setExternalReferenceScheme(uint8_t scheme) { m_referenceScheme = scheme; }

    // External references take the indices right after the header, so they
    // must all be added before the first object. Returns the object index.
    uint32_t addExternalReference(std::string_view uri);
    // Starts a new section for the objects that follow.
    void beginSection(uint8_t scheme);
    // Appends to the current section (a plain one when none was begun) and
    // returns the index the object will have in the file.
    uint32_t addObject(const M3gRecord& record);
    // Writes the current section times more after it, with its objects, so
    // a file of many alike sections costs one to make.
    void repeatSection(uint32_t times);
    uint32_t nextIndex() const { return m_nextIndex; }

    // The file with the header's totalFileSize filled in.
    std::vector<uint8_t> finish() const;

private:
    struct Section {
        uint8_t scheme;
        std::vector<uint8_t> payload;
        uint32_t objects = 0;
        uint32_t copies = 1;
    };

    std::vector<uint8_t> assemble(uint32_t totalFileSize, const std::vector<M3gRawSection>& sections) const;

    M3gFlavour m_flavour;
    std::string m_authoringField;
    uint8_t m_headerScheme = kM3gSchemeNone;
    uint8_t m_referenceScheme = kM3gSchemeNone;
    std::vector<uint8_t> m_references;
    std::vector<Section> m_sections;
    uint32_t m_nextIndex = kM3gHeaderIndex + 1;
};
