#include "platform/wince/PlatformSystem.h"

#include "platform/host/HostShell.h"
#include "platform/wince/PlatformIds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_opened;
bool g_answer = true;

bool record(const std::string&, const std::string& address)
{
    g_opened.push_back(address);
    return g_answer;
}

// Records what the rotated queries ask of the key queries.
class RecordingSystem : public PlatformSystem {
public:
    int keyState(uint32_t direction, uint32_t context) override
    {
        asked.push_back({ 's', direction, context });
        return PlatformSystem::keyState(direction, context);
    }
    int keyEvent(uint32_t direction, uint32_t context) override
    {
        asked.push_back({ 'e', direction, context });
        return PlatformSystem::keyEvent(direction, context);
    }
    void quit() override { ++quits; }

    struct Ask {
        char kind;
        uint32_t direction;
        uint32_t context;
        bool operator==(const Ask&) const = default;
    };
    std::vector<Ask> asked;
    int quits = 0;
};

struct PlatformSystemTest : ::testing::Test {
    void SetUp() override
    {
        g_opened.clear();
        g_answer = true;
        hostSetShellRecorder(record);
    }
    void TearDown() override { hostSetShellRecorder(nullptr); }
};

TEST_F(PlatformSystemTest, StartsWithTheDeviceDefaults)
{
    PlatformSystem system;
    EXPECT_EQ(system.m_typeId, PlatformTypeId::PlatformSystem);
    EXPECT_EQ(system.getOrientation(), 1u);
    EXPECT_EQ(system.m_volume, 6u);
    EXPECT_EQ(system.m_soundEnabled, 1);
    EXPECT_EQ(system.m_vibrationEnabled, 1);
    EXPECT_EQ(system.keyClass(15), 3u);
    EXPECT_EQ(system.keyClass(16), 4u);
    EXPECT_EQ(system.keyClass(0), 4u);
}

TEST_F(PlatformSystemTest, RotationsFollowTheOrientation)
{
    struct Case {
        RotatedKey key;
        uint32_t directions[6]; // orientations 0..5
    };
    const Case cases[] = {
        { kRotatedA, { 0, 2, 3, 4, 1, 0 } },
        { kRotatedB, { 0, 4, 1, 2, 3, 0 } },
        { kRotatedC, { 0, 3, 4, 1, 2, 0 } },
        { kRotatedFixed, { 0, 5, 5, 5, 5, 0 } },
    };
    for (const Case& c : cases)
        for (uint32_t o = 0; o < 6; ++o)
            EXPECT_EQ(rotatedDirection(c.key, o), c.directions[o]) << c.key << " " << o;
}

TEST_F(PlatformSystemTest, RotatedQueriesAskTheKeyQueries)
{
    RecordingSystem system;
    EXPECT_EQ(system.rotatedKeyState(kRotatedA, 7), 0);
    EXPECT_EQ(system.rotatedKeyEvent(kRotatedFixed, 8), 0);
    system.m_orientation = 3;
    EXPECT_EQ(system.rotatedKeyState(kRotatedB, 0), 0);
    system.m_orientation = 9;
    EXPECT_EQ(system.rotatedKeyEvent(kRotatedC, 0), 0);
    const std::vector<RecordingSystem::Ask> expected = {
        { 's', 2, 7 }, { 'e', 5, 8 }, { 's', 2, 0 }, { 'e', 0, 0 },
    };
    EXPECT_EQ(system.asked, expected);
}

TEST_F(PlatformSystemTest, OpenUrlHandsWebAddressesToTheBrowserAndQuits)
{
    RecordingSystem system;
    EXPECT_EQ(system.openUrl(nullptr), 0);
    EXPECT_EQ(system.openUrl(u""), 0);
    EXPECT_TRUE(g_opened.empty());

    EXPECT_EQ(system.openUrl(u"file:///etc/passwd"), 0);
    EXPECT_EQ(system.quits, 0);

    g_answer = false;
    EXPECT_EQ(system.openUrl(u"http://example.com/"), 0);
    EXPECT_EQ(system.quits, 0);

    g_answer = true;
    EXPECT_EQ(system.openUrl(u"http://example.com/scores"), 1);
    EXPECT_EQ(system.quits, 1);
    const std::vector<std::string> expected = { "http://example.com/", "http://example.com/scores" };
    EXPECT_EQ(g_opened, expected);
}

TEST_F(PlatformSystemTest, SingletonPointerIsProgramWide)
{
    EXPECT_EQ(getPlatformSystem(), nullptr);
    PlatformSystem system;
    setPlatformSystem(&system);
    EXPECT_EQ(getPlatformSystem(), &system);
    setPlatformSystem(nullptr);
}

} // namespace
