// The section layer alone, under a sink that records what it is given:
// identifiers, lengths, checksums, the zlib window and the parser's codes.
#include "engine/core/loader/CkwSerializeIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/core/loader/CkwDecompress.h"
#include "engine/core/loader/SerializeTestKit.h"
#include "tools/m3g/M3gFileWriter.h"

namespace {

class RecordingParser : public CkwSerializeIn {
public:
    bool writeObjectBytes(const uint8_t* bytes, uint32_t count) override
    {
        output.insert(output.end(), bytes, bytes + count);
        largestDelivery = std::max(largestDelivery, count);
        addOutput(count);
        return acceptOutput;
    }
    bool beginSection() override
    {
        ++sections;
        return true;
    }
    bool collectRoots() override { return rootsComplete; }
    bool hasPendingExternalReferences() const override { return false; }
    void declareFileSize(uint32_t size) { setTotalFileSize(size); }

    std::vector<uint8_t> output;
    uint32_t largestDelivery = 0;
    int sections = 0;
    bool acceptOutput = true;
    bool rootsComplete = true;
};

std::vector<uint8_t> fileWith(std::initializer_list<M3gRawSection> sections, M3gFlavour flavour = M3gFlavour::M3g)
{
    std::vector<uint8_t> file;
    m3gAppendIdentifier(file, flavour);
    for (const M3gRawSection& s : sections)
        m3gAppendSection(file, s);
    return file;
}

std::vector<uint8_t> pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

// Feeds in pieces of one size and closes; the code of the first failure.
int32_t run(RecordingParser& parser, const std::vector<uint8_t>& file, uint32_t piece, bool allowOwn = true)
{
    int32_t result = -1;
    const int32_t left = engineTrap([&] {
        parser.reset(allowOwn);
        for (uint32_t at = 0; at < file.size(); at += piece) {
            const uint32_t n = std::min<uint32_t>(piece, static_cast<uint32_t>(file.size()) - at);
            result = parser.write(file.data(), at, n);
            if (result != -1)
                return;
        }
        result = parser.close();
    });
    return left != KErrNone ? left : result;
}

class SerializeInTest : public ::testing::Test {
protected:
    TestEngine engine;
};

TEST_F(SerializeInTest, EmptyWriteOnlyMovesToWriting)
{
    RecordingParser parser;
    EXPECT_EQ(parser.getState(), CkwSerializeIn::kParserNew);
    EXPECT_EQ(parser.reset(true), -1);
    EXPECT_EQ(parser.getState(), CkwSerializeIn::kParserReady);
    const uint8_t none = 0;
    EXPECT_EQ(parser.write(&none, 0, 0), -1);
    EXPECT_EQ(parser.getState(), CkwSerializeIn::kParserWriting);
    EXPECT_EQ(parser.bytesConsumed(), 0u);
}

TEST_F(SerializeInTest, IdentifiersChooseTheFormat)
{
    const std::vector<uint8_t> m3g = fileWith({});
    const std::vector<uint8_t> own = fileWith({}, M3gFlavour::Own);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool allowOwn;
        int32_t code;
        bool isOwn;
    };
    std::vector<uint8_t> wrongAtFive = m3g;
    wrongAtFive[5] ^= 1;
    const Case cases[] = {
        {"m3g", m3g, true, -1, false},
        {"own allowed", own, true, -1, true},
        {"own refused", own, false, kSerializeBadIdentifier, true},
        {"mismatch inside", wrongAtFive, true, kSerializeBadIdentifier, false},
        {"png", {0x89, 'P', 'N', 'G'}, true, kSerializeBadIdentifier, true},
    };
    for (const Case& c : cases) {
        for (uint32_t piece : {1u, 5u, 64u}) {
            RecordingParser parser;
            EXPECT_EQ(run(parser, c.file, piece, c.allowOwn), c.code) << c.name << " piece " << piece;
            EXPECT_EQ(parser.isOwnFormat(), c.isOwn) << c.name;
            EXPECT_EQ(parser.getState(), c.code == -1 ? CkwSerializeIn::kParserClosed : CkwSerializeIn::kParserFailed);
            EXPECT_EQ(parser.error(), c.code);
        }
    }
}

TEST_F(SerializeInTest, ResetAfterInputBegunIsRefused)
{
    RecordingParser parser;
    const std::vector<uint8_t> file = fileWith({});
    engineTrap([&] {
        parser.reset(true);
        parser.write(file.data(), 0, 3);
    });
    int32_t result = 0;
    EXPECT_EQ(engineTrap([&] { result = parser.reset(false); }), KErrNone);
    EXPECT_EQ(result, kSerializeInputBegun);
}

