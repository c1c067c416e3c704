#include "game/level/GameProgress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/services/AppStateFlags.h"
#include "framework/strings/WideString.h"
#include "game/shell/GameClock.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/ShellText.h"
#include "game/shell/testing/FakeSound.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"
#include "tools/pack/ResourceWriters.h"

namespace {

constexpr uint32_t kEnglish = 0x03000020;
constexpr int32_t kTune = 0x09000001;
constexpr int32_t kChime = 0x09000002;
constexpr int32_t kMissingCue = 0x09000003;

struct FakeWorld : ProgressWorld {
    bool level = true;
    int32_t time = 0;
    PlayerChase chase;
    bool hasPlayer = true;
    float distance = 0, length = 500;
    bool finalCam = false;
    std::vector<uint32_t> screens;
    WideString lines[5];
    int32_t options[4] = {};

    bool hasLevel() const override { return level; }
    int32_t levelTime() const override { return time; }
    PlayerChase* playerChase() override { return hasPlayer ? &chase : nullptr; }
    void playerPath(float& d, float& l) override
    {
        d = distance;
        l = length;
    }
    bool setupLevelEnd() override { return finalCam; }
    void openMenuScreen(uint32_t id, int32_t, int32_t) override { screens.push_back(id); }
    WideString* menuTextLine(uint32_t n) override { return n < 5 ? &lines[n] : nullptr; }
    int32_t menuOptionValue(uint32_t item) override { return item < 4 ? options[item] : 0; }
};

Bytes stringTable()
{
    EntryTableWriter table;
    const std::pair<uint32_t, std::u16string> texts[] = {
        {0x16a, u"On"},          {0x110, u"Off"},          {0x255, u"No sound"},   {0x250, u"Limit %i:%c%i"},
        {0x277, u"Best %i:%c%i"}, {0x16f, u"Over %i:%c%i"}, {0x133, u"Map"},        {0x2b5, u"Caught"},
        {0x14b, u"Again"},       {0x1d2, u"Finished"},     {0x1bb, u"Not yet"},    {0x247, u"The end"},
        {0x120, u"Level end"},   {0x275, u"Money"},        {0x1d3, u"%i of %i"},
    };
    for (const auto& [entry, text] : texts)
        table.add(entry, encodePackEntry(encodeUtf16Text(text), false), ResourceType::Utf16Text);
    return table.build();
}

Bytes testPack()
{
    ResourceTableImage table;
    table.attributeWidth = 1;
    table.nameLength = 8;
    table.languages = {{kEnglish, {1}, "English"}};
    table.stringTables = {kEnglish};
    PackWriter writer;
    writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable(table), true);
    writer.add(kEnglish, ResourceType::EntryTable, stringTable());
    writer.add(uint32_t(kTune), ResourceType::StoredSoundForms[0], Bytes(64, 1));
    writer.add(uint32_t(kChime), ResourceType::StoredSoundForms[0], Bytes(32, 2));
    Bytes pack;
    EXPECT_TRUE(writer.build(PackIndexForm::Sorted, pack));
    return pack;
}

struct GameProgressTest : ::testing::Test {
    ResourcePack pack;
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    ResourceManager* manager = new ResourceManager();
    FakeSound* sound = new FakeSound();
    FakeWorld world;

    GameProgressTest()
    {
        app.m_fileSystem = fs;
        app.m_resourceManager = manager;
        app.m_soundDevice = sound;
        installSaveFileCreators();
        EXPECT_EQ(pack.openFile(new MemoryFile(testPack())), 1);
        EXPECT_EQ(manager->openTable(&pack, 500, 33, true), 1);
        manager->loadListEntry(0);
    }
    ~GameProgressTest() override
    {
        app.m_fileSystem = nullptr;
        delete fs;
    }
    Bytes& saveFile() { return fs->files[u"/data/savegame.dat"]; }
    int32_t savedWord(uint32_t w) { return int32_t(loadLe32(saveFile().data() + 8 + 4 * w)); }
    std::u16string line(uint32_t n) { return world.lines[n].chars() ? world.lines[n].chars() : u""; }
};

} // namespace

