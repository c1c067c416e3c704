#include "game/level/GameUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/strings/WideString.h"
#include "game/level/GameWorld.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"

namespace {

std::u16string text(const WideString& s)
{
    return s.chars() ? std::u16string(s.chars(), s.length()) : std::u16string();
}

TEST(GameUtils, NameHashAndTransformIdsHoldTheirFixedValues)
{
    const struct {
        const char* name;
        int32_t hash;
    } cases[] = {
        {"", 0},
        {"a", 1013904320},
        {"ab", 285817485},
        {"radius", 649915886},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GameUtils::nameHash(c.name), c.hash) << c.name;
    EXPECT_EQ(GameUtils::transformId("ground"), GameUtils::nameHash("groundTransform"));
    // A byte above 0x7F counts as negative: "\xff" sums to 1013904222.
    EXPECT_EQ(GameUtils::nameHash("\xff"), 1013904222);
    for (const char* name : {"wall_run", "\x80\x81zz", "old_lady"})
        EXPECT_EQ(GameUtils::nameHash(name) & ~0x3fffffff, 0) << name;
}

// Each assignment replaces the owned copy, also from the target's own text.
TEST(GameUtils, AssignedTextsAreFreshOwnedCopies)
{
    String* narrow = nullptr;
    WideString* wide = nullptr;
    char source[] = "first";
    GameUtils::assignString(narrow, source);
    source[0] = 'F';
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow->chars(), "first");
    GameUtils::assignString(narrow, narrow->chars());
    EXPECT_STREQ(narrow->chars(), "first");
    GameUtils::assignString(narrow, nullptr);
    EXPECT_EQ(narrow, nullptr);
    GameUtils::assignWideString(wide, u"zwei");
    GameUtils::assignWideString(wide, wide->chars());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide->chars()), u"zwei");
    GameUtils::assignWideString(wide, nullptr);
    EXPECT_EQ(wide, nullptr);
    debugLog("%d %s", 7, "dropped");
}

TEST(GameUtils, ClockTextsAndAngles)
{
    const struct {
        int32_t ms;
        bool tenths;
        bool minus;
        const char16_t* expected;
    } cases[] = {
        {61234, true, false, u"1:01.2"},
        {600000, false, false, u"10:00"},
        {61234, true, true, u"-1:01.2"},
        {5999, false, false, u"0:05"},
        {59999, true, false, u"0:59.9"},
        {9999, false, false, u"0:09"},
        {10000, false, false, u"0:10"},
    };
    for (const auto& c : cases) {
        WideString out;
        GameUtils::formatTime(out, c.ms, c.tenths, c.minus, -1);
        EXPECT_EQ(text(out), c.expected) << c.ms;
    }
    WideString localised;
    GameUtils::formatTimeWith(localised, 61234, true, u"%i'%c%i\"%i");
    EXPECT_EQ(text(localised), u"1'01\"2");
    // The padding character is '0' below ten seconds and a space from ten on.
    for (const auto& [ms, shown] : {std::pair{9999, u"0'09"}, std::pair{10000, u"0' 10"}}) {
        GameUtils::formatTimeWith(localised, ms, false, u"%i'%c%i");
        EXPECT_EQ(text(localised), shown) << ms;
    }

    EXPECT_EQ(GameUtils::wrapAngle(540.0f), 180.0f);
    EXPECT_EQ(GameUtils::wrapAngle(-540.0f), -180.0f);
    EXPECT_EQ(GameUtils::wrapAngle(190.0f), -170.0f);
    EXPECT_EQ(GameUtils::headingAngle(1, 1, 1, 1), 0.0f);
    EXPECT_NEAR(GameUtils::headingAngle(0, 1, 0, 0), 0.0f, 0.01f);
    EXPECT_NEAR(GameUtils::headingAngle(1, 0, 0, 0), -90.0f, 0.01f);
    EXPECT_NEAR(GameUtils::headingAngle(-1, 0, 0, 0), 90.0f, 0.01f);
    // One Newton step: within 0.2 % of the true length.
    EXPECT_NEAR(GameUtils::length(3, 4, 12), 13.0f, 13.0f * 0.002f);

    // Equal points move nothing rather than dividing by zero.
    const float p[3] = {1, 2, 3};
    const float base[3] = {5, 5, 5};
    float out[3];
    float fraction = -1;
    GameUtils::moveTowards(p, p, base, 2.0f, out, &fraction);
    EXPECT_EQ(fraction, 0.0f);
    EXPECT_EQ(out[0], 5.0f);
    const float to[3] = {1, 2, 13};
    GameUtils::moveTowards(p, to, p, 5.0f, out, &fraction);
    EXPECT_NEAR(fraction, 0.5f, 0.002f);
    EXPECT_NEAR(out[2], 8.0f, 0.02f);
}

class UserParameters : public ::testing::Test {
protected:
    UserParameters() { m_world.m_world = createEngineObject(kIidWorld); }