TEST_F(SerializeInTest, FailedAndClosedParsersRefuseEverything)
{
    RecordingParser failed;
    std::vector<uint8_t> bad = {0x00};
    ASSERT_EQ(run(failed, bad, 1), kSerializeBadIdentifier);
    RecordingParser closed;
    ASSERT_EQ(run(closed, fileWith({}), 4), -1);
    for (RecordingParser* parser : {&failed, &closed}) {
        EXPECT_EQ(engineTrap([&] { parser->write(bad.data(), 0, 1); }), kSerializeLeaveWrongState);
        EXPECT_EQ(engineTrap([&] { parser->close(); }), kSerializeLeaveWrongState);
    }
    EXPECT_EQ(engineTrap([&] { failed.reset(true); }), kSerializeLeaveWrongState);
}

TEST_F(SerializeInTest, SectionsPassTheirDataWhateverThePieceSize)
{
    const std::vector<uint8_t> a = pattern(3000), b = pattern(5);
    const std::vector<uint8_t> file = fileWith({m3gSection(kSchemeZlib, a), m3gSection(kSchemeNone, b),
                                                m3gSection(kSchemeNone, {}), m3gSection(kSchemeZlib, {})});
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    for (uint32_t piece : {1u, 2u, 3u, 13u, 1024u, 100000u}) {
        RecordingParser parser;
        EXPECT_EQ(run(parser, file, piece), -1) << piece;
        EXPECT_EQ(parser.output, expected) << piece;
        EXPECT_EQ(parser.sections, 4);
        EXPECT_EQ(parser.sectionIndex(), 3);
        EXPECT_LE(parser.largestDelivery, kZlibWindowSize);
        EXPECT_EQ(parser.bytesConsumed(), file.size());
    }
}

TEST_F(SerializeInTest, FieldsCutBetweenCallsAreAccepted)
{
    const std::vector<uint8_t> file = fileWith({m3gSection(kSchemeNone, pattern(40)), m3gSection(kSchemeZlib, pattern(40))});
    for (uint32_t cut = 1; cut < file.size(); ++cut) {
        RecordingParser parser;
        int32_t result = -1;
        engineTrap([&] {
            parser.reset(true);
            result = parser.write(file.data(), 0, cut);
            if (result == -1)
                result = parser.write(file.data(), cut, static_cast<uint32_t>(file.size()) - cut);
            if (result == -1)
                result = parser.close();
        });
        EXPECT_EQ(result, -1) << "cut at " << cut;
        EXPECT_EQ(parser.output.size(), 80u);
    }
}

TEST_F(SerializeInTest, SectionFaultsGiveTheirCodes)
{
    M3gRawSection tooShort = m3gSection(kSchemeNone, {});
    tooShort.totalLength = 12;
    M3gRawSection inflatesShort = m3gSection(kSchemeZlib, pattern(100));
    inflatesShort.uncompressedLength = 101;
    M3gRawSection plainShort = m3gSection(kSchemeNone, pattern(10));
    plainShort.uncompressedLength = 11;
    M3gRawSection badScheme = m3gSection(kSchemeNone, pattern(4));
    badScheme.scheme = 2;
    M3gRawSection badSum = m3gSection(kSchemeNone, pattern(4));
    badSum.checksum = 1;
    M3gRawSection notZlib = m3gSection(kSchemeNone, pattern(50));
    notZlib.scheme = kSchemeZlib;
    M3gRawSection runsPastFile = m3gSection(kSchemeNone, pattern(4));
    runsPastFile.totalLength = 100;
    runsPastFile.uncompressedLength = 100;
    struct Case {
        const char* name;
        M3gRawSection section;
        int32_t code;
    };
    const Case cases[] = {
        {"length 12", tooShort, kSerializeLeaveBadLength},
        {"inflates short", inflatesShort, kSerializeLeaveBadLength},
        {"plain short", plainShort, kSerializeLeaveBadLength},
        {"scheme 2", badScheme, kSerializeBadData},
        {"checksum", badSum, kSerializeBadChecksum},
        {"not a zlib stream", notZlib, kSerializeBadData},
        {"input ends in section", runsPastFile, kSerializeLeaveWrongState},
    };
    for (const Case& c : cases) {
        for (uint32_t piece : {1u, 7u, 4096u}) {
            RecordingParser parser;
            EXPECT_EQ(run(parser, fileWith({c.section}), piece), c.code) << c.name << " piece " << piece;
        }
    }
}

