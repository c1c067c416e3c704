// The object layer over whole files: a file assembled by hand, chunk
// invariance of writer-made files, every failure code, object indices,
// external references and single-byte corruption everywhere.
#include "engine/core/loader/CkwSerializeObjectsIn.h"

#include <gtest/gtest.h>

#include <bit>
#include <zlib.h>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/core/loader/SerializeTestKit.h"
#include "tools/m3g/M3gFileWriter.h"

namespace {

M3gRecord testRecord(uint8_t type, int32_t userId, std::vector<uint32_t> references = {},
                     std::vector<uint32_t> floatBits = {}, size_t padding = 0)
{
    M3gRecordWriter w;
    w.int32(userId).uint32Array(references).uint32(static_cast<uint32_t>(floatBits.size()));
    for (uint32_t bits : floatBits)
        w.floatBits(bits);
    for (size_t i = 0; i < padding; ++i)
        w.byte(0);
    return w.record(type);
}

// Everything a load produced, in a comparable form.
std::string describe(const CkwSerializeObjectsIn& parser)
{
    std::string out;
    for (int32_t i = 0; i < parser.objectCount(); ++i) {
        out += std::to_string(i) + (parser.isReferenced(i) ? "*" : "") + ":";
        const IkwSerializable* object = parser.objectAt(i);
        if (const auto* t = dynamic_cast<const TestObject*>(object)) {
            out += "class " + std::to_string(t->getClassId()) + " id " + std::to_string(t->userId) + " refs";
            for (const IkwSerializable* r : t->references) {
                int32_t at = -1;
                for (int32_t j = 0; j < parser.objectCount(); ++j)
                    if (r != nullptr && parser.objectAt(j) == r)
                        at = j;
                out += " " + std::to_string(at);
            }
            out += " floats";
            for (float f : t->floats)
                out += " " + std::to_string(std::bit_cast<uint32_t>(f));
        } else if (object != nullptr) {
            out += "class " + std::to_string(object->getClassId());
        }
        out += "; ";
    }
    out += "roots";
    for (int32_t r : parser.roots())
        out += " " + std::to_string(r);
    return out;
}

class SerializeObjectsInTest : public ::testing::Test {
protected:
    TestEngine engine;
};

TEST_F(SerializeObjectsInTest, HandAssembledFileLoads)
{
    const std::vector<uint8_t> file = {
        0xAB, 'J', 'S', 'R', '1', '8', '4', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A,
        // Section 0: plain, 30 bytes, 17 bytes of data.
        0x00, 0x1E, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,
        0x00, 0x0C, 0x00, 0x00, 0x00,                         // header record, 12 bytes
        0x01, 0x00, 0x00,                                     // version 1.0, no external references
        0x61, 0x00, 0x00, 0x00, 0x61, 0x00, 0x00, 0x00, 0x00, // file size 97, content size 97, ""
        0xFF, 0x00, 0x87, 0x0A,
        // Section 1: plain, 55 bytes, 42 bytes of data.
        0x00, 0x37, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00,
        0x09, 0x10, 0x00, 0x00, 0x00,                         // object 2: type 9, 16 bytes
        0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,       //   user id 7, no references
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,       //   one float, 1.5
        0x0E, 0x10, 0x00, 0x00, 0x00,                         // object 3: type 14, 16 bytes
        0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,       //   user id 8, one reference:
        0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,       //   object 2; no floats
        0xAB, 0x01, 0x53, 0x31};
    CkwSerializeObjectsIn parser;
    ASSERT_EQ(feedFile(parser, file, fixedPieces(1024), false), -1);
    EXPECT_EQ(describe(parser), "0:; 1*:; 2*:class 9 id 7 refs floats 1069547520; 3:class 14 id 8 refs 2 floats; roots 3");
    // The ledger holds the sections' bytes and, for each object, its place
    // among the roots and what it allocates past its record's 16 bytes.
    EXPECT_EQ(parser.charges().loadBytes, 17 + 42 + 2 * (sizeof(int32_t) + sizeof(TestObject) - 16));
    ASSERT_NE(parser.header(), nullptr);
    EXPECT_EQ(parser.header()->totalFileSize(), 97u);
    EXPECT_EQ(parser.totalFileSize(), 97u);
    EXPECT_FALSE(parser.isOwnFormat());
}

TEST_F(SerializeObjectsInTest, HandAssembledOwnFormatFileWithStoredDeflateLoads)
{
    const std::vector<uint8_t> file = {
        0xBB, 'M', 'O', 'R', 'V', 'A', 'L', 0xAB, 0x0D, 0x0A, 0x1A, 0x0A,
        // Section 0: zlib, 41 bytes, 17 bytes once inflated.
        0x01, 0x29, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,
        0x78, 0x01,                                           // zlib stream header
        0x01, 0x11, 0x00, 0xEE, 0xFF,                         // last block, stored, 17 bytes
        0x00, 0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,       // header record: version 1.0, no references,
        0x53, 0x00, 0x00, 0x00, 0x53, 0x00, 0x00, 0x00, 0x00, // sizes 83, ""
        0x05, 0x67, 0x00, 0xB4,                               // Adler-32 of the 17 bytes, big-endian
        0x87, 0x04, 0x97, 0x4C,                               // section checksum
        // Section 1: plain, 30 bytes, 17 bytes of data.
        0x00, 0x1E, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,
        0x17, 0x0C, 0x00, 0x00, 0x00,                         // object 2: type 23, 12 bytes
        0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x58, 0x00, 0xF0, 0x06};
    for (uint32_t piece : {1u, 1024u}) {
        CkwSerializeObjectsIn parser;
        ASSERT_EQ(feedFile(parser, file, fixedPieces(piece)), -1);
        EXPECT_TRUE(parser.isOwnFormat());
        EXPECT_EQ(describe(parser), "0:; 1*:; 2:class 23 id 5 refs floats; roots 2");
        EXPECT_EQ(parser.totalFileSize(), 83u);
    }
    CkwSerializeObjectsIn refused;
    EXPECT_EQ(feedFile(refused, file, fixedPieces(1024), false), kSerializeBadIdentifier);
}

// Several sections, compressed and not, external references, and records
// longer than a chunk.
std::vector<uint8_t> richFile()
{
    M3gFileWriter w;
    w.setHeaderScheme(kSchemeZlib);
    w.setAuthoringField("rich \xC3\xA9");
    const uint32_t refA = w.addExternalReference("textures/a.png");
    const uint32_t refB = w.addExternalReference("b.m3g");
    w.beginSection(kSchemeZlib);
    const uint32_t a = w.addObject(testRecord(10, 1, {refA}, {0x3F800000, 0}));
    const uint32_t b = w.addObject(testRecord(20, 2, {}, std::vector<uint32_t>(700, 0x40490FDB)));
    w.beginSection(kSchemeNone);
    const uint32_t c = w.addObject(testRecord(9, 3, {a, b, 0}));
    w.beginSection(kSchemeZlib);
    w.addObject(testRecord(22, 4, {c, refB}, {}, 0));
    w.addObject(testRecord(13, 5));
    return w.finish();
}

TEST_F(SerializeObjectsInTest, PieceSizeDoesNotChangeTheResult)
{
    const std::vector<uint8_t> file = richFile();
    CkwSerializeObjectsIn whole;
    ASSERT_EQ(feedFile(whole, file, fixedPieces(1u << 30)), -1);
    const std::string expected = describe(whole);
    // The external references were resolved with null, so references to
    // them read as -1.
    EXPECT_EQ(expected,
              "0*:; 1*:; 2*:; 3*:; 4*:class 10 id 1 refs -1 floats 1065353216 0; 5*:class 20 id 2 refs floats "
                  + [] {
                        std::string s;
                        for (int i = 0; i < 700; ++i)
                            s += " 1078530011";
                        return s.substr(1);
                    }()
                  + "; 6*:class 9 id 3 refs 4 5 -1 floats; 7:class 22 id 4 refs 6 -1 floats; 8:class 13 id 5 refs floats; roots 7 8");

    std::mt19937 random(184);
    const PieceSize pieces[] = {fixedPieces(1), fixedPieces(1024), fixedPieces(13),
                                [&](uint32_t) { return static_cast<uint32_t>(random() % 300 + 1); }};
    for (const PieceSize& piece : pieces) {
        CkwSerializeObjectsIn parser;
        ASSERT_EQ(feedFile(parser, file, piece), -1);
        EXPECT_EQ(describe(parser), expected);
    }
}

TEST_F(SerializeObjectsInTest, PendingReferencesComeLatestFirstAndResolveInPlace)
{
    const std::vector<uint8_t> file = richFile();
    CkwSerializeObjectsIn parser;
    int32_t stopped = 0;
    ASSERT_EQ(engineTrap([&] {
                  parser.reset(true);
                  stopped = parser.write(file.data(), 0, static_cast<uint32_t>(file.size()));
              }),
              KErrNone);
    ASSERT_GE(stopped, 0);
    EXPECT_EQ(parser.sectionIndex(), 1);
    EXPECT_TRUE(parser.hasPendingExternalReferences());

    char uri[32] = {};
    EXPECT_EQ(parser.getPendingReferenceUri(0, nullptr), 5);
    EXPECT_EQ(parser.getPendingReferenceUri(4, uri), 5);
    EXPECT_EQ(uri[0], 0) << "too small a buffer is left alone";
    EXPECT_EQ(parser.getPendingReferenceUri(sizeof uri, uri), 5);
    EXPECT_EQ(std::string(uri, 5), "b.m3g");

    auto* image = new TestObject(kClassImage2D);
    image->addRef();
    parser.resolvePendingReference(image);
    EXPECT_EQ(parser.getPendingReferenceUri(sizeof uri, uri), 14);
    EXPECT_EQ(std::string(uri, 14), "textures/a.png");
    parser.resolvePendingReference(nullptr);
    EXPECT_EQ(parser.getPendingReferenceUri(sizeof uri, uri), -1);
    EXPECT_EQ(parser.objectAt(3), image);
    EXPECT_EQ(image->refCount(), 2);

    int32_t rest = 0, closed = 0;
    ASSERT_EQ(engineTrap([&] {
                  rest = parser.write(file.data(), static_cast<uint32_t>(stopped), static_cast<uint32_t>(file.size()) - stopped);
                  closed = parser.close();
              }),
              KErrNone);
    EXPECT_EQ(rest, -1);
    EXPECT_EQ(closed, -1);
    EXPECT_EQ(static_cast<TestObject*>(parser.objectAt(7))->references[1], image);
    image->release();
}

// Fills in the size field of a plain first section's header record that was
// left 0, and that section's checksum, so hand-built files end where they say.
std::vector<uint8_t> sealed(std::vector<uint8_t> file)
{
    constexpr size_t kSection = 12, kSizeField = kSection + 9 + 5 + 3;
    auto u32 = [&](size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t(file[at + 3]) << 24; };
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const uint32_t total = u32(kSection + 1);
    if (file[kSection] != kSchemeNone || total < 13 + 12 || file[kSection + 9] != 0 || u32(kSizeField) != 0)
        return file;
    put(kSizeField, static_cast<uint32_t>(file.size()));
    put(kSection + total - 4, static_cast<uint32_t>(adler32(1, file.data() + kSection, total - 4)));
    return file;
}

// A file built from raw parts: identifier, header section, further sections.
std::vector<uint8_t> rawFile(const std::vector<std::vector<M3gRecord>>& sections, M3gHeaderFields header = {},
                             M3gFlavour flavour = M3gFlavour::M3g)
{
    std::vector<uint8_t> file;
    m3gAppendIdentifier(file, flavour);
    std::vector<uint8_t> payload;
    m3gAppendRecord(payload, m3gHeaderRecord(header));
    m3gAppendSection(file, m3gSection(kSchemeNone, payload));
    for (const auto& records : sections) {
        payload.clear();
        for (const M3gRecord& r : records)
            m3gAppendRecord(payload, r);
        m3gAppendSection(file, m3gSection(kSchemeNone, payload));
    }
    return sealed(file);
}

TEST_F(SerializeObjectsInTest, FaultyFilesGiveTheirCodes)
{
    M3gHeaderFields version2;
    version2.versionMajor = 2;
    M3gHeaderFields version11;
    version11.versionMinor = 1;
    M3gHeaderFields withReferences;
    withReferences.hasExternalReferences = true;
    M3gHeaderFields tooSmall;
    tooSmall.totalFileSize = 20;

    std::vector<uint8_t> twoHeaders;
    {
        m3gAppendIdentifier(twoHeaders, M3gFlavour::M3g);
        std::vector<uint8_t> payload;
        m3gAppendRecord(payload, m3gHeaderRecord({}));
        m3gAppendRecord(payload, m3gHeaderRecord({}));
        m3gAppendSection(twoHeaders, m3gSection(kSchemeNone, payload));
    }
    std::vector<uint8_t> noHeader;
    {
        m3gAppendIdentifier(noHeader, M3gFlavour::M3g);
        m3gAppendSection(noHeader, m3gSection(kSchemeNone, {}));
        std::vector<uint8_t> payload;
        m3gAppendRecord(payload, testRecord(9, 1));
        m3gAppendSection(noHeader, m3gSection(kSchemeNone, payload));
    }
    std::vector<uint8_t> recordCut;
    {
        m3gAppendIdentifier(recordCut, M3gFlavour::M3g);
        std::vector<uint8_t> payload;
        m3gAppendRecord(payload, m3gHeaderRecord({}));
        m3gAppendSection(recordCut, m3gSection(kSchemeNone, payload));
        payload.clear();
        m3gAppendRecord(payload, testRecord(9, 1));
        // Cut inside the length field: a record cannot be longer than its section.
        m3gAppendSection(recordCut, m3gSection(kSchemeNone, std::span(payload).first(3)));
        m3gAppendSection(recordCut, m3gSection(kSchemeNone, std::span(payload).subspan(3)));
    }
    // The same record cut inside its length field, and the input ends there.
    std::vector<uint8_t> recordUnfinished;
    {
        m3gAppendIdentifier(recordUnfinished, M3gFlavour::M3g);
        std::vector<uint8_t> payload;
        m3gAppendRecord(payload, m3gHeaderRecord({}));
        m3gAppendSection(recordUnfinished, m3gSection(kSchemeNone, payload));
        payload.clear();
        m3gAppendRecord(payload, testRecord(9, 1));
        m3gAppendSection(recordUnfinished, m3gSection(kSchemeNone, std::span(payload).first(3)));
    }
    std::vector<uint8_t> recordLong;
    {
        m3gAppendIdentifier(recordLong, M3gFlavour::M3g);
        std::vector<uint8_t> payload;
        m3gAppendRecord(payload, m3gHeaderRecord({}));
        m3gAppendSection(recordLong, m3gSection(kSchemeNone, payload));
        payload.clear();
        m3gAppendRecord(payload, testRecord(9, 1));
        m3gAppendSection(recordLong, m3gSection(kSchemeNone, std::span(payload).first(10)));
    }
    std::vector<uint8_t> trailing = rawFile({{testRecord(9, 1)}});
    trailing.push_back(0);

    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool allowOwn;
        int32_t code;
    };
    const Case cases[] = {
        {"valid", rawFile({{testRecord(9, 1)}}), false, -1},
        {"own identifier refused", rawFile({}, {}, M3gFlavour::Own), false, kSerializeBadIdentifier},
        {"second record in first section", sealed(twoHeaders), true, kSerializeBadData},
        {"version 2.0", rawFile({}, version2), true, kSerializeBadData},
        {"version 1.1", rawFile({}, version11), true, kSerializeBadData},
        {"no header record", sealed(noHeader), true, kSerializeBadData},
        {"header in a later section", rawFile({{m3gHeaderRecord({})}}), true, kSerializeBadData},
        {"type 0 as object", rawFile({{testRecord(0, 1)}}), true, kSerializeBadData},
        {"own type in m3g", rawFile({{testRecord(23, 1)}}), false, kSerializeBadData},
        {"own type allowed", rawFile({{testRecord(23, 1), testRecord(24, 2), testRecord(25, 3)}}), true, -1},
        {"type 26", rawFile({{testRecord(26, 1)}}), true, kSerializeBadData},
        {"reference record without announcement", rawFile({{m3gExternalReferenceRecord("x")}}), true, kSerializeBadData},
        {"object among references", rawFile({{testRecord(9, 1)}}, withReferences), true, kSerializeBadData},
        {"record not read to its end", rawFile({{testRecord(9, 1, {}, {}, 1)}}), true, kSerializeBadData},
        {"record longer than its data", rawFile({{{9, std::vector<uint8_t>(3)}}}), true, kSerializeBadData},
        {"record longer than its section", sealed(recordLong), true, kSerializeBadData},
        {"record cut by section end", sealed(recordCut), true, kSerializeUnfinishedObject},
        {"record unfinished at close", sealed(recordUnfinished), true, kSerializeUnfinishedObject},
        {"bytes after the declared size", trailing, true, kSerializePastFileSize},
        {"declared size inside the header section", rawFile({}, tooSmall), true, kSerializePastFileSize},
        {"float -0.0", rawFile({{testRecord(9, 1, {}, {0x80000000})}}), true, kSerializeBadData},
        {"float denormal", rawFile({{testRecord(9, 1, {}, {0x00000001})}}), true, kSerializeBadData},
        {"float negative denormal", rawFile({{testRecord(9, 1, {}, {0x807FFFFF})}}), true, kSerializeBadData},
        {"float infinity", rawFile({{testRecord(9, 1, {}, {0x7F800000})}}), true, kSerializeBadData},
        {"float NaN", rawFile({{testRecord(9, 1, {}, {0x7FC00000})}}), true, kSerializeBadData},
        {"float normals and +0.0", rawFile({{testRecord(9, 1, {}, {0, 0x00800000, 0xFF7FFFFF})}}), true, -1},
    };
    for (const Case& c : cases) {
        for (uint32_t piece : {1u, 5u, 1024u}) {
            CkwSerializeObjectsIn parser;
            EXPECT_EQ(feedFile(parser, c.file, fixedPieces(piece), c.allowOwn), c.code) << c.name << " piece " << piece;
        }
    }
}

