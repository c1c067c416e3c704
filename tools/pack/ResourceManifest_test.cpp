#include "tools/pack/ResourceManifest.h"

#include <gtest/gtest.h>

#include "framework/properties/EntryTable.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/ResourceIds.h"
#include "framework/resources/ResourcePack.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/strings/WideString.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceWriters.h"

namespace {

const PackWriter::Entry* entryOf(const PackManifest& manifest, uint32_t id)
{
    for (const auto& e : manifest.writer.entries())
        if (e.id == id)
            return &e;
    return nullptr;
}

} // namespace

TEST(ResourceManifest, WritesResourceTableTextsIdListsAndTaggedTables)
{
    const std::string text =
        "index range\n"
        "0x101 0x374F8659 deflated 4 restable\n"
        "restable alias 0x03000010 0x03000011\n"
        "restable languages 2 8\n"
        "restable language 0x03000020 0102 English\n"
        "restable strings 0x03000020\n"
        "0x10 0x374F8659 plain 4 text plain bytes\n"
        "0x11 0x69E5D35C plain 4 idlist 1 0x20 3\n"
        "0x12 0x43735EB4 plain 6 utf16 Gr\xC3\xBC\xC3\x9F" "e\n"
        "0x13 0xF686AADC plain 4 utf8 a\\tb\n"
        "0x20 0x521B2402 deflated 4 table\n"
        "row 0x20 1 0x43735EB4 plain 4 utf16 Hello\n"
        "row 0x20 2 0xF686AADC deflated 4 utf8 W\xC3\xB6rld\n";
    PackManifest manifest;
    std::string error;
    ASSERT_TRUE(parseResourceManifest(text, "", manifest, error)) << error;
    EXPECT_EQ(manifest.form, PackIndexForm::Range);

    ResourceTableImage table;
    table.aliases = {0x03000010, 0x03000011};
    table.attributeWidth = 2;
    table.nameLength = 8;
    table.languages = {{0x03000020, {1, 2}, "English"}};
    table.stringTables = {0x03000020};
    ASSERT_NE(entryOf(manifest, 0x101), nullptr);
    EXPECT_EQ(entryOf(manifest, 0x101)->payload, encodeResourceTable(table));
    EXPECT_TRUE(entryOf(manifest, 0x101)->deflate);
    EXPECT_EQ(entryOf(manifest, 0x10)->payload, Bytes({'p', 'l', 'a', 'i', 'n', ' ', 'b', 'y', 't', 'e', 's'}));
    EXPECT_EQ(entryOf(manifest, 0x11)->payload, Bytes({3, 0, 1, 0, 0, 0, 0x20, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_EQ(entryOf(manifest, 0x12)->payload, encodeUtf16Text(u"Gr\u00FC\u00DFe"));
    EXPECT_EQ(entryOf(manifest, 0x12)->headerLength, 6);
    EXPECT_EQ(entryOf(manifest, 0x13)->payload, Bytes({'a', '\t', 'b'}));

    // The table's rows read back through the framework with their tags.
    Bytes pack;
    ASSERT_TRUE(manifest.writer.build(manifest.form, pack, &error)) << error;
    ResourcePack reader;
    ASSERT_EQ(reader.openFile(new MemoryFile(pack)), 1);
    PackEntryStream stream;
    ASSERT_EQ(stream.open(&reader, 0x20, 1), 1);
    EntryTable rows;
    ASSERT_EQ(rows.load(stream), 1);
    EXPECT_EQ(rows.tagOf(1), ResourceType::Utf16Text);
    EXPECT_EQ(rows.tagOf(2), ResourceType::Utf8Text);
    PackEntryStream row;
    ASSERT_EQ(row.openInTable(&rows, 2, 1), 1);
    WideString word;
    ASSERT_EQ(word.read(row, rows.tagOf(2)), 1);
    EXPECT_EQ(std::u16string(word.chars()), u"W\u00F6rld");
}

TEST(ResourceManifest, ReportsBadDirectivesWithTheirLine)
{
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"restable alias 1\n", "line 1: restable before its entry"},
        {"0x101 1 plain 4 restable\nrestable alias x\n", "line 2: bad id x"},
        {"row 0x20 1 0 plain 4 text a\n", "line 1: row of an undeclared table"},
        {"0x20 1 plain 4 table\nrow 0x20 1 0 plain 4 bogus a\n", "line 2: unknown kind bogus"},
        {"0x11 1 plain 4 idlist 1 two\n", "line 1: bad id two"},
        {"# comment\n0x12 1 plain 4 utf16 \xFF\n", "line 2: text is not UTF-8"},
        {"\n0x10 1 sideways 4 text a\n", "line 2: expected plain or deflated"},
    };
    for (const Case& c : cases) {
        PackManifest manifest;
        std::string error;
        EXPECT_FALSE(parseResourceManifest(c.text, "", manifest, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}
