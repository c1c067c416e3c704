// The typed readers: wire forms, float bit patterns, strings, counted arrays
// whose counts lie, and object references by index and class.
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/loader/SerializeTestKit.h"

namespace {

class BufferTest : public ::testing::Test {
protected:
    // Prepares the buffer over bytes, with the given objects already loaded
    // (entry 0 null, entry 1 the header's place).
    void load(const std::vector<uint8_t>& bytes, const std::vector<int32_t>& classes = {})
    {
        objects.setCount(0);
        referenced.setCount(0);
        objects.append(nullptr);
        referenced.append(false);
        objects.append(nullptr);
        referenced.append(true);
        for (int32_t id : classes) {
            owned.push_back(std::make_unique<TestObject>(id));
            objects.append(owned.back().get());
            referenced.append(false);
        }
        buffer.prepare(static_cast<uint32_t>(bytes.size()), &objects, &referenced);
        buffer.append(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    int32_t leaveOf(const std::function<void()>& body) { return engineTrap(body); }

    TestEngine engine;
    CkwArray<IkwSerializable*> objects;
    CkwArray<bool> referenced;
    CkwSerializeBufferObjectsIn buffer;
    std::vector<std::unique_ptr<TestObject>> owned;
};

std::vector<uint8_t> le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
}

TEST_F(BufferTest, IntegersAreLittleEndian)
{
    load({0xFE, 0xFF, 0x34, 0x12, 0x78, 0x56, 0x34, 0x92, 0x78, 0x56, 0x00, 0x00, 0xAB, 0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(buffer.readInt16(), -2);
    EXPECT_EQ(buffer.readUInt16(), 0x1234);
    EXPECT_EQ(buffer.readInt32(), static_cast<int32_t>(0x92345678));
    EXPECT_EQ(buffer.readUInt32As16(), 0x5678);
    EXPECT_EQ(buffer.readByte(), 0xAB);
    // A 32-bit value past 16 bits is damage, not a smaller value.
    EXPECT_EQ(leaveOf([&] { buffer.readUInt32As16(); }), KErrCorruptData);
    EXPECT_EQ(buffer.remaining(), 0u);
    EXPECT_EQ(leaveOf([&] { buffer.readByte(); }), KErrReadPastEnd);
}

TEST_F(BufferTest, SmallValuesAreRangeChecked)
{
    struct Case {
        uint8_t byte;
        int32_t booleanCode;
        int32_t rangeCode; // strictly between 0 and 3
    };
    const Case cases[] = {{0, KErrNone, KErrIndexOutOfRange}, {1, KErrNone, KErrNone}, {2, KErrIndexOutOfRange, KErrNone},
                          {3, KErrIndexOutOfRange, KErrIndexOutOfRange}, {255, KErrIndexOutOfRange, KErrIndexOutOfRange}};
    for (const Case& c : cases) {
        load({c.byte});
        EXPECT_EQ(leaveOf([&] { buffer.readBoolean(); }), c.booleanCode) << int(c.byte);
        load({c.byte});
        EXPECT_EQ(leaveOf([&] { buffer.readByteInRange(0, 3); }), c.rangeCode) << int(c.byte);
    }
}

TEST_F(BufferTest, FloatsKeepTheirBitsOrAreRefused)
{
    struct Case {
        uint32_t bits;
        bool accepted;
    };
    const Case cases[] = {
        {0x00000000, true},  {0x3F800000, true},  {0xBF800000, true},  {0x00800000, true},  {0x7F7FFFFF, true},
        {0xFF7FFFFF, true},  {0x80000000, false}, {0x00000001, false}, {0x007FFFFF, false}, {0x807FFFFF, false},
        {0x7F800000, false}, {0xFF800000, false}, {0x7FC00000, false}, {0xFFFFFFFF, false}, {0x7F800001, false},
    };
    for (const Case& c : cases) {
        load(le32(c.bits));
        float value = 0;
        EXPECT_EQ(leaveOf([&] { value = buffer.readFloat(); }), c.accepted ? KErrNone : KErrCorruptData) << std::hex << c.bits;
        if (c.accepted) {
            EXPECT_EQ(std::bit_cast<uint32_t>(value), c.bits);
        }
    }
}

TEST_F(BufferTest, MatrixIsReadInRowOrder)
{
    std::vector<uint8_t> bytes;
    for (int i = 1; i <= 16; ++i) {
        const auto word = le32(std::bit_cast<uint32_t>(static_cast<float>(i)));
        bytes.insert(bytes.end(), word.begin(), word.end());
    }
    load(bytes);
    CkwMatrix m;
    ASSERT_EQ(leaveOf([&] { buffer.readMatrix(m); }), KErrNone);
    EXPECT_EQ(m.element(0, 1), 2.0f);
    EXPECT_EQ(m.element(1, 0), 5.0f);
    EXPECT_EQ(m.element(3, 3), 16.0f);
    EXPECT_EQ(m.m[1], 5.0f);

    float v[3];
    load({0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0, 0x80});
    EXPECT_EQ(leaveOf([&] { buffer.readVector3(v); }), KErrCorruptData);
}

TEST_F(BufferTest, ColorsKeepTheCallersAlphaWithoutOne)
{
    load({0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 0x44});
    uint32_t color = 0x80FFFFFF;
    buffer.readColor(color, false);
    EXPECT_EQ(color, 0x80112233u);
    buffer.readColor(color, true);
    EXPECT_EQ(color, 0x44112233u);
}

TEST_F(BufferTest, StringsAreCheckedUtf8)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t code;
        std::string text;
    };
    const Case cases[] = {
        {"ascii", {'a', 'b', 0, 'z'}, KErrNone, "ab"},
        {"empty", {0}, KErrNone, ""},
        {"two-byte", {0xC3, 0xA9, 0}, KErrNone, "\xC3\xA9"},
        {"three-byte", {0xE2, 0x82, 0xAC, 0}, KErrNone, "\xE2\x82\xAC"},
        {"0xFF lead takes seven", {0xFF, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0}, KErrNone,
         "\xFF\x80\x81\x82\x83\x84\x85\x86"},
        {"stray continuation", {0x80, 0}, KErrIndexOutOfRange, ""},
        {"bad continuation", {0xC3, 0x41, 0}, KErrIndexOutOfRange, ""},
        {"continuation cut by the 0", {0xE2, 0x82, 0}, KErrIndexOutOfRange, ""},
        {"no terminator", {'a', 'b'}, KErrReadPastEnd, ""},
    };
    for (const Case& c : cases) {
        load(c.bytes);
        CkwArray<char> text;
        EXPECT_EQ(leaveOf([&] { buffer.readString(text); }), c.code) << c.name;
        if (c.code == KErrNone) {
            EXPECT_EQ(std::string(text.begin(), text.end()), c.text) << c.name;
        }
    }
}

TEST_F(BufferTest, ArrayCountsMustFitTheRecord)
{
    struct Case {
        const char* name;
        uint32_t count;
        size_t payload;
        uint32_t elementSize;
        int32_t code;
    };
    const Case cases[] = {
        {"fits", 3, 12, 4, KErrNone},
        {"one short", 4, 12, 4, KErrReadPastEnd},
        {"wraps 32 bits", 0x40000001, 12, 4, KErrReadPastEnd},
        {"wraps with bytes", 0xFFFFFFFF, 12, 1, KErrReadPastEnd},
        {"empty", 0, 0, 4, KErrNone},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = le32(c.count);
        bytes.resize(bytes.size() + c.payload, 0x01);
        load(bytes);
        uint32_t n = 0;
        EXPECT_EQ(leaveOf([&] { n = buffer.readArrayCount(c.elementSize); }), c.code) << c.name;
        if (c.code == KErrNone) {
            EXPECT_EQ(n, c.count) << c.name;
        }
    }
}

TEST_F(BufferTest, ExplicitArrayCountsAreCheckedBeforeSizing)
{
    const std::vector<uint8_t> eight = {1, 0, 2, 0, 3, 0, 4, 0};
    CkwArray<float> floats;
    CkwArray<uint16_t> shorts;
    CkwArray<uint8_t> bytes;
    load(eight);
    EXPECT_EQ(leaveOf([&] { buffer.readFloatArray(floats, 0x40000002); }), KErrReadPastEnd);
    EXPECT_EQ(floats.capacity(), 0);
    EXPECT_EQ(leaveOf([&] { buffer.readUInt32ArrayAs16(shorts, 3); }), KErrReadPastEnd);
    EXPECT_EQ(shorts.capacity(), 0);
    EXPECT_EQ(leaveOf([&] { buffer.readUInt16Array(shorts, 4); }), KErrNone);
    EXPECT_EQ(std::vector<uint16_t>(shorts.begin(), shorts.end()), (std::vector<uint16_t>{1, 2, 3, 4}));

    load({1, 0, 0, 0, 3, 0, 0, 0});
    EXPECT_EQ(leaveOf([&] { buffer.readUInt32ArrayAs16(shorts, 2); }), KErrNone);
    EXPECT_EQ(std::vector<uint16_t>(shorts.begin(), shorts.end()), (std::vector<uint16_t>{1, 3}));
    load(eight);
    EXPECT_EQ(leaveOf([&] { buffer.readUInt32ArrayAs16(shorts, 2); }), KErrCorruptData);

    std::vector<uint8_t> counted = le32(3);
    counted.insert(counted.end(), {7, 8, 9});
    load(counted);
    EXPECT_EQ(leaveOf([&] { buffer.readByteArray(bytes); }), KErrNone);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), (std::vector<uint8_t>{7, 8, 9}));

