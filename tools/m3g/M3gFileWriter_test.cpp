// The writer against files assembled by hand from the format tables, and the
// framing of compressed sections.
#include "tools/m3g/M3gFileWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <zlib.h>

namespace {

uint32_t u32At(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(M3gFileWriter, EmptyFileMatchesHandAssembledBytes)
{
    const std::vector<uint8_t> expected = {
        0xAB, 'J', 'S', 'R', '1', '8', '4', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A,
        0x00, 0x1E, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,  // plain, 30 bytes, 17 data bytes
        0x00, 0x0C, 0x00, 0x00, 0x00,                          // header record, 12 bytes
        0x01, 0x00, 0x00,                                      // version 1.0, no references
        0x2A, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00,  // sizes 42, empty authoring field
        0x91, 0x00, 0x85, 0x07};                               // Adler-32
    EXPECT_EQ(M3gFileWriter().finish(), expected);
}

TEST(M3gFileWriter, OwnFlavourStartsWithItsIdentifier)
{
    const std::vector<uint8_t> file = M3gFileWriter(M3gFlavour::Own).finish();
    const std::vector<uint8_t> id(file.begin(), file.begin() + 12);
    EXPECT_EQ(id, (std::vector<uint8_t>{0xBB, 'M', 'O', 'R', 'V', 'A', 'L', 0xAB, 0x0D, 0x0A, 0x1A, 0x0A}));
}

// Walks the sections of a file and checks each one's framing; returns the
// decompressed payloads.
std::vector<std::vector<uint8_t>> splitSections(const std::vector<uint8_t>& file)
{
    std::vector<std::vector<uint8_t>> payloads;
    size_t at = 12;
    while (at < file.size()) {
        const uint32_t total = u32At(file, at + 1);
        const uint32_t plain = u32At(file, at + 5);
        EXPECT_GE(total, kM3gSectionOverhead);
        EXPECT_LE(at + total, file.size());
        const uint32_t sum = static_cast<uint32_t>(adler32(1, file.data() + at, total - 4));
        EXPECT_EQ(u32At(file, at + total - 4), sum);
        std::vector<uint8_t> payload(plain);
        if (file[at] == kM3gSchemeZlib) {
            uLongf size = plain;
            EXPECT_EQ(uncompress(payload.data(), &size, file.data() + at + 9, total - 13), Z_OK);
            EXPECT_EQ(size, plain);
        } else {
            EXPECT_EQ(total - 13, plain);
            std::copy(file.begin() + at + 9, file.begin() + at + total - 4, payload.begin());
        }
        payloads.push_back(payload);
        at += total;
    }
    EXPECT_EQ(at, file.size());
    return payloads;
}

TEST(M3gFileWriter, SectionsCarryLengthsChecksumsAndIndices)
{
    for (uint8_t scheme : {kM3gSchemeNone, kM3gSchemeZlib}) {
        M3gFileWriter writer;
        writer.setHeaderScheme(scheme);
        writer.setExternalReferenceScheme(scheme);
        writer.setAuthoringField("Pennyfall tools");
        EXPECT_EQ(writer.addExternalReference("a.m3g"), 2u);
        EXPECT_EQ(writer.addExternalReference("b.png"), 3u);
        writer.beginSection(scheme);
        M3gRecord big{9, std::vector<uint8_t>(3000, 0x5A)};
        EXPECT_EQ(writer.addObject(big), 4u);
        writer.beginSection(kM3gSchemeNone);
        EXPECT_EQ(writer.addObject({9, {1, 2, 3}}), 5u);

        const std::vector<uint8_t> file = writer.finish();
        const auto payloads = splitSections(file);
        ASSERT_EQ(payloads.size(), 4u);
        // Header record: type 0, then the size field after version and flag.
        EXPECT_EQ(payloads[0][0], kM3gTypeHeader);
        EXPECT_EQ(payloads[0][5 + 2], 1);
        EXPECT_EQ(u32At(payloads[0], 5 + 3), file.size());
        std::vector<uint8_t> refs;
        m3gAppendRecord(refs, m3gExternalReferenceRecord("a.m3g"));
        m3gAppendRecord(refs, m3gExternalReferenceRecord("b.png"));
        EXPECT_EQ(payloads[1], refs);
        EXPECT_EQ(payloads[2].size(), 3005u);
        EXPECT_EQ(payloads[3], (std::vector<uint8_t>{9, 3, 0, 0, 0, 1, 2, 3}));
    }
}

TEST(M3gFileWriter, ReferencesAfterObjectsAreRefused)
{
    M3gFileWriter writer;
    writer.addObject({9, {}});
    EXPECT_THROW(writer.addExternalReference("x"), std::logic_error);
}

TEST(M3gFileWriter, RawSectionOverridesReplaceComputedFields)
{
    M3gRawSection section = m3gSection(kM3gSchemeNone, std::vector<uint8_t>{7});
    section.totalLength = 12;
    section.uncompressedLength = 99;
    section.checksum = 0xDEADBEEF;
    std::vector<uint8_t> out;
    m3gAppendSection(out, section);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 12, 0, 0, 0, 99, 0, 0, 0, 7, 0xEF, 0xBE, 0xAD, 0xDE}));
}

TEST(M3gRecordWriter, FieldsUseTheWireForms)
{
    const std::array<float, 16> m = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    struct Case {
        const char* name;
        M3gRecordWriter writer;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"int16", M3gRecordWriter().int16(-2), {0xFE, 0xFF}},
        {"uint32", M3gRecordWriter().uint32(0x01020304), {4, 3, 2, 1}},
        {"float one", M3gRecordWriter().float32(1.0f), {0, 0, 0x80, 0x3F}},
        {"negative zero", M3gRecordWriter().float32(-0.0f), {0, 0, 0, 0x80}},
        {"infinity", M3gRecordWriter().float32(std::numeric_limits<float>::infinity()), {0, 0, 0x80, 0x7F}},
        {"raw bits", M3gRecordWriter().floatBits(0x00000001), {1, 0, 0, 0}},
        {"rgb", M3gRecordWriter().colorRgb(0x80112233), {0x11, 0x22, 0x33}},
        {"rgba", M3gRecordWriter().colorRgba(0x80112233), {0x11, 0x22, 0x33, 0x80}},
        {"string", M3gRecordWriter().string("h\xC3\xA9"), {'h', 0xC3, 0xA9, 0}},
        {"uint16 array", M3gRecordWriter().uint16Array(std::vector<uint16_t>{0x0102}), {1, 0, 0, 0, 2, 1}},
        {"boolean", M3gRecordWriter().boolean(true), {1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.writer.data(), c.bytes) << c.name;
    const std::vector<uint8_t> matrix = M3gRecordWriter().matrix(m).data();
    ASSERT_EQ(matrix.size(), 64u);
    EXPECT_EQ(u32At(matrix, 4), 0x40000000u); // row 0, column 1 comes second
}

} // namespace