IkwSerializable* createNothing()
{
    leave(KErrNoMemory);
}

TEST_F(SerializeObjectsInTest, MemoryExhaustionSurvivesOnlyTheZlibPath)
{
    engineContext()->factory->registerCreator(kClassVertexBuffer, &createNothing);
    for (uint8_t scheme : {kSchemeNone, kSchemeZlib}) {
        M3gFileWriter w;
        w.beginSection(scheme);
        w.addObject(testRecord(kClassVertexBuffer, 1));
        CkwSerializeObjectsIn parser;
        EXPECT_EQ(feedFile(parser, w.finish(), fixedPieces(64)), scheme == kSchemeZlib ? KErrNoMemory : kSerializeBadData);
    }
}

// Answers the reference's class id without being one.
class NotAReference : public IkwSerializable {
public:
    static IkwSerializable* create() { return new NotAReference; }
    int32_t getClassId() const override { return kClassExternalReference; }
};

TEST_F(SerializeObjectsInTest, AnotherClassInTheReferenceSlotIsRefused)
{
    engineContext()->factory->registerCreator(kClassExternalReference, &NotAReference::create);
    for (uint32_t piece : {1u, 1024u}) {
        CkwSerializeObjectsIn parser;
        EXPECT_EQ(feedFile(parser, richFile(), fixedPieces(piece)), kSerializeBadData) << piece;
    }
}

