// Level records, the saved-game block, the chase step and the two cue
// channels of the game's progress.
#include "game/level/GameProgress.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "framework/resources/ResourceManager.h"
#include "framework/resources/SoundSample.h"
#include "framework/resources/TypedResources.h"
#include "framework/services/AppStateFlags.h"
#include "framework/strings/WideString.h"
#include "framework/util/Format.h"
#include "framework/util/Saturate.h"
#include "game/level/GameUtils.h"
#include "game/shell/GameClock.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/ShellText.h"
#include "platform/wince/SoundDevice.h"

namespace {

// The money each level holds; their sum, 94200, is the game's total.
constexpr int32_t kMoneyAvailable[LevelIndex::Played] = {9100, 10100, 10200, 10400, 9700, 14700, 11100, 10000, 8900};
constexpr float kInverseTotalMoney = 1.0615711e-5f;

// Words of the saved-game block.
constexpr uint32_t kWordVersion = 0;
constexpr uint32_t kWordSavedFlag = 1;
constexpr uint32_t kWordFirstLevel = 2;
constexpr uint32_t kWordsPerLevel = 216;
constexpr uint32_t kWordAllUnlocked = 1946;
constexpr uint32_t kWordCharacter = 1947;
constexpr uint32_t kWordOutfit = 1948;
static_assert(kWordFirstLevel + kWordsPerLevel * LevelIndex::Played == kWordAllUnlocked);
static_assert((kWordOutfit + 3) * 4 <= SaveFileLayout::GameStateSize);

// Offsets inside a level's words.
enum LevelWord : uint32_t { Unlocked, NewlyUnlocked, Money, Completed, Completions, BestTime, Collected };
constexpr uint32_t kLevelExtraFlags = Collected + LevelRecord::kMoneySlots;

constexpr int32_t kCharacters = 3;
constexpr int32_t kOutfits = 7;
constexpr int32_t kDefaultOutfit[3] = {6, 4, 6};

// The chase: the chaser starts 30 behind, speeds up with the share of frames
// the player spends well ahead, and is kept within 100.
constexpr float kAheadGap = 30.0f;
constexpr float kMaxGap = 100.0f;
constexpr float kBaseSpeed = 0.0026666669f;
constexpr float kSpeedRange = 0.0013333333f;
constexpr int32_t kSlideState = 1;
constexpr int32_t kSlidePenalty = 5;

namespace TextId {
constexpr uint32_t On = 0x21ff016a;
constexpr uint32_t Off = 0x21ff0110;
constexpr uint32_t SoundUnavailable = 0x21ff0255;
} // namespace TextId
constexpr uint32_t kLevelEndScreen = 0x21ff0120;

// Result screens and the texts they show; the screen ids are texts too.
namespace ResultText {
constexpr uint32_t Time = 0x21ff0250;
constexpr uint32_t BestTime = 0x21ff0277;
constexpr uint32_t Excess = 0x21ff016f;
constexpr uint32_t MapLine = 0x21ff0133;
constexpr uint32_t TwoLines = 0x21ff02b5;
constexpr uint32_t Again = 0x21ff014b;
constexpr uint32_t Finish = 0x21ff01d2;
constexpr uint32_t NotYet = 0x21ff01bb;
constexpr uint32_t LevelEnd = kLevelEndScreen;
constexpr uint32_t LevelEndTitle = 0x21ff0247;
constexpr uint32_t Money = 0x21ff01a6;
constexpr uint32_t MoneyTitle = 0x21ff0275;
constexpr uint32_t MoneyOf = 0x21ff01d3;
} // namespace ResultText
constexpr uint32_t kResultScreens[] = {ResultText::Time, ResultText::TwoLines, ResultText::Finish,
                                       ResultText::LevelEnd, ResultText::Money};
constexpr uint32_t kTextLines = 5;

void putWord(uint8_t* block, uint32_t word, int32_t value)
{
    storeLe32(block + 4 * word, uint32_t(value));
}

int32_t getWord(const uint8_t* block, uint32_t word)
{
    return int32_t(loadLe32(block + 4 * word));
}

int32_t clampTo(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// The chase's frame counters stop at the top rather than turn negative.
void countFrames(int32_t& counter, int32_t frames)
{
    counter = counter > INT32_MAX - frames ? INT32_MAX : counter + frames;
}

} // namespace

void LevelRecord::reset(bool full)
{
    attemptTime = 0;
    if (full) {
        bestTime = 0;
        completions = 0;
        completed = 0;
        std::memset(collected, 0, sizeof collected);
        std::memset(extraFlags, 0, sizeof extraFlags);
    }
    int32_t count = 0;
    for (uint8_t flag : collected)
        count += flag ? 1 : 0;
    // Flags from an edited save may outnumber the level's money.
    money = std::min(kMoneyPerFlag * count, moneyAvailable);
}

bool LevelRecord::isCompleted() const
{
    // A level never finished has no time: it has not met its target.
    const int32_t time = countedTime();
    return completions > 0 || money == moneyAvailable || (time > 0 && time <= targetTime);
}

GameProgress::GameProgress(ProgressWorld* world) : m_world(world)
{
    resetAll();
    load();
}

GameProgress::~GameProgress()
{
    stopMusic();
    stopJingle();
}

LevelRecord* GameProgress::record(int32_t level)
{
    return level >= 0 && level < int32_t(LevelIndex::Records) ? &m_levels[level] : nullptr;
}

const LevelRecord* GameProgress::record(int32_t level) const
{
    return level >= 0 && level < int32_t(LevelIndex::Records) ? &m_levels[level] : nullptr;
}

void GameProgress::resetAll()
{
    for (uint32_t k = 0; k < LevelIndex::Records; ++k) {
        LevelRecord& r = m_levels[k];
        r.reset(true);
        r.unlocked = r.newlyUnlocked = 0;
        if (k < LevelIndex::Played)
            r.moneyAvailable = kMoneyAvailable[k];
    }
    std::memset(m_levelWords, 0, sizeof m_levelWords);
    std::memset(m_levelState, 0, sizeof m_levelState);
    m_levels[0].unlocked = m_levels[0].newlyUnlocked = 1;
    m_allUnlocked = m_gameComplete = 0;
    if (m_world && m_world->m_character == 2)
        m_world->m_character = 0;
}

void GameProgress::buildBlock(uint8_t* block) const
{
    std::memset(block, 0, SaveFileLayout::GameStateSize);
    putWord(block, kWordVersion, kBlockVersion);
    putWord(block, kWordSavedFlag, m_savedFlag ? 1 : 0);
    for (uint32_t k = 0; k < LevelIndex::Played; ++k) {
        const LevelRecord& r = m_levels[k];
        const uint32_t w = kWordFirstLevel + kWordsPerLevel * k;
        putWord(block, w + Unlocked, r.unlocked ? 1 : 0);
        putWord(block, w + NewlyUnlocked, r.newlyUnlocked ? 1 : 0);
        putWord(block, w + Money, r.money);
        putWord(block, w + Completed, r.completed ? 1 : 0);
        putWord(block, w + Completions, r.completions);
        putWord(block, w + BestTime, r.bestTime);
        for (uint32_t i = 0; i < LevelRecord::kMoneySlots; ++i)
            putWord(block, w + Collected + i, r.collected[i] ? 1 : 0);
        for (uint32_t i = 0; i < LevelRecord::kExtraFlags; ++i)
            putWord(block, w + kLevelExtraFlags + i, r.extraFlags[i] ? 1 : 0);
    }
    putWord(block, kWordAllUnlocked, m_allUnlocked ? 1 : 0);
    if (m_world) {
        putWord(block, kWordCharacter, m_world->m_character);
        for (uint32_t i = 0; i < 3; ++i)
            putWord(block, kWordOutfit + i, m_world->m_outfit[i]);
    }
}

bool GameProgress::readBlock(const uint8_t* block)
{
    if (getWord(block, kWordVersion) != int32_t(kBlockVersion))
        return false;
    m_savedFlag = getWord(block, kWordSavedFlag) != 0;
    for (uint32_t k = 0; k < LevelIndex::Played; ++k) {
        LevelRecord& r = m_levels[k];
        const uint32_t w = kWordFirstLevel + kWordsPerLevel * k;
        r.unlocked = getWord(block, w + Unlocked) != 0;
        r.newlyUnlocked = getWord(block, w + NewlyUnlocked) != 0;
        r.completed = getWord(block, w + Completed) != 0;
        // The pages size their lists by these: nothing past what a level holds.
        r.money = clampTo(getWord(block, w + Money), 0, r.moneyAvailable);
        r.completions = clampTo(getWord(block, w + Completions), 0, LevelRecord::kMaxCompletions);
        r.bestTime = clampTo(getWord(block, w + BestTime), 0, INT32_MAX);
        for (uint32_t i = 0; i < LevelRecord::kMoneySlots; ++i)
            r.collected[i] = getWord(block, w + Collected + i) != 0;
        for (uint32_t i = 0; i < LevelRecord::kExtraFlags; ++i)
            r.extraFlags[i] = getWord(block, w + kLevelExtraFlags + i) != 0;
    }
    m_allUnlocked = getWord(block, kWordAllUnlocked) != 0;
    if (m_world) {
        // The scene code indexes models and palettes by these.
        const int32_t character = getWord(block, kWordCharacter);
        m_world->m_character = character >= 0 && character < kCharacters ? character : 0;
        for (uint32_t i = 0; i < 3; ++i) {
            const int32_t outfit = getWord(block, kWordOutfit + i);
            m_world->m_outfit[i] = outfit >= 0 && outfit < kOutfits ? outfit : kDefaultOutfit[i];
        }
    }
    return true;
}

bool GameProgress::stage()
{
    SaveGame* saveGame = getSaveGame();
    if (!saveGame)
        return false;
    uint8_t block[SaveFileLayout::GameStateSize];
    buildBlock(block);
    saveGame->setData(block);
    return true;
}

int GameProgress::save()
{
    const int written = stage() && getSaveGame()->save() ? 1 : 0;
    if (!written) {
        if (AppStateFlags* flags = getAppStateFlags())
            flags->m_flags[AppFlag::SaveFailed] = 1;
    }
    return written;
}

void GameProgress::load()
{
    SaveGame* saveGame = getSaveGame();
    if (!saveGame || !saveGame->load() || !readBlock(saveGame->data()))
        save();
    takeSoundChoice();
}

void GameProgress::takeSoundChoice()
{
    // The player's sound switch and volume stand: the progress follows the
    // device rather than switching sound back on at full volume.
    SoundService* sound = getSound();
    m_musicOn = m_effectsOn = sound && sound->isSoundEnabled() ? 1 : 0;
    m_volume = sound ? int32_t(sound->getVolume()) * 10 : m_volume;
}

void GameProgress::setDeviceVolume()
{
    if (SoundService* sound = getSound())
        sound->setVolume(uint32_t(clampTo(m_volume / 10, 0, int32_t(SoundDevice::kMaxVolume))));
}

void GameProgress::unlockNextLevel()
{
    const int32_t level = m_world ? m_world->m_levelIndex : -1;
    if (level < 0 || level >= LevelIndex::Last)
        return;
    LevelRecord& next = m_levels[level + 1];
    if (next.unlocked || !m_levels[level].isCompleted())
        return;
    next.unlocked = next.newlyUnlocked = 1;
    save();
}

bool GameProgress::isLevelCompleted(int32_t level) const
{
    const LevelRecord* r = record(level);
    return r && r->isCompleted();
}

int32_t GameProgress::completedLevelCount() const
{
    int32_t count = 0;
    for (uint32_t k = 0; k < LevelIndex::Played; ++k)
        count += m_levels[k].completions;
    return count;
}

float GameProgress::completionFraction() const
{
    int32_t money = 0;
    for (uint32_t k = 0; k < LevelIndex::Played; ++k)
        money += m_levels[k].money;
    return float(money) * kInverseTotalMoney;
}

bool GameProgress::isGameComplete() const
{
    if (m_gameComplete)
        return true;
    for (uint32_t k = 0; k < LevelIndex::Played; ++k) {
        if (m_levels[k].money != m_levels[k].moneyAvailable || m_levels[k].completions <= 0)
            return false;
    }
    return true;
}

void GameProgress::unlockAllLevels()
{
    for (LevelRecord& r : m_levels) {
        if (!r.unlocked)
            r.unlocked = r.newlyUnlocked = 1;
    }
    m_allUnlocked = m_gameComplete = 1;
    save();
}

void GameProgress::checkLevelFinish(bool finished)
{
    m_pathLength = m_playerDistance = 0;
    m_chaserDistance = kChaserStart;
    PlayerChase* chase = m_world ? m_world->playerChase() : nullptr;
    LevelRecord* level = m_world ? record(m_world->m_levelIndex) : nullptr;
    if (!chase || !level || m_world->m_levelIndex == LevelIndex::Hideout || chase->stateWords[0] || chase->stateWords[1])
        return;
    const int32_t t = m_world->levelTime();
    // The level clock starts at 0 or later; below 0 it has run past 2^31 ms
    // and wrapped, which is longer than any time an attempt can be given.
    level->attemptTime = t < 0 ? INT32_MAX : t;
    m_world->playerPath(m_playerDistance, m_pathLength);
    m_chaserDistance = float(clockSince(t, chase->chaseStart)) * m_chaseSpeed + kChaserStart;

    // No frames counted yet is no share ahead.
    const int64_t frames = int64_t(chase->ahead) + chase->behind;
    float share = frames > 0 ? float(chase->ahead) / float(frames) : 0.0f;
    share = share < 0.0f ? 0.0f : share > 1.0f ? 1.0f : share;
    m_chaseSpeed = share * kSpeedRange + kBaseSpeed;

    const float gap = m_playerDistance - m_chaserDistance;
    if (gap > kAheadGap)
        countFrames(chase->ahead, 1);
    else
        countFrames(chase->behind, 1);
    if (chase->actionState == kSlideState)
        countFrames(chase->behind, kSlidePenalty);
    if (gap > kMaxGap)
        chase->chaseStart = clockSince(t, saturateToInt((m_playerDistance - kMaxGap - kChaserStart) / m_chaseSpeed));
    else if (m_chaseGrace > 0 && gap < kAheadGap)
        chase->chaseStart = clockSince(t, saturateToInt(m_playerDistance / m_chaseSpeed));

    if (!finished)
        return;
    m_finishedLevel = m_world->m_levelIndex;
    if (level->bestTime == 0 || level->attemptTime < level->bestTime)
        level->bestTime = level->attemptTime;
    if (!m_world->setupLevelEnd())
        m_world->openMenuScreen(kLevelEndScreen, 0, 0);
}

void GameProgress::recordLevelEnd()
{
    const int32_t level = m_world ? m_world->m_levelIndex : -1;
    if (level < 0 || level > LevelIndex::Last || level != m_finishedLevel)
        return;
    m_finishedLevel = -1;
    LevelRecord& r = m_levels[level];
    // A finish past the target time without all the money is no completion.
    if ((r.attemptTime > 0 && r.attemptTime <= r.targetTime) || r.money == r.moneyAvailable) {
        r.completions = std::min(r.completions + 1, LevelRecord::kMaxCompletions);
        r.completed = 1;
    }
    const uint8_t wasOpen = m_levels[level + 1].unlocked;
    unlockNextLevel();
    // Opening a level wrote the save already.
    if (m_levels[level + 1].unlocked == wasOpen)
        save();
}

void GameProgress::prepareAttempt(int32_t level)
{
    LevelRecord* r = record(level);
    if (!r)
        return;
    m_backupRecord = *r;
    r->newlyUnlocked = 0;
    r->reset(false);
}

void GameProgress::play(CueChannel& channel, int32_t cue, bool loop)
{
    ResourceManager* manager = getResourceManager();
    Resource* resource = nullptr;
    if (channel.cue != -1 || !manager || manager->loadById(uint32_t(cue), &resource) == ResourceResult::Failed
        || !resource)
        return;
    const SoundSample* sample =
        resource->m_typeId == ResourceClassId::Sound ? static_cast<SoundResource*>(resource)->sample() : nullptr;
    if (!sample) {
        manager->releaseRef(&resource);
        return;
    }
    channel.cue = cue;
    channel.sound = resource;
    channel.loop = loop ? 1 : 0;
    SoundService* sound = getSound();
    channel.voice = sound ? sound->play(sample, 0, sample->tag()) : 0;
}

void GameProgress::playMusic(int32_t cue, bool loop)
{
    if (m_musicOn)
        play(m_music, cue, loop);
}

void GameProgress::playJingle(int32_t cue, bool loop)
{
    if (m_effectsOn)
        play(m_jingle, cue, loop);
}

void GameProgress::stopChannel(CueChannel& channel)
{
    if (channel.cue == -1)
        return;
    SoundService* sound = getSound();
    // Voice 0 would stop every voice of the device.
    if (sound && channel.voice != 0)
        sound->stop(channel.voice);
    if (ResourceManager* manager = getResourceManager())
        manager->releaseRef(&channel.sound);
    channel = CueChannel();
}

void GameProgress::stopCue(int32_t cue)
{
    if (cue == -1)
        return;
    // Each channel stops only its own cue.
    if (cue == m_music.cue)
        stopChannel(m_music);
    if (cue == m_jingle.cue)
        stopChannel(m_jingle);
}

void GameProgress::updateAudio()
{
    SoundService* sound = getSound();
    for (CueChannel* channel : {&m_music, &m_jingle}) {
        // Voice 0 never played: asking about it would ask about any voice.
        if (channel->cue == -1 || (channel->voice != 0 && sound && sound->isPlaying(channel->voice)))
            continue;
        if (channel->loop && sound) {
            const auto* sample = static_cast<SoundResource*>(channel->sound)->sample();
            channel->voice = sound->play(sample, 0, sample->tag());
        } else {
            stopChannel(*channel);
        }
    }
}

void GameProgress::applyMusicSetting(int32_t cue)
{
    if (m_musicOn && !(m_world && m_world->hasLevel()))
        playMusic(cue, true);
    else
        stopMusic();
    setDeviceVolume();
}

void GameProgress::formatTotals()
{
    if (!m_world)
        return;
    int32_t money = 0;
    for (const LevelRecord& r : m_levels)
        money += r.money;
    char16_t text[16];
    if (WideString* line = m_world->menuTextLine(0)) {
        formatWide(text, u"%i", money);
        line->assign(text);
    }
    if (WideString* line = m_world->menuTextLine(1)) {
        if (m_bestTotalTime == -1)
            line->assign(u"????");
        else {
            formatWide(text, u"%i", m_bestTotalTime);
            line->assign(text);
        }
    }
}

void GameProgress::formatResultTexts(uint32_t screenId)
{
    const LevelRecord* r = m_world ? record(m_world->m_levelIndex) : nullptr;
    const uint32_t* screen = std::find(std::begin(kResultScreens), std::end(kResultScreens), screenId);
    if (!r || screen == std::end(kResultScreens))
        return;
    // What the last result screen showed must not stay on this one.
    for (uint32_t n = 0; n < kTextLines; ++n) {
        if (WideString* line = m_world->menuTextLine(n))
            line->clear();
    }
    const auto text = [this](uint32_t n, uint32_t id) {
        if (WideString* line = m_world->menuTextLine(n))
            loadTextById(*line, id);
    };
    // -1: the built-in clock format.
    const auto time = [this](uint32_t n, int32_t ms, int32_t formatId) {
        if (WideString* line = m_world->menuTextLine(n))
            GameUtils::formatTime(*line, ms, false, false, formatId);
    };
    const int32_t target = LevelRecord::kTargetTime;
    switch (screenId) {
    case ResultText::Time: {
        const bool late = r->attemptTime > target;
        if (r->bestTime == 0 || late)
            time(0, target, int32_t(ResultText::Time));
        else
            time(0, r->bestTime, int32_t(ResultText::BestTime));
        time(1, r->attemptTime, -1);
        if (late)
            time(2, r->attemptTime - target, int32_t(ResultText::Excess));
        else
            text(3, ResultText::MapLine);
        break;
    }
    case ResultText::TwoLines:
        text(0, ResultText::TwoLines);
        text(2, ResultText::Again);
        break;
    case ResultText::Finish:
        text(0, ResultText::Finish);
        text(2, r->completions > 0 ? ResultText::Again : ResultText::NotYet);
        if (r->completions > 0)
            text(3, ResultText::MapLine);
        break;
    case ResultText::LevelEnd:
        text(0, ResultText::LevelEndTitle);
        text(2, ResultText::LevelEnd);
        break;
    case ResultText::Money: {
        text(0, ResultText::MoneyTitle);
        if (WideString* line = m_world->menuTextLine(1)) {
            char16_t number[16];
            formatWide(number, u"%i", r->money);
            line->assign(number);
        }
        if (WideString* line = m_world->menuTextLine(2)) {
            WideString format;
            loadTextById(format, ResultText::MoneyOf);
            const int32_t args[2] = {r->money, r->moneyAvailable};
            formatPackText(*line, format.chars(), 2, args);
        }
        if (r->money == r->moneyAvailable)
            text(3, ResultText::MapLine);
        break;
    }
    default:
        break;
    }
}

void GameProgress::formatOnOffTexts()
{
    if (!m_world)
        return;
    const bool bothOff = m_world->menuOptionValue(1) == 0 && m_world->menuOptionValue(2) == 0;
    for (uint32_t n = 0; n < kTextLines; ++n) {
        WideString* line = m_world->menuTextLine(n);
        if (!line)
            continue;
        line->clear();
        if (n == 0 && (m_onOffTextFlag || bothOff))
            loadTextById(*line, TextId::SoundUnavailable);
        else if (n == 1 || n == 2)
            loadTextById(*line, m_onOffTextFlag            ? TextId::SoundUnavailable
                                : m_world->menuOptionValue(n) ? TextId::On
                                                              : TextId::Off);
    }
}
