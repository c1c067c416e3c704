// The player's progress through the game: a record per level (unlocking,
// completion, money, collected flags, times), the police chase, the saved
// game it reads at once and writes on every change, and the two sound
// channels of the game, music and jingles.
#pragma once

#include <cstdint>

class Resource;
class WideString;

namespace LevelIndex {
constexpr int32_t Last = 8;          // levels 0..8 are played in order
constexpr int32_t Hideout = 9;
constexpr int32_t Special = 10;
constexpr uint32_t Records = 11;
constexpr uint32_t Played = 9;       // the records that count toward the game's totals
} // namespace LevelIndex

struct LevelRecord {
    static constexpr uint32_t kMoneySlots = 200;
    static constexpr uint32_t kExtraFlags = 10;
    static constexpr int32_t kTargetTime = 180000;
    static constexpr int32_t kMoneyPerFlag = 100;
    // More than any player completes; the count over all played levels
    // stays within int32.
    static constexpr int32_t kMaxCompletions = INT32_MAX / int32_t(LevelIndex::Played);

    // attemptTime cleared; the full reset also forgets the level's history.
    // money is then recounted from the collected flags, at most moneyAvailable.
    void reset(bool full);
    // The time that counts against the target: the best, else this attempt's;
    // 0 when the level was never finished.
    int32_t countedTime() const { return bestTime != 0 ? bestTime : attemptTime; }
    bool isCompleted() const;

    int32_t money = 0;
    uint8_t collected[kMoneySlots] = {};
    uint8_t extraFlags[kExtraFlags] = {};
    int32_t completions = 0;
    uint8_t completed = 0;
    int32_t attemptTime = 0;
    int32_t bestTime = 0;
    int32_t moneyAvailable = 20000;
    int32_t targetTime = kTargetTime;
    uint8_t unlocked = 0;
    uint8_t newlyUnlocked = 0;
};

// The running player's chase fields: the chase step reads and moves them.
struct PlayerChase {
    int32_t stateWords[2] = {};  // either nonzero pauses the chase
    int32_t chaseStart = 0;      // world time the chaser set off
    int32_t ahead = 0;           // frames well ahead of the chaser
    int32_t behind = 0;          // frames close to it (and slides)
    int32_t actionState = 0;
};

// What the progress reads of the running game; the game world provides it.
class ProgressWorld {
public:
    virtual ~ProgressWorld() = default;

    virtual bool hasLevel() const = 0;
    virtual int32_t levelTime() const = 0;
    // Null while no player runs.
    virtual PlayerChase* playerChase() = 0;
    // The player's distance along the level's path and the path's length.
    virtual void playerPath(float& distance, float& length) = 0;
    // Stages the level-end scene at the level's "final_cam"; false without one.
    virtual bool setupLevelEnd() = 0;
    virtual void openMenuScreen(uint32_t screenId, int32_t selection, int32_t push) = 0;
    // The menu's text line n (0..4), or null without a menu.
    virtual WideString* menuTextLine(uint32_t n) = 0;
    virtual int32_t menuOptionValue(uint32_t item) = 0;

    int32_t m_levelIndex = 0;
    int32_t m_character = 0;  // 0 and 2 the boy, 1 the girl
    int32_t m_outfit[3] = {6, 4, 6};
};

// One sound channel: the cue that holds it and the voice playing it.
struct CueChannel {
    int32_t cue = -1;
    Resource* sound = nullptr;
    uint32_t voice = 0;  // 0: none (the device never hands out 0 for a voice)
    uint8_t loop = 0;
};

class GameProgress {
public:
    static constexpr uint32_t kBlockVersion = 41;
    static constexpr float kChaserStart = -30.0f;
    static constexpr float kDangerGap = 15.0f;
    static constexpr int32_t kGraceMs = 5000;

    // Resets, loads the saved game (writing a fresh one when it has none)
    // and takes the device's sound switch and volume as they are.
    explicit GameProgress(ProgressWorld* world);
    ~GameProgress();
    GameProgress(const GameProgress&) = delete;
    GameProgress& operator=(const GameProgress&) = delete;

    void resetAll();
    // 1 when the saved game was written; a failure raises the application's
    // save-failed flag.
    int save();
    // The current block into the saved game's image, not yet written; false
    // without the service.
    bool stage();
    void load();

    // The record of level L, or null outside 0..10.
    LevelRecord* record(int32_t level);
    const LevelRecord* record(int32_t level) const;

    void unlockNextLevel();
    bool isLevelCompleted(int32_t level) const;
    int32_t completedLevelCount() const;
    float completionFraction() const;
    bool isGameComplete() const;
    void unlockAllLevels();

    float getChaseGap() const { return m_playerDistance - m_chaserDistance; }
    void checkLevelFinish(bool finished);
    // The end of level L (0..8): when L was finished, an attempt that met
    // its time or collected all its money counts a completion, the next
    // level may open, and the saved game is written.
    void recordLevelEnd();
    // Into the backup for the attempt the player leaves the hideout for.
    void prepareAttempt(int32_t level);

    void playMusic(int32_t cue, bool loop);
    void playJingle(int32_t cue, bool loop);
    void stopMusic() { stopChannel(m_music); }
    void stopJingle() { stopChannel(m_jingle); }
    void stopCue(int32_t cue);
    bool isCuePlaying(int32_t cue) const { return cue != -1 && (cue == m_music.cue || cue == m_jingle.cue); }
    void updateAudio();
    void applyMusicSetting(int32_t cue);
    // The menu engine's frame and its file have nothing to do here.
    void emptyUpdateHook() {}
    void emptyFileHook(const char* /*fileName*/) {}

    void formatTotals();
    // The menu's text lines of a result screen; other screens leave them.
    void formatResultTexts(uint32_t screenId);
    void formatOnOffTexts();
    bool getFlag() const { return m_onOffTextFlag != 0; }

    // The saved-game block as written and read; exposed for the save test.
    void buildBlock(uint8_t* block) const;
    bool readBlock(const uint8_t* block);

    LevelRecord m_levels[LevelIndex::Records];
    LevelRecord m_backupRecord;
    uint8_t m_effectsOn = 1;
    uint8_t m_musicOn = 1;
    int32_t m_volume = 70;
    uint8_t m_savedFlag = 0;
    uint8_t m_allUnlocked = 0;
    uint8_t m_gameComplete = 0;
    float m_pathLength = 0;
    float m_playerDistance = 0;
    float m_chaserDistance = kChaserStart;
    int32_t m_chaseGrace = -1;
    float m_chaseSpeed = 0.0026666668f;
    int32_t m_bestTotalTime = -1;
    // The level the finish event ended, until its end is recorded; -1 none.
    int32_t m_finishedLevel = -1;
    uint8_t m_onOffTextFlag = 0;
    CueChannel m_music;
    CueChannel m_jingle;
    ProgressWorld* m_world;
    // Run-time state the level code keeps here; a new game clears it.
    int32_t m_levelWords[1000] = {};
    int32_t m_levelState[13] = {};

private:
    void play(CueChannel& channel, int32_t cue, bool loop);
    void stopChannel(CueChannel& channel);
    void takeSoundChoice();
    void setDeviceVolume();
};
