// Load, repair and safe rewrite of the three save files.
#include "game/shell/SaveFiles.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "framework/files/CrcService.h"
#include "framework/files/FileSystem.h"
#include "framework/files/SavedFiles.h"
#include "framework/resources/ResourceManager.h"
#include "framework/services/ServiceAccessors.h"
#include "framework/strings/WideString.h"
#include "platform/wince/PlatformSystem.h"
#include "platform/wince/SoundDevice.h"

namespace {

// Offsets inside the images.
constexpr uint32_t kLastNameOffset = 4;
constexpr uint32_t kNamesOffset = 16;
constexpr uint32_t kScoresOffset = 76;
constexpr uint32_t kPrefsStored = 4, kPrefsSound = 8, kPrefsVibration = 9, kPrefsVolume = 10, kPrefsReserved = 11;
constexpr uint32_t kPrefsTextEntry = 12;
constexpr uint32_t kSavedFlagOffset = 4;
// A reserved byte, 0 in every file but the one that replaced a lost saved
// game, until the player has been told; earlier builds keep it as it is.
constexpr uint32_t kLossUntoldOffset = 5;
constexpr uint32_t kGameStateOffset = 8;

struct SaveFileName {
    const char16_t* name;
    uint32_t size;
};
constexpr SaveFileName kSaveFiles[] = {{kHighScoreFileName, SaveFileLayout::HighScoreSize},
                                       {kPrefsFileName, SaveFileLayout::PrefsSize},
                                       {kSaveGameFileName, SaveFileLayout::SaveGameSize}};

constexpr char16_t kDefaultName[] = u"xxx";

uint32_t crcOf(const uint8_t* bytes, uint32_t size)
{
    CrcService* crc = getCrcService();
    return crc ? crc->compute(bytes + SaveFileLayout::CrcSize, size - SaveFileLayout::CrcSize) : 0;
}

// At most five units of the name and the terminator; null gives an empty name.
void copyName(char16_t* to, const char16_t* from)
{
    uint32_t n = 0;
    for (; from && n + 1 < HighScoreTable::kNameUnits && from[n] != 0; ++n)
        to[n] = from[n];
    for (; n < HighScoreTable::kNameUnits; ++n)
        to[n] = 0;
}

// The three files write through one temp file, so a save cut short after its
// old file went lives only there until it is moved into place: any such save
// is finished first. False while one cannot be, the saving file's own too:
// the write opens the temp file afresh, and a kill before it ends would leave
// neither copy.
bool finishInterruptedSaves()
{
    for (const SaveFileName& file : kSaveFiles) {
        if (!finishInterruptedUserFileWrite(file.name, file.size))
            return false;
    }
    return true;
}

// Every save makes the one temp file anew: an entry under its name that
// cannot be cleared (a folder), or a folder where no file can be made (read
// only), fails them all, so the start finds out rather than the first save.
// Whatever stands there goes (a link as itself, not what it names), and a
// file made there and removed again proves that saves can land. Nothing is
// touched while a pending save may lie in it.
bool tempFileBlocked()
{
    FileSystem* files = getFileSystem();
    if (files == nullptr || !finishInterruptedSaves())
        return false;
    WideString temp;
    makeUserFilePath(temp, kSafeWriteTempName);
    files->remove(temp.chars());
    File* probe = files->open(temp.chars(), kOpenCreate);
    if (probe == nullptr)
        return true;
    files->close(probe);
    // A probe that will not go stays on disk and blocks every save, which
    // makes its temp file anew, as a folder there would.
    for (int attempt = 0; attempt < kReadAttempts; ++attempt)
        if (files->remove(temp.chars()))
            return false;
    return true;
}

template <class T>
T* createService()
{
    return static_cast<T*>(findOrCreateService(T::kId, [] { return static_cast<HashedObject*>(new (std::nothrow) T()); }));
}

} // namespace

SaveFile::SaveFile(uint32_t serviceId, const char16_t* fileName, uint8_t* image, uint32_t size)
    : Service(serviceId), m_image(image), m_fileName(fileName), m_size(size)
{
}