TEST_F(SerializeObjectsInTest, ReferencesResolveOnlyToEarlierObjects)
{
    struct Case {
        const char* name;
        std::vector<M3gRecord> records;
        int32_t code;
        const char* loaded;
    };
    const Case cases[] = {
        {"null", {testRecord(9, 1, {0})}, -1, "0*:; 1*:; 2:class 9 id 1 refs -1 floats; roots 2"},
        {"earlier", {testRecord(9, 1), testRecord(9, 2, {2, 2})}, -1,
         "0:; 1*:; 2*:class 9 id 1 refs floats; 3:class 9 id 2 refs 2 2 floats; roots 3"},
        {"header", {testRecord(9, 1, {1})}, kSerializeBadData, nullptr},
        {"itself", {testRecord(9, 1), testRecord(9, 2, {3})}, kSerializeBadData, nullptr},
        {"later", {testRecord(9, 1, {3}), testRecord(9, 2)}, kSerializeBadData, nullptr},
        {"far beyond", {testRecord(9, 1, {0xFFFFFFFF})}, kSerializeBadData, nullptr},
    };
    for (const Case& c : cases) {
        CkwSerializeObjectsIn parser;
        EXPECT_EQ(feedFile(parser, rawFile({c.records}), fixedPieces(64)), c.code) << c.name;
        if (c.loaded != nullptr) {
            EXPECT_EQ(describe(parser), c.loaded) << c.name;
        }
    }
}