TEST_F(GameProgressTest, AFreshInstallSavesTheNewGameAndTheSaveRoundTrips)
{
    GameProgress progress(&world);
    ASSERT_EQ(saveFile().size(), SaveFileLayout::SaveGameSize);
    EXPECT_EQ(savedWord(0), 41);
    EXPECT_EQ(savedWord(2), 1);  // level 0 unlocked
    EXPECT_EQ(savedWord(3), 1);  // and newly unlocked
    EXPECT_EQ(savedWord(2 + 216), 0);
    EXPECT_EQ(savedWord(1948), 6);
    EXPECT_EQ(savedWord(1949), 4);
    EXPECT_EQ(savedWord(1950), 6);
    // The player's sound choice stands.
    EXPECT_EQ(sound->volume, 4u);
    EXPECT_EQ(progress.m_volume, 40);

    LevelRecord& r = progress.m_levels[5];
    r.unlocked = 1;
    r.collected[0] = r.collected[199] = 1;
    r.extraFlags[9] = 1;
    r.money = 200;
    r.completions = 3;
    r.completed = 1;
    r.bestTime = 123456;
    r.attemptTime = 99;  // not stored
    progress.m_allUnlocked = 1;
    world.m_character = 1;
    world.m_outfit[1] = 2;
    ASSERT_EQ(progress.save(), 1);
    // Where the words lie in the file, read by offset.
    const struct {
        uint32_t word;
        int32_t value;
    } words[] = {{2 + 216 * 5, 1},       {2 + 216 * 5 + 2, 200}, {2 + 216 * 5 + 3, 1}, {2 + 216 * 5 + 4, 3},
                 {2 + 216 * 5 + 5, 123456}, {2 + 216 * 5 + 6, 1},  {2 + 216 * 5 + 205, 1}, {2 + 216 * 5 + 215, 1},
                 {1946, 1},              {1947, 1},              {1949, 2},            {1951, 0}};
    for (const auto& w : words)
        EXPECT_EQ(savedWord(w.word), w.value) << "word " << w.word;
    FakeWorld other;
    GameProgress reread(&other);
    const LevelRecord& s = reread.m_levels[5];
    EXPECT_EQ(std::vector<int32_t>({s.unlocked, s.collected[0], s.collected[199], s.extraFlags[9], s.money,
                                    s.completions, s.completed, s.bestTime, s.attemptTime}),
              std::vector<int32_t>({1, 1, 1, 1, 200, 3, 1, 123456, 0}));
    EXPECT_EQ(reread.m_allUnlocked, 1);
    EXPECT_EQ(other.m_character, 1);
    EXPECT_EQ(other.m_outfit[1], 2);

    // Another version is replaced by the current state at once.
    Bytes block(SaveFileLayout::GameStateSize, 0);
    storeLe32(block.data(), 40);
    getSaveGame()->setData(block.data());
    getSaveGame()->save();
    GameProgress fresh(&other);
    EXPECT_EQ(savedWord(0), 41);
    EXPECT_EQ(fresh.m_levels[5].money, 0);
}