void SaveFile::makeFresh()
{
    std::memset(m_image, 0, m_size);
}

int SaveFile::load()
{
    m_damaged = 0;
    m_unreadable = 0;
    int valid = 0;
    FileRead found = FileRead::Missing;
    for (int attempt = 0; attempt < kReadAttempts && !valid; ++attempt)
        valid = readUserFile(m_fileName, m_image, m_size, &found) && loadLe32(m_image) == crcOf(m_image, m_size);
    if (!valid) {
        // Only what was read and found wrong is lost: a cut file as much as
        // a bad CRC. A file that would not be read is kept for a later start.
        m_damaged = found == FileRead::Whole || found == FileRead::Cut ? 1 : 0;
        m_unreadable = found == FileRead::Unreadable ? 1 : 0;
        makeFresh();
    }
    repair();
    if (!valid)
        save();
    return valid;
}

int SaveFile::save()
{
    if (m_unreadable)
        return 0;
    storeLe32(m_image, crcOf(m_image, m_size));
    return finishInterruptedSaves() && writeUserFile(m_fileName, m_image, m_size) ? 1 : 0;
}

HighScoreTable::HighScoreTable() : SaveFile(kId, kHighScoreFileName, m_bytes, sizeof m_bytes) {}

char16_t* HighScoreTable::nameAt(uint32_t offset)
{
    // The image holds the units at even offsets; the array is aligned.
    return reinterpret_cast<char16_t*>(m_bytes + offset);
}

const char16_t* HighScoreTable::getName(uint32_t table, uint32_t i) const
{
    if (table != 0 || i >= kEntries)
        return nullptr;
    return reinterpret_cast<const char16_t*>(m_bytes + kNamesOffset + i * kNameUnits * 2);
}

int32_t HighScoreTable::getScore(uint32_t table, uint32_t i) const
{
    return table == 0 && i < kEntries ? int32_t(loadLe32(m_bytes + kScoresOffset + 4 * i)) : 0;
}

void HighScoreTable::setScore(uint32_t i, int32_t score)
{
    storeLe32(m_bytes + kScoresOffset + 4 * i, uint32_t(score));
}

int HighScoreTable::qualifies(uint32_t table, int32_t score) const
{
    return table == 0 && score >= getScore(0, kEntries - 1);
}

const char16_t* HighScoreTable::getLastName() const
{
    return reinterpret_cast<const char16_t*>(m_bytes + kLastNameOffset);
}

int HighScoreTable::insert(const char16_t* name, uint32_t table, int32_t score)
{
    copyName(nameAt(kLastNameOffset), name);
    save();
    if (table != 0)
        return 0;
    uint32_t at = 0;
    while (at < kEntries && getScore(0, at) > score)
        ++at;
    if (at == kEntries)
        return 1;
    for (uint32_t i = kEntries - 1; i > at; --i) {
        setScore(i, getScore(0, i - 1));
        std::memcpy(nameAt(kNamesOffset + i * kNameUnits * 2), getName(0, i - 1), kNameUnits * 2);
    }
    setScore(at, score);
    copyName(nameAt(kNamesOffset + at * kNameUnits * 2), name && name[0] ? name : kDefaultName);
    return save();
}

void HighScoreTable::repair()
{
    // Names are shown as terminated texts: unit 5 is always the end.
    nameAt(kLastNameOffset)[kNameUnits - 1] = 0;
    for (uint32_t i = 0; i < kEntries; ++i)
        nameAt(kNamesOffset + i * kNameUnits * 2)[kNameUnits - 1] = 0;
}

Prefs::Prefs() : SaveFile(kId, kPrefsFileName, m_bytes, sizeof m_bytes) {}

uint32_t Prefs::textListEntry() const
{
    return loadLe32(m_bytes + kPrefsTextEntry);
}

void Prefs::setTextListEntry(uint32_t entry)
{
    storeLe32(m_bytes + kPrefsTextEntry, entry);
}