TEST_F(SerializeObjectsInTest, EveryFlippedByteGivesTheSameCodeInAnyPieces)
{
    M3gFileWriter w;
    w.addExternalReference("r");
    w.beginSection(kSchemeZlib);
    const uint32_t a = w.addObject(testRecord(9, 1, {}, {0x3F800000}));
    w.beginSection(kSchemeNone);
    w.addObject(testRecord(14, 2, {a}));
    const std::vector<uint8_t> file = w.finish();
    for (size_t i = 0; i < file.size(); ++i) {
        for (uint8_t mask : {0x01, 0x80, 0xFF}) {
            std::vector<uint8_t> flipped = file;
            flipped[i] ^= mask;
            CkwSerializeObjectsIn whole, bytewise;
            const int32_t code = feedFile(whole, flipped, fixedPieces(1u << 20));
            EXPECT_EQ(feedFile(bytewise, flipped, fixedPieces(1)), code) << "byte " << i << " mask " << int(mask);
            EXPECT_TRUE(code == kSerializeBadIdentifier || code == kSerializeBadData || code == kSerializeBadChecksum
                        || code == kSerializeUnfinishedObject || code == kSerializePastFileSize
                        || code == kSerializeLeaveWrongState || code == kSerializeLeaveBadLength)
                << "byte " << i << " mask " << int(mask) << " gave " << code;
        }
    }
}

} // namespace