// Values no game writes, in a block with a valid CRC: clamped before the
// level map, the pages or the scene code index with them.
TEST_F(GameProgressTest, OutOfRangeSavedValuesAreClamped)
{
    GameProgress progress(&world);
    uint8_t block[SaveFileLayout::GameStateSize];
    progress.buildBlock(block);
    for (uint32_t k = 0; k < 9; ++k)
        storeLe32(block + 4 * (2 + 216 * k + 4), 0x7FFFFFFF);  // completions
    const uint32_t level3 = 2 + 216 * 3;
    storeLe32(block + 4 * (level3 + 2), 0x7FFFFFFF);  // money
    storeLe32(block + 4 * (level3 + 4), uint32_t(-5)); // completions
    storeLe32(block + 4 * (level3 + 5), uint32_t(-1)); // best time
    storeLe32(block + 4 * 1947, 77);
    storeLe32(block + 4 * 1948, 7);
    storeLe32(block + 4 * 1949, uint32_t(-1));
    storeLe32(block + 4 * 1950, 3);
    for (uint32_t i = 0; i < LevelRecord::kMoneySlots; ++i)
        storeLe32(block + 4 * (level3 + 6 + i), 1);  // every collected flag
    ASSERT_TRUE(progress.readBlock(block));
    // Summed for the hideout's marks, and one more won: no count wraps.
    progress.m_finishedLevel = world.m_levelIndex = 0;
    progress.m_levels[0].attemptTime = 1000;
    progress.recordLevelEnd();
    EXPECT_EQ(progress.completedLevelCount(), 8LL * progress.m_levels[1].completions);
    EXPECT_EQ(progress.m_levels[3].money, 10400);
    // An attempt recounts the money from the flags: still no more than the level holds.
    progress.prepareAttempt(3);
    EXPECT_EQ(progress.m_levels[3].money, 10400);
    EXPECT_EQ(progress.m_levels[3].completions, 0);
    EXPECT_EQ(progress.m_levels[3].bestTime, 0);
    EXPECT_EQ(world.m_character, 0);
    EXPECT_EQ(std::vector<int32_t>(world.m_outfit, world.m_outfit + 3), (std::vector<int32_t>{6, 4, 3}));
}