void Prefs::makeFresh()
{
    SaveFile::makeFresh();
    if (PlatformSystem* system = getPlatformSystem()) {
        m_bytes[kPrefsSound] = system->m_soundEnabled ? 1 : 0;
        m_bytes[kPrefsVibration] = system->m_vibrationEnabled ? 1 : 0;
        setVolume(system->m_volume);
    }
}

void Prefs::repair()
{
    static_assert(kPrefsStored + 4 == kPrefsSound);
    // The device's own sound switch wins over the stored one.
    if (PlatformSystem* system = getPlatformSystem())
        m_bytes[kPrefsSound] = system->m_soundEnabled ? 1 : 0;
    m_bytes[kPrefsSound] = m_bytes[kPrefsSound] ? 1 : 0;
    m_bytes[kPrefsVibration] = m_bytes[kPrefsVibration] ? 1 : 0;
    setVolume(m_bytes[kPrefsVolume]);
    m_bytes[kPrefsReserved] = 0;
    ResourceManager* manager = getResourceManager();
    if (manager && textListEntry() >= manager->languageCount())
        setTextListEntry(0);
}

SaveGame::SaveGame() : SaveFile(kId, kSaveGameFileName, m_bytes, sizeof m_bytes) {}

void SaveGame::setData(const uint8_t* block)
{
    if (block)
        std::memcpy(m_bytes + kGameStateOffset, block, SaveFileLayout::GameStateSize);
}

void SaveGame::repair()
{
    if (m_damaged)
        m_bytes[kLossUntoldOffset] = 1;
    m_damaged = m_bytes[kLossUntoldOffset] != 0 ? 1 : 0;
}

void SaveGame::lossTold()
{
    m_damaged = 0;
    if (m_bytes[kLossUntoldOffset] == 0)
        return;
    // When this write fails the next start tells the player again.
    m_bytes[kLossUntoldOffset] = 0;
    save();
}

int saveGameFlagged()
{
    SaveGame* game = getSaveGame();
    if (!game)
        return 0;
    const uint8_t before = game->m_bytes[kSavedFlagOffset];
    game->m_bytes[kSavedFlagOffset] = 1;
    const int written = game->save();
    // The menus read the flag as what the file holds.
    if (!written)
        game->m_bytes[kSavedFlagOffset] = before;
    return written;
}

uint32_t loadSaveFiles()
{
    Prefs* prefs = getPrefs();
    SaveFile* const files[] = {getHighScoreTable(), prefs, getSaveGame()};
    // Before any repair writes: a stale temp file is no save's to write through.
    const uint32_t blocked = tempFileBlocked() ? 1 : 0;
    for (SaveFile* file : files) {
        if (file) {
            file->load();
            file->m_unwritable = blocked;
        }
    }
    SoundService* sound = getSound();
    if (!prefs)
        return 0;
    if (sound) {
        sound->setSoundEnabled(prefs->soundOn());
        sound->setVibrationEnabled(prefs->vibrationOn());
        sound->setVolume(prefs->volume());
    }
    return prefs->textListEntry();
}

namespace {

int anySaveFile(uint32_t SaveFile::*flag)
{
    const SaveFile* files[] = {getHighScoreTable(), getPrefs(), getSaveGame()};
    return std::any_of(std::begin(files), std::end(files), [flag](const SaveFile* f) { return f && f->*flag; });
}

} // namespace

int unreadableSaveFiles()
{
    return anySaveFile(&SaveFile::m_unreadable);
}

int unwritableSaveFiles()
{
    return anySaveFile(&SaveFile::m_unwritable);
}

HighScoreTable* getHighScoreTable() { return createService<HighScoreTable>(); }
Prefs* getPrefs() { return createService<Prefs>(); }
SaveGame* getSaveGame() { return createService<SaveGame>(); }

void installSaveFileCreators()
{
    setHighScoreTableCreator([] { return static_cast<HashedObject*>(new (std::nothrow) HighScoreTable()); });
    setPrefsCreator([] { return static_cast<HashedObject*>(new (std::nothrow) Prefs()); });
    setSaveGameCreator([] { return static_cast<HashedObject*>(new (std::nothrow) SaveGame()); });
}