    EngineRef group(const char* name)
    {
        EngineRef g = createEngineObject(kIidGroup);
        g.table<IkwObject3DTable>().setUserID(g.get(), uint32_t(GameUtils::transformId(name)));
        return g;
    }
    static void set(EngineHandle* node, const char* key, const char* value)
    {
        ASSERT_EQ(tableOf<IkwObject3DTable>(node).setUserParameter(node, uint32_t(GameUtils::nameHash(key)),
                                                                   uint32_t(std::strlen(value)), value),
                  0);
    }

    TestApp m_app;
    // The world's utilities take their working transform from the engine
    // as the world is made.
    struct Engine {
        Engine() { installEngineServices(); }
    } m_engine;
    GameWorld m_world;
};

TEST_F(UserParameters, TextsReadAsIntegersAndPairs)
{
    ASSERT_TRUE(m_world.m_world);
    EngineRef node = group("box");
    set(node.get(), "radius", "35");
    set(node.get(), "speed", "-2x");
    set(node.get(), "path", "16777217");
    set(node.get(), "empty", "");

    const struct {
        const char* key;
        float asFloat; // 99 when left untouched
        int32_t asInt;
    } cases[] = {
        {"radius", 35.0f, 35}, {"speed", -2.0f, -2}, {"path", 16777216.0f, 16777217}, {"empty", 99.0f, -1},
        {"missing", 99.0f, -1},
    };
    for (const auto& c : cases) {
        float f = 99.0f;
        int32_t i = 0;
        GameUtils::readUserParameter(node.get(), c.key, f);
        EXPECT_EQ(f, c.asFloat) << c.key;
        EXPECT_EQ(GameUtils::readIntUserParameter(node.get(), c.key, i), c.asInt) << c.key;
        EXPECT_EQ(i, c.asInt) << c.key;
    }
    String value("kept");
    EXPECT_FALSE(GameUtils::getUserProperty(node.get(), "empty", value));
    EXPECT_STREQ(value.chars(), "kept");
    EXPECT_TRUE(GameUtils::getUserProperty(node.get(), "speed", value));
    EXPECT_STREQ(value.chars(), "-2x");

    const char* keys[] = {"missing", "path", "radius", "empty"};
    PropertyPair pairs[4];
    EXPECT_EQ(GameUtils::readProperties(node.get(), keys, 4, nullptr), 2u);
    ASSERT_EQ(GameUtils::readProperties(node.get(), keys, 4, pairs), 2u);
    EXPECT_STREQ(pairs[0].key.chars(), "path");
    EXPECT_STREQ(pairs[0].value.chars(), "16777217");
    EXPECT_STREQ(pairs[1].key.chars(), "radius");
    EXPECT_STREQ(pairs[1].value.chars(), "35");
    EXPECT_EQ(GameUtils::parseInt("  +12.5"), 12);
    EXPECT_EQ(GameUtils::parseInt("99999999999"), 2147483647);
    EXPECT_EQ(GameUtils::parseInt("-99999999999"), -2147483647 - 1);
}

TEST_F(UserParameters, NodesAreFoundByNameAndNumberAndPlacedInTheWorld)
{
    EngineHandle* world = m_world.m_world.get();
    ASSERT_TRUE(world);
    EngineRef parent = group("row");
    for (const char* name : {"01", "A01", "10", "A10"})
        ASSERT_EQ(parent.table<IkwGroupTable>().addChild(parent.get(), group(name).get()), 0);
    const float at[3] = {2, 3, 4};
    parent.table<IkwTransformableTable>().setTranslation(parent.get(), at);
    ASSERT_EQ(tableOf<IkwGroupTable>(world).addChild(world, parent.get()), 0);

    const struct {
        int32_t index;
        bool prefixA;
        const char* name;
    } cases[] = {{0, false, "01"}, {0, true, "A01"}, {9, false, "10"}, {9, true, "A10"}};
    for (const auto& c : cases) {
        EngineRef found = GameUtils::findNumberedNode(parent.get(), c.index, c.prefixA);
        ASSERT_TRUE(found) << c.name;
        uint32_t id = 0;
        found.table<IkwObject3DTable>().getUserID(found.get(), &id);
        EXPECT_EQ(id, uint32_t(GameUtils::transformId(c.name)));
    }
    EXPECT_FALSE(GameUtils::findNumberedNode(parent.get(), 1, false));
    // Level data may hold any index; the largest has no successor.
    EXPECT_FALSE(GameUtils::findNumberedNode(parent.get(), INT32_MAX, true));

    EngineRef row = m_world.m_utils->findNode("row");
    ASSERT_TRUE(row);
    float p[3] = {9, 9, 9};
    m_world.m_utils->getNodePosition(GameUtils::findNumberedNode(parent.get(), 9, true).get(), p);
    EXPECT_EQ(p[0], 2.0f);
    EXPECT_EQ(p[1], 3.0f);
    EXPECT_EQ(p[2], 4.0f);
    m_world.m_utils->getWorldPosition(nullptr, p);
    EXPECT_EQ(p[0] + p[1] + p[2], 0.0f);
}

} // namespace