    load({1, 2});
    EXPECT_EQ(buffer.readBytes(0), nullptr);
    EXPECT_EQ(leaveOf([&] { buffer.readBytes(3); }), KErrReadPastEnd);
    EXPECT_EQ(buffer.readBytes(2)[1], 2);
}

TEST_F(BufferTest, AppendBeyondTheRecordLeaves)
{
    load({1, 2, 3});
    const uint8_t more = 4;
    EXPECT_EQ(leaveOf([&] { buffer.append(&more, 1); }), KErrReadPastEnd);
    EXPECT_EQ(buffer.fillCount(), 3u);
}

TEST_F(BufferTest, ReferencesCheckIndexAndClass)
{
    // Objects 2..: a group, a world, an image, a stageset, a plasma image, a camera.
    const std::vector<int32_t> classes = {kClassGroup, kClassWorld, kClassImage2D, kClassStageset, kClassPlasmaImage, kClassCamera};
    using Read = std::function<IkwSerializable*()>;
    struct Case {
        const char* name;
        uint32_t index;
        Read read;
        int32_t code;
    };
    auto& b = buffer;
    const Case cases[] = {
        {"null", 0, [&] { return b.readObjectIndex(); }, KErrNone},
        {"header", 1, [&] { return b.readObjectIndex(); }, KErrCorruptData},
        {"loaded", 3, [&] { return b.readObjectIndex(); }, KErrNone},
        {"not yet loaded", 8, [&] { return b.readObjectIndex(); }, KErrCorruptData},
        {"of type", 2, [&] { return b.readObjectOfType(kClassGroup); }, KErrNone},
        {"null of any type", 0, [&] { return b.readObjectOfType(kClassGroup); }, KErrNone},
        {"wrong type", 3, [&] { return b.readObjectOfType(kClassGroup); }, KErrCorruptData},
        {"node", 7, [&] { return b.readNodeReference(false); }, KErrNone},
        {"world as node", 3, [&] { return b.readNodeReference(false); }, KErrCorruptData},
        {"world allowed", 3, [&] { return b.readNodeReference(true); }, KErrNone},
        {"image as node", 4, [&] { return b.readNodeReference(true); }, KErrCorruptData},
        {"image", 4, [&] { return b.readImageReference(false); }, KErrNone},
        {"plasma image", 6, [&] { return b.readImageReference(false); }, KErrNone},
        {"stageset refused", 5, [&] { return b.readImageReference(false); }, KErrCorruptData},
        {"stageset allowed", 5, [&] { return b.readImageReference(true); }, KErrNone},
        {"group as image", 2, [&] { return b.readImageReference(true); }, KErrCorruptData},
    };
    for (const Case& c : cases) {
        owned.clear();
        load(le32(c.index), classes);
        IkwSerializable* object = reinterpret_cast<IkwSerializable*>(&buffer);
        EXPECT_EQ(leaveOf([&] { object = c.read(); }), c.code) << c.name;
        if (c.code == KErrNone) {
            EXPECT_EQ(object, objects[static_cast<int32_t>(c.index)]) << c.name;
            EXPECT_TRUE(referenced[static_cast<int32_t>(c.index)]) << c.name;
        }
    }
}

TEST_F(BufferTest, BytesHandedBackAfterTheyPaidLeaveTheLedgerNothing)
{
    buffer.countInputBytes(1000);
    ASSERT_EQ(leaveOf([&] { buffer.chargeLoadBytes(kLoadBytesPerFile + 1000 * kLoadBytesPerInputByte); }), KErrNone);
    buffer.countInputBytes(-100);
    EXPECT_EQ(buffer.loadBytesLeft(), 0u);
    EXPECT_EQ(leaveOf([&] { buffer.chargeLoadBytes(1); }), KErrNoMemory);
}

} // namespace