TEST_F(SerializeInTest, InflatedOutputBeyondTheStatedLengthStopsAtOnce)
{
    // A few hundred bytes that inflate to 4 MB while the section states 16.
    M3gRawSection bomb = m3gSection(kSchemeZlib, std::vector<uint8_t>(4 << 20, 0));
    bomb.uncompressedLength = 16;
    for (bool plain : {false, true}) {
        RecordingParser parser;
        M3gRawSection section = plain ? m3gSection(kSchemeNone, pattern(64)) : bomb;
        section.uncompressedLength = 16;
        EXPECT_EQ(run(parser, fileWith({section}), 100000), kSerializeLeaveBadLength);
        EXPECT_LE(parser.output.size(), 16u);
    }
}

TEST_F(SerializeInTest, RejectedOutputFailsTheSectionOnBothPaths)
{
    for (uint8_t scheme : {kSchemeNone, kSchemeZlib}) {
        RecordingParser parser;
        parser.acceptOutput = false;
        EXPECT_EQ(run(parser, fileWith({m3gSection(scheme, pattern(2000))}), 512), kSerializeBadData);
        EXPECT_EQ(parser.getState(), CkwSerializeIn::kParserFailed);
    }
}

class LeavingParser : public RecordingParser {
public:
    bool writeObjectBytes(const uint8_t*, uint32_t) override { leave(KErrNullArgument); }
};

TEST_F(SerializeInTest, LeavesOfTheObjectLayerComeOutOfBothPaths)
{
    for (uint8_t scheme : {kSchemeNone, kSchemeZlib}) {
        LeavingParser parser;
        EXPECT_EQ(run(parser, fileWith({m3gSection(scheme, pattern(30))}), 1024), KErrNullArgument) << int(scheme);
    }
}

TEST_F(SerializeInTest, BytesBeyondTheDeclaredSizeAreRefusedWithoutFailing)
{
    const std::vector<uint8_t> file = fileWith({m3gSection(kSchemeNone, pattern(20))});
    std::vector<uint8_t> longer = file;
    longer.push_back(0);
    RecordingParser parser;
    engineTrap([&] { parser.reset(true); });
    parser.declareFileSize(static_cast<uint32_t>(file.size()));
    int32_t first = 0, again = 0, closed = 0;
    engineTrap([&] {
        first = parser.write(longer.data(), 0, static_cast<uint32_t>(longer.size()));
        again = parser.write(longer.data(), 0, 1);
        closed = parser.close();
    });
    EXPECT_EQ(first, kSerializePastFileSize);
    EXPECT_EQ(again, kSerializePastFileSize);
    EXPECT_EQ(parser.bytesConsumed(), file.size());
    EXPECT_EQ(closed, -1);
    EXPECT_EQ(parser.error(), -1);
}

TEST_F(SerializeInTest, CloseChecksWhereTheInputEnded)
{
    const std::vector<uint8_t> file = fileWith({m3gSection(kSchemeNone, pattern(8))});
    struct Case {
        const char* name;
        uint32_t length;
        bool rootsComplete;
        int32_t code;
    };
    const Case cases[] = {
        {"empty input", 0, true, kSerializeLeaveWrongState},
        {"inside identifier", 6, true, kSerializeLeaveWrongState},
        {"after identifier", 12, true, -1},
        {"inside section", 20, true, kSerializeLeaveWrongState},
        {"after section", static_cast<uint32_t>(file.size()), true, -1},
        {"unfinished object", static_cast<uint32_t>(file.size()), false, kSerializeUnfinishedObject},
    };
    for (const Case& c : cases) {
        RecordingParser parser;
        parser.rootsComplete = c.rootsComplete;
        int32_t result = 0;
        const int32_t left = engineTrap([&] {
            parser.reset(true);
            parser.write(file.data(), 0, c.length);
            result = parser.close();
        });
        EXPECT_EQ(left != KErrNone ? left : result, c.code) << c.name;
        if (c.code == kSerializeUnfinishedObject) {
            EXPECT_EQ(parser.getState(), CkwSerializeIn::kParserFailed);
            EXPECT_EQ(parser.error(), kSerializeUnfinishedObject);
        }
    }
}

TEST_F(SerializeInTest, ZlibStreamAcceptsOnlyItsTag)
{
    RecordingParser parser;
    ZlibStream* handle = reinterpret_cast<ZlibStream*>(&parser);
    EXPECT_FALSE(zlibStreamOpen(0x12345678, &parser, &handle));
    EXPECT_EQ(handle, nullptr);
    ASSERT_TRUE(zlibStreamOpen(kZlibStreamTag, &parser, &handle));
    EXPECT_TRUE(zlibStreamClose(handle));
}

} // namespace
