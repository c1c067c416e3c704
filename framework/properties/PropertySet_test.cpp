// Properties text: separators, trimming, comments at byte 0 only, the first
// definition winning, and typed getters.
#include "framework/properties/PropertySet.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/streams/MemoryInputStream.h"
#include "framework/strings/NameHash.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/TestApp.h"

namespace {

int parse(PropertySet& set, const std::string& text)
{
    MemoryInputStream in;
    in.open(text.data(), static_cast<uint32_t>(text.size()));
    return set.parse(in);
}

TEST(PropertySet, ParsesLinesAsTheFormatSays)
{
    PropertySet set;
    parse(set, "a=1\na=2\r\nx : y = z\nk:v\nlonely\nempty=\n=v\n:w\n  #a=b\n#c=d\n!e=f\n"
               "USE_GAPI = 1\nflag=TRUE\nno=yes\n"
               "last=no newline");
    const struct {
        const char* key;
        const char* value;  // null: not defined
    } cases[] = {
        {"a", "1"}, {"x : y", "z"}, {"k", "v"}, {"lonely", nullptr}, {"empty", nullptr},
        {"=", nullptr}, {"", nullptr}, {":", nullptr}, {"#a", "b"}, {"#c", nullptr}, {"!e", nullptr},
        {"USE_GAPI", "1"}, {"last", "no newline"},
    };
    for (const auto& c : cases) {
        const char* value = set.getString(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(value, nullptr) << c.key;
        } else {
            EXPECT_STREQ(value, c.value) << c.key;
        }
        EXPECT_EQ(set.has(c.key), c.value != nullptr) << c.key;
    }
    EXPECT_EQ(set.getInt("USE_GAPI"), 1);
    EXPECT_EQ(set.getInt("missing"), 0);
    EXPECT_EQ(set.getBool("flag"), 1);
    EXPECT_EQ(set.getBool("no"), 0);
    EXPECT_EQ(set.getBool("USE_GAPI"), 0);
    EXPECT_EQ(set.getString(nullptr), nullptr);
}

TEST(PropertySet, NulInTheTextIsDropped)
{
    PropertySet set;
    const char text[] = "k=a\0b\n";
    MemoryInputStream in;
    in.open(text, sizeof text - 1);
    set.parse(in);
    EXPECT_STREQ(set.getString("k"), "ab");
}

TEST(PropertySet, FirstDefinitionWinsAndParseClears)
{
    PropertySet set;
    EXPECT_EQ(set.set("k", "1"), 1);
    EXPECT_EQ(set.set("k", "2"), 0);
    EXPECT_EQ(set.set("", "2"), 0);
    EXPECT_EQ(set.set("j", nullptr), 0);
    EXPECT_STREQ(set.getString("k"), "1");
    parse(set, "j=3\n");
    EXPECT_EQ(set.has("k"), 0);
    EXPECT_EQ(set.count(), 1u);
    // A text longer than any configuration is refused whole; one at the
    // limit is taken.
    EXPECT_EQ(parse(set, "k=" + std::string(kMaxPropertiesText - 1, 'v')), 0);
    EXPECT_STREQ(set.getString("j"), "3");
    EXPECT_EQ(parse(set, "k=" + std::string(kMaxPropertiesText - 2, 'v')), 1);
    parse(set, "j=3\n");

    // Memory that runs out at any allocation of a set or a parse: 0, and
    // the store as it was; or 1 and all of it done.
    for (const bool parsing : {false, true}) {
        for (size_t failAt = 1, more = 1; more; ++failAt) {
            PropertySet store;
            store.set("j", "3");
            int ok = -1;
            {
                AllocationWatch watch(SIZE_MAX, failAt);
                EXPECT_NO_THROW(ok = parsing ? parse(store, "a=1\nb=2\nc=3\n") : store.set("c", "3")) << failAt;
                more = watch.requests() >= failAt;
            }
            EXPECT_EQ(store.count(), ok ? parsing ? 3u : 2u : 1u) << parsing << " " << failAt;
            EXPECT_STREQ(store.getString(ok ? "c" : "j"), "3") << parsing << " " << failAt;
        }
    }
}

// Twice the keys cost about twice the lookups, whether their hashes spread
// or share their low bits; each keeps its first value.
TEST(PropertySet, ParseLooksUpInProportionToTheText)
{
    for (const uint32_t sharedBits : {0u, 0xFu}) {
        uint64_t probes[2] = {};
        for (int k = 0; k < 2; ++k) {
            std::string text;
            for (int i = 0, taken = 0; taken < (2000 << k); ++i)
                if ((hashName(("key" + std::to_string(i)).c_str()) & sharedBits) == 0 && ++taken)
                    text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\nkey" + std::to_string(i) + "=x\n";
            PropertySet set;
            parse(set, text);
            probes[k] = set.probes();
            EXPECT_EQ(set.count(), uint32_t(2000 << k));
        }
        EXPECT_LE(probes[1] * 10, probes[0] * 23) << sharedBits << ": " << probes[0] << " then " << probes[1];
    }
}

TEST(PropertySet, AccessorFindsOrCreatesTheService)
{
    TestApp app;
    ASSERT_TRUE(app.started());
    PropertySet* properties = getProperties();
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(getProperties(), properties);
    EXPECT_EQ(properties->m_typeId, 0x8C535A57u);
}

} // namespace
