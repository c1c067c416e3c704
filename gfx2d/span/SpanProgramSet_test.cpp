// Span-program sets: record and main-entry loading with the checks that
// keep a bad record out, writing back, key-word selection, binding, and the
// three sets loaded from a pack that packtool's directive built.
#include "gfx2d/span/SpanProgramSet.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/streams/MemoryOutputStream.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/raster/SpanRecordWords.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceManifest.h"
#include "tools/pack/ResourceWriters.h"
#include "tools/span/SpanPrograms.h"

namespace {

std::vector<uint8_t> record(RSBFormat d, RSBFormat s, uint32_t marker = 0)
{
    SpanRecordKeys keys;
    keys.destination = d;
    keys.source = s;
    keys.bindingWord = marker;
    return spanRecord({0xE12FFF1E}, keys);
}

void setWord(std::vector<uint8_t>& r, uint32_t word, uint32_t value) { std::memcpy(&r[4 * word], &value, 4); }

int loadInto(SpanProgramSet& set, const std::vector<uint8_t>& bytes, uint32_t tag = kSpanRecordTag)
{
    MemoryInputStream in;
    in.open(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return set.load(in, tag);
}

}  // namespace

TEST(SpanProgramSet, RecordsThatTheDriversCannotUseAreRefusedAtLoad)
{
    struct Case {
        const char* what;
        uint32_t word;
        uint32_t value;
        int expected;
    };
    const Case cases[] = {
        {"a usable record", 0, 0, 1},
        {"six interpolants", kSpanWordInterpolantCount, 6, 1},
        {"seven interpolants", kSpanWordInterpolantCount, 7, 0},
        {"a negative interpolant count", kSpanWordInterpolantCount, 0xFFFFFFFF, 0},
        {"driver kind 0", kSpanWordDriverKind, 0, 0},
        {"driver kind 4", kSpanWordDriverKind, 4, 1},
        {"driver kind 5", kSpanWordDriverKind, 5, 0},
        {"depth interpolant at the count", kSpanWordDepthSource, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> r = record(PixelFormat::R5G6B5, PixelFormat::X8R8G8B8);
        if (c.word)
            setWord(r, c.word, c.value);
        if (c.word == kSpanWordDepthSource)
            setWord(r, kSpanWordDepthInterpolant, kSpanInterpolantBase + 3);
        SpanProgramSet set;
        EXPECT_EQ(loadInto(set, r), c.expected) << c.what;
        EXPECT_EQ(set.record(0) != nullptr, c.expected == 1) << c.what;
    }
    SpanProgramSet set;
    std::vector<uint8_t> longer = record(PixelFormat::R5G6B5, PixelFormat::X8R8G8B8);
    longer.push_back(0);
    EXPECT_EQ(loadInto(set, longer), 0) << "longer than a record";
    EXPECT_EQ(loadInto(set, {}), 0) << "empty";
    for (uint32_t i = 0; i < kSpanSetMaxRecords; ++i)
        ASSERT_EQ(loadInto(set, record(PixelFormat::R5G6B5, PixelFormat::X8R8G8B8)), 1);
    EXPECT_EQ(loadInto(set, record(PixelFormat::R5G6B5, PixelFormat::X8R8G8B8)), 0) << "a 31st record";
}

TEST(SpanProgramSet, SelectsTheFirstMatchAndStopsAtTheFirstFreeSlot)
{
    SpanProgramSet set;
    ASSERT_EQ(loadInto(set, record(PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8, 1)), 1);
    ASSERT_EQ(loadInto(set, record(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8, 2)), 1);
    ASSERT_EQ(loadInto(set, record(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8, 3)), 1);
    auto pick = [&](RSBFormat d, RSBFormat s, uint32_t k3 = 2, uint32_t k4 = 0, uint32_t k5 = 0xFFFFFFFF, uint32_t k6 = 0) {
        return set.select(d, s, k3, k4, k5, k6) ? static_cast<uint32_t>(spanRecordWord(set.selected(), kSpanWordBinding)) : 0u;
    };
    EXPECT_EQ(pick(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8), 2u) << "the earliest loaded of two equal keys";
    EXPECT_EQ(pick(PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8), 1u);
    EXPECT_EQ(pick(PixelFormat::X8R8G8B8, PixelFormat::P8X8R8G8B8), 0u);
    EXPECT_EQ(set.selected(), nullptr);
    for (uint32_t k = 2; k < 6; ++k)
        EXPECT_EQ(pick(PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8, 2 + (k == 2), k == 3, 0xFFFFFFFF - (k == 4), k == 5), 0u);
    EXPECT_EQ(SpanProgramSet::getKeyWord(set.record(1), 0), PixelFormat::R5G6B5);
    EXPECT_EQ(SpanProgramSet::getKeyWord(set.record(1), 91), PixelFormat::P8X8R8G8B8);

    // Keys 4 and 6 are words 611 and 614 of the stored record; key words end
    // with the record.
    std::vector<uint8_t> keyed = record(PixelFormat::X8R8G8B8, PixelFormat::R5G6B5, 4);
    setWord(keyed, 611, 7);
    setWord(keyed, 614, 9);
    setWord(keyed, 739, 0x5A5A);
    ASSERT_EQ(loadInto(set, keyed), 1);
    EXPECT_EQ(pick(PixelFormat::X8R8G8B8, PixelFormat::R5G6B5, 2, 9, 0xFFFFFFFF, 7), 0u);
    EXPECT_EQ(pick(PixelFormat::X8R8G8B8, PixelFormat::R5G6B5, 2, 7, 0xFFFFFFFF, 9), 4u);
    EXPECT_EQ(SpanProgramSet::getKeyWord(set.selected(), kSpanWordKey4 - kSpanKeyWordBase), 7u);
    EXPECT_EQ(SpanProgramSet::getKeyWord(set.selected(), kSpanWordKey6 - kSpanKeyWordBase), 9u);
    EXPECT_EQ(SpanProgramSet::getKeyWord(set.selected(), 130), 0x5A5Au);
    for (uint32_t past : {131u, 1000u, 0xFFFFFFFFu})
        EXPECT_EQ(SpanProgramSet::getKeyWord(set.selected(), past), 0u) << past;
    pick(PixelFormat::X8R8G8B8, PixelFormat::P8X8R8G8B8);

    // Writing back: the selected record whole, or the header.
    std::vector<uint8_t> out(4096);
    MemoryOutputStream none;
    none.open(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(set.save(none, kSpanRecordTag), 0) << "nothing selected";
    EXPECT_EQ(none.position(), 0u);
    pick(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8);
    MemoryOutputStream whole;
    whole.open(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(set.save(whole, kSpanRecordTag), 1);
    ASSERT_EQ(whole.position(), kSpanRecordBytes);
    EXPECT_EQ(0, std::memcmp(out.data(), set.record(1), kSpanRecordBytes));
    const std::vector<uint8_t> main = {7, 8, 9, 'a', 'b'};
    ASSERT_EQ(loadInto(set, main, ResourceType::SpanPrograms), 1);
    EXPECT_EQ(set.state(), 2);
    EXPECT_EQ(set.headerLength(), 2);
    MemoryOutputStream header;
    header.open(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(set.save(header, ResourceType::SpanPrograms), 1);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + header.position()), main);
    EXPECT_EQ(loadInto(set, {1, 2}, ResourceType::SpanPrograms), 0) << "a main entry cut short";
    EXPECT_EQ(set.headerLength(), 0);
    EXPECT_EQ(set.record(0), nullptr) << "a failed main entry clears the set";
    std::vector<uint8_t> tooLong(3 + 0x10000, 5);
    EXPECT_EQ(loadInto(set, tooLong, ResourceType::SpanPrograms), 0) << "a header longer than its 16-bit length";
    EXPECT_EQ(set.headerLength(), 0);
    tooLong.pop_back();
    EXPECT_EQ(loadInto(set, tooLong, ResourceType::SpanPrograms), 1) << "the longest header";
    EXPECT_EQ(set.headerLength(), 0xFFFF);
    EXPECT_EQ(set.header()[0xFFFE], 5);

    // Binding and unbinding.
    RasterState rs;
    ASSERT_EQ(loadInto(set, record(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8, 9)), 1);
    rs.bindSpanProgram(set.record(0));
    EXPECT_EQ(rs.spanCode(), set.record(0) + 4);
    EXPECT_EQ(rs.block().spanDriverKind, 3);
    EXPECT_EQ(rs.block().spanInterpolantCount, 3);
    EXPECT_EQ(rs.block().spanBindingWord, 9);
    rs.bindSpanProgram(nullptr);
    EXPECT_EQ(rs.spanCode(), nullptr);
    EXPECT_EQ(rs.block().spanDriverKind, 1);
    EXPECT_EQ(rs.block().spanDepthInterpolant, -1);
}

TEST(SpanProgramSet, PackToolsDirectiveCarriesTheSetsThatLoadThroughTheResourceManager)
{
    PackManifest manifest;
    std::string error;
    ASSERT_TRUE(parseResourceManifest("0x101 0x374F8659 plain 4 restable\nspanprograms deflated 4\n", "", manifest, error))
        << error;
    Bytes bytes;
    ASSERT_TRUE(manifest.writer.build(manifest.form, bytes));
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    ResourceManager* manager = new ResourceManager();
    app.m_fileSystem = fs;
    app.m_resourceManager = manager;
    ResourcePack pack;
    ASSERT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
    ASSERT_EQ(manager->openTable(&pack, 50, 10, true), 1);
    ASSERT_EQ(registerSpanProgramType(), 1);

    EXPECT_EQ(loadSpanProgramSets(*manager), 15u);
    const SpanMode modes[] = {SpanMode::Opaque, SpanMode::Keyed, SpanMode::KeyedBlend};
    for (uint32_t s = 0; s < kSpanSetCount; ++s) {
        SpanProgramSet* set = findSpanProgramSet(*manager, kSpanSets[s].set);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->state(), 2);
        for (const auto [d, src] : kSpanFormatPairs) {
            ASSERT_EQ(set->select(d, src, kSpanKey3Image, kSpanKey4Image, kSpanKey5Image, kSpanKey6Image), 1);
            EXPECT_EQ(std::vector<uint8_t>(set->selected(), set->selected() + kSpanRecordBytes),
                      spanProgramRecord(modes[s], d, src));
        }
        // The record entries were released once read.
        EXPECT_EQ(manager->held(kSpanSets[s].records[0]), nullptr);
    }
    for (const SpanSetIds& ids : kSpanSets)
        manager->releaseById(ids.set);
    EXPECT_EQ(findSpanProgramSet(*manager, kSpanSetOpaque), nullptr);
    delete fs;
}