TEST_F(GameProgressTest, LevelsUnlockInOrderWhenCompleted)
{
    GameProgress progress(&world);
    struct Case {
        const char* what;
        int32_t level;
        int32_t completions, money, bestTime, attemptTime;
        bool opens;
    };
    const Case cases[] = {
        {"in time without all money", 2, 0, 9000, 0, 180000, true},
        {"a millisecond late", 2, 0, 9000, 0, 180001, false},
        {"never finished (time 0)", 2, 0, 0, 0, 0, false},
        {"best time counts first", 2, 0, 0, 170000, 190000, true},
        {"all money", 2, 0, 10200, 0, 200000, true},
        {"completed before", 2, 1, 0, 0, 0, true},
        {"after the last level", 8, 1, 0, 0, 0, false},
        {"the hideout", 9, 1, 0, 0, 0, false},
        {"no level", -1, 1, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        progress.resetAll();
        world.m_levelIndex = c.level;
        if (LevelRecord* r = progress.record(c.level)) {
            r->completions = c.completions;
            r->money = c.money;
            r->bestTime = c.bestTime;
            r->attemptTime = c.attemptTime;
        }
        saveFile().clear();
        progress.unlockNextLevel();
        std::string unlocked;
        for (int32_t k = 0; k < 11; ++k)
            unlocked += progress.m_levels[k].unlocked ? '1' : '0';
        std::string expected = "10000000000";
        if (c.opens)
            expected[size_t(c.level + 1)] = '1';
        EXPECT_EQ(unlocked, expected) << c.what;
        EXPECT_EQ(progress.isLevelCompleted(c.level), c.opens || c.level >= 8) << c.what;
        EXPECT_EQ(saveFile().size(), c.opens ? SaveFileLayout::SaveGameSize : 0u) << c.what << ": saved only when a level opened";
        if (c.opens) {
            EXPECT_EQ(progress.m_levels[c.level + 1].newlyUnlocked, 1) << c.what;
        }
    }

    progress.resetAll();
    EXPECT_FALSE(progress.isGameComplete());
    for (uint32_t k = 0; k < 9; ++k) {
        progress.m_levels[k].money = progress.m_levels[k].moneyAvailable;
        progress.m_levels[k].completions = 2;
    }
    EXPECT_NEAR(progress.completionFraction(), 1.0f, 1e-6f);
    EXPECT_EQ(progress.completedLevelCount(), 18);
    EXPECT_TRUE(progress.isGameComplete());
    progress.resetAll();
    progress.unlockAllLevels();
    EXPECT_TRUE(progress.isGameComplete());
    EXPECT_EQ(progress.m_levels[10].unlocked, 1);
    EXPECT_EQ(progress.m_levels[0].newlyUnlocked, 1);
    EXPECT_EQ(savedWord(1946), 1);

    // A failed write raises the application's flag and keeps the state.
    fs->faults.open = true;
    EXPECT_EQ(progress.save(), 0);
    EXPECT_EQ(getAppStateFlags()->m_flags[AppFlag::SaveFailed], 1);
}

TEST_F(GameProgressTest, TheChaseFollowsItsFormulaAtItsEdges)
{
    GameProgress progress(&world);
    world.m_levelIndex = 4;
    struct Case {
        const char* what;
        int32_t t, start, ahead, behind, action, grace;
        float distance;
        float speed;  // before the step
        int32_t aheadAfter, behindAfter, startAfter;
    };
    const float s0 = 0.0026666668f;
    const Case cases[] = {
        // No frames yet: the base speed, never 0/0.
        {"first frame", 1000, 0, 0, 0, 0, -1, 10.0f, s0, 1, 0, 0},
        {"well ahead", 3000, 0, 3, 1, 0, -1, 40.0f, s0, 4, 1, 0},
        {"sliding", 3000, 0, 0, 0, 1, -1, 0.0f, s0, 0, 6, 0},
        {"more than 100 ahead", 3000, 0, 1, 0, 0, -1, 200.0f, s0, 2, 0, -1},
        // The level clock wraps after 2^31 ms; the chase counts across it.
        {"ahead across the wrap", INT32_MIN + 1000, INT32_MAX - 1999, 3, 1, 0, -1, 40.0f, s0, 4, 1, 0},
        {"moved back across the wrap", INT32_MIN + 10, INT32_MAX - 2989, 1, 0, 0, -1, 200.0f, s0, 2, 0, -1},
        {"counters at their top", 3000, 0, INT32_MAX, INT32_MAX, 1, -1, 0.0f, s0, INT32_MAX, INT32_MAX, 0},
        {"grace pulls the chaser back to 30", 6000, 0, 0, 1, 0, 5000, 10.0f, s0, 0, 2, -2},
    };
    for (const Case& c : cases) {
        world.time = c.t;
        world.distance = c.distance;
        world.chase = PlayerChase();
        world.chase.chaseStart = c.start;
        world.chase.ahead = c.ahead;
        world.chase.behind = c.behind;
        world.chase.actionState = c.action;
        progress.m_chaseGrace = c.grace;
        progress.m_chaseSpeed = c.speed;
        progress.checkLevelFinish(false);

        const float chaser = float(clockSince(c.t, c.start)) * c.speed - 30.0f;
        EXPECT_FLOAT_EQ(progress.m_chaserDistance, chaser) << c.what;
        EXPECT_FLOAT_EQ(progress.getChaseGap(), c.distance - chaser) << c.what;
        const float share = c.ahead || c.behind ? float(c.ahead) / float(int64_t(c.ahead) + c.behind) : 0.0f;
        const float speed = share * 0.0013333333f + 0.0026666669f;
        EXPECT_FLOAT_EQ(progress.m_chaseSpeed, speed) << c.what;
        EXPECT_EQ(world.chase.ahead, c.aheadAfter) << c.what;
        EXPECT_EQ(world.chase.behind, c.behindAfter) << c.what;
        EXPECT_EQ(progress.m_levels[4].attemptTime, c.t < 0 ? INT32_MAX : c.t) << c.what;
        EXPECT_EQ(progress.m_pathLength, 500.0f) << c.what;
        // -1: moved so the chaser is 100 behind; -2: 30 behind.
        const float behindBy = c.startAfter == -1 ? 100.0f : c.startAfter == -2 ? 30.0f : 0.0f;
        if (behindBy != 0) {
            const float after = float(clockSince(c.t, world.chase.chaseStart)) * speed - 30.0f;
            EXPECT_NEAR(c.distance - after, behindBy, speed) << c.what;
        } else {
            EXPECT_EQ(world.chase.chaseStart, c.start) << c.what;
        }
    }

    // Paused by either state word, and never in the hideout.
    world.chase = PlayerChase();
    world.chase.stateWords[1] = 1;
    world.time = 777;
    progress.checkLevelFinish(true);
    EXPECT_EQ(progress.m_chaserDistance, -30.0f);
    EXPECT_EQ(progress.m_levels[4].attemptTime, 6000);
    world.chase.stateWords[1] = 0;
    world.m_levelIndex = 9;
    progress.checkLevelFinish(true);
    EXPECT_EQ(progress.m_levels[9].attemptTime, 0);

    // Finishing keeps the best time and opens the level-end screen without a final camera.
    world.m_levelIndex = 4;
    // A level clock past 2^31 ms has wrapped: no best time, however negative.
    for (int32_t t : {90000, 80000, 85000, INT32_MIN + 5}) {
        world.time = t;
        progress.checkLevelFinish(true);
    }
    EXPECT_EQ(progress.m_levels[4].bestTime, 80000);
    EXPECT_EQ(world.screens, std::vector<uint32_t>(4, 0x21ff0120));
    world.finalCam = true;
    progress.checkLevelFinish(true);
    EXPECT_EQ(world.screens.size(), 4u);
}

TEST_F(GameProgressTest, CueChannelsPlayLoopAndStopOnlyTheirOwnVoices)
{
    GameProgress progress(&world);
    world.level = false;
    progress.playMusic(kTune, true);
    progress.playJingle(kChime, false);
    EXPECT_EQ(sound->playing, (std::set<uint32_t>{1, 2}));
    EXPECT_TRUE(progress.isCuePlaying(kTune));
    progress.playMusic(kChime, false);  // the channel is taken
    EXPECT_EQ(progress.m_music.cue, kTune);

    // Stopping the music cue stops the music, not the jingle.
    progress.stopCue(kTune);
    EXPECT_EQ(sound->playing, (std::set<uint32_t>{2}));
    EXPECT_EQ(progress.m_music.cue, -1);
    EXPECT_EQ(progress.m_jingle.cue, kChime);
    EXPECT_EQ(manager->held(uint32_t(kTune)), nullptr) << "released";

    // A finished looping cue starts again; a finished one-shot goes idle.
    progress.playMusic(kTune, true);
    sound->playing.clear();
    progress.updateAudio();
    EXPECT_EQ(sound->playing, (std::set<uint32_t>{4}));
    EXPECT_EQ(progress.m_jingle.cue, -1);
    EXPECT_EQ(manager->held(uint32_t(kChime)), nullptr);

    // Sound off: the device hands out voice 0, which is no voice at all.
    progress.stopMusic();
    sound->on = 0;
    sound->playing = {99};  // somebody else's voice
    progress.m_effectsOn = 1;
    progress.playJingle(kChime, false);
    EXPECT_EQ(progress.m_jingle.voice, 0u);
    progress.updateAudio();
    EXPECT_EQ(progress.m_jingle.cue, -1) << "voice 0 is not 'any voice playing'";
    progress.playJingle(kChime, false);
    progress.stopJingle();
    EXPECT_EQ(sound->playing, (std::set<uint32_t>{99})) << "stop(0) would stop every voice";

    progress.playMusic(kMissingCue, true);
    EXPECT_EQ(progress.m_music.cue, -1);

    // The music setting plays only while no level runs, and sets the volume.
    sound->on = 1;
    progress.m_musicOn = 1;
    progress.m_volume = 90;
    progress.applyMusicSetting(kTune);
    EXPECT_EQ(progress.m_music.cue, kTune);
    EXPECT_EQ(sound->volume, 9u);
    world.level = true;
    progress.applyMusicSetting(kTune);
    EXPECT_EQ(progress.m_music.cue, -1);
}

TEST_F(GameProgressTest, MenuTextsShowTotalsAndSwitches)
{
    GameProgress progress(&world);
    progress.m_levels[0].money = 300;
    progress.m_levels[10].money = 200;
    progress.formatTotals();
    EXPECT_EQ(line(0), u"500");
    EXPECT_EQ(line(1), u"????");
    progress.m_bestTotalTime = 654321;
    progress.formatTotals();
    EXPECT_EQ(line(1), u"654321");

    struct Case {
        int32_t music, effects;
        uint8_t flag;
        std::u16string lines[5];
    };
    const Case cases[] = {
        {1, 0, 0, {u"", u"On", u"Off", u"", u""}},
        {0, 0, 0, {u"No sound", u"Off", u"Off", u"", u""}},
        {1, 1, 1, {u"No sound", u"No sound", u"No sound", u"", u""}},
    };
    for (const Case& c : cases) {
        world.options[1] = c.music;
        world.options[2] = c.effects;
        progress.m_onOffTextFlag = c.flag;
        world.lines[3].assign(u"stale");
        progress.formatOnOffTexts();
        for (uint32_t n = 0; n < 5; ++n)
            EXPECT_EQ(line(n), c.lines[n]) << n;
        EXPECT_EQ(progress.getFlag(), c.flag != 0);
    }

    // Texts by id: a missing one is empty, no error; appending keeps the text.
    WideString text(u"kept");
    loadTextById(text, 0x21ff0999);
    EXPECT_EQ(text.length(), 0u);
    loadTextResource(text, 0x21ff016a);
    loadTextResource(text, 0x21ff0110);
    EXPECT_EQ(std::u16string(text.chars()), u"OnOff");
}

TEST_F(GameProgressTest, ResultScreensFillTheirLines)
{
    GameProgress progress(&world);
    world.m_levelIndex = 2;  // 10200 money in all
    struct Case {
        uint32_t screen;
        int32_t attemptTime, bestTime, money, completions;
        std::u16string lines[5];
    };
    const std::u16string stale = u"stale";
    const Case cases[] = {
        // The localised clock: minutes, the padding, seconds.
        {0x21ff0250, 170000, 165000, 0, 0, {u"Best 2: 45", u"2:50", u"", u"Map", u""}},
        // Exactly the limit is still in time.
        {0x21ff0250, 180000, 165000, 0, 0, {u"Best 2: 45", u"3:00", u"", u"Map", u""}},
        {0x21ff0250, 180001, 165000, 0, 0, {u"Limit 3:00", u"3:00", u"Over 0:00", u"", u""}},
        {0x21ff0250, 185500, 165000, 0, 0, {u"Limit 3:00", u"3:05", u"Over 0:05", u"", u""}},
        {0x21ff0250, 100000, 0, 0, 0, {u"Limit 3:00", u"1:40", u"", u"Map", u""}},
        {0x21ff02b5, 0, 0, 0, 0, {u"Caught", u"", u"Again", u"", u""}},
        {0x21ff01d2, 0, 0, 0, 0, {u"Finished", u"", u"Not yet", u"", u""}},
        {0x21ff01d2, 0, 0, 0, 1, {u"Finished", u"", u"Again", u"Map", u""}},
        {0x21ff0120, 0, 0, 0, 0, {u"The end", u"", u"Level end", u"", u""}},
        {0x21ff01a6, 0, 0, 9000, 0, {u"Money", u"9000", u"9000 of 10200", u"", u""}},
        {0x21ff01a6, 0, 0, 10200, 0, {u"Money", u"10200", u"10200 of 10200", u"Map", u""}},
        {0x21ff0100, 0, 0, 0, 0, {stale, stale, stale, stale, stale}},
    };
    for (const Case& c : cases) {
        LevelRecord& r = progress.m_levels[2];
        r.attemptTime = c.attemptTime;
        r.bestTime = c.bestTime;
        r.money = c.money;
        r.completions = c.completions;
        for (WideString& line : world.lines)
            line.assign(stale.c_str());
        progress.formatResultTexts(c.screen);
        for (uint32_t n = 0; n < 5; ++n)
            EXPECT_EQ(line(n), c.lines[n]) << std::hex << c.screen << " line " << n;
    }
}
