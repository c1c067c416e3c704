// The game's three save files: high scores, preferences and the saved game.
// Each is a fixed-size little-endian image, a CRC-32 of the rest first, held
// whole in memory, repaired as a whole when damaged and rewritten safely.
#pragma once

#include <bit>
#include <cstdint>

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

// The images are used in place; their words are little-endian.
static_assert(std::endian::native == std::endian::little);

namespace SaveFileLayout {
constexpr uint32_t HighScoreSize = 96;
constexpr uint32_t PrefsSize = 16;
constexpr uint32_t SaveGameSize = 9876;
constexpr uint32_t GameStateSize = 9868;  // the progress block inside the saved game
constexpr uint32_t CrcSize = 4;
} // namespace SaveFileLayout

// Words of the images, least significant byte first on every device.
inline uint32_t loadLe32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void storeLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

constexpr char16_t kHighScoreFileName[] = u"hs.dat";
constexpr char16_t kPrefsFileName[] = u"prefs.dat";
constexpr char16_t kSaveGameFileName[] = u"savegame.dat";

// What the three services share: the image, its file and the damaged flag.
class SaveFile : public Service {
public:
    // 1 for a valid file. A missing, cut or damaged one is replaced by the
    // fresh image, written at once; a read that fails is tried again first.
    // A file that is there but cannot be read is never written over: the
    // game runs on the fresh image and every save refuses.
    int load();
    // The CRC into the image, then the whole image written safely; 1 when
    // it landed. A failure leaves the old file and the image as they are;
    // so does a save while any interrupted save (this file's own too) cannot
    // be put in place, or while the file could not be read.
    int save();

    const uint8_t* image() const { return m_image; }
    uint32_t imageSize() const { return m_size; }

    // 1 when the last load met a file that was there but unusable: a CRC
    // mismatch or a cut. A missing file (a first start) is no damage. The
    // saved game keeps it until the player was told (SaveGame::lossTold).
    uint32_t m_damaged = 0;
    // 1 when the last load found the file there but could not read it.
    uint32_t m_unreadable = 0;
    // 1 when the start found that no save can land: something the saves
    // cannot clear (a folder) takes the name of the temp file they write, or
    // the folder takes no new file.
    uint32_t m_unwritable = 0;

protected:
    SaveFile(uint32_t serviceId, const char16_t* fileName, uint8_t* image, uint32_t size);

    // After every load, valid or fresh: brings values the CRC cannot vouch
    // for (an edited file, another device) into range before anyone uses them.
    virtual void repair() {}
    // The image a damaged or missing file is replaced by; all zero here.
    virtual void makeFresh();

    uint8_t* m_image;

private:
    const char16_t* m_fileName;
    uint32_t m_size;
};

class HighScoreTable : public SaveFile {
public:
    static constexpr uint32_t kEntries = 5;
    static constexpr uint32_t kNameUnits = 6;  // five characters and the terminator

    static constexpr uint32_t kId = ServiceId::HighScoreTable;

    HighScoreTable();

    // Entry i's name; only table 0 with i in 0..4, else null.
    const char16_t* getName(uint32_t table, uint32_t i) const;
    // Entry i's score; table 0 and i in 0..4, else 0.
    int32_t getScore(uint32_t table, uint32_t i) const;
    int qualifies(uint32_t table, int32_t score) const;
    const char16_t* getLastName() const;
    // Records the name as the last entered one and places the score: 0 for a
    // table other than 0, 1 when the score ranks below all five, else the
    // write result.
    int insert(const char16_t* name, uint32_t table, int32_t score);

private:
    char16_t* nameAt(uint32_t offset);
    void setScore(uint32_t i, int32_t score);

protected:
    void repair() override;

private:
    // Names are read in place as UTF-16 units, hence the alignment.
    alignas(4) uint8_t m_bytes[SaveFileLayout::HighScoreSize] = {};
};

class Prefs : public SaveFile {
public:
    static constexpr uint32_t kMaxVolume = 10;

    static constexpr uint32_t kId = ServiceId::Prefs;

    Prefs();

    // Sound switch, vibration switch and volume as they may be changed by
    // the options screen; save writes them.
    uint8_t soundOn() const { return m_bytes[8]; }
    uint8_t vibrationOn() const { return m_bytes[9]; }
    uint8_t volume() const { return m_bytes[10]; }
    uint32_t textListEntry() const;
    void setSoundOn(bool on) { m_bytes[8] = on ? 1 : 0; }
    void setVibrationOn(bool on) { m_bytes[9] = on ? 1 : 0; }
    void setVolume(uint32_t volume) { m_bytes[10] = uint8_t(volume < kMaxVolume ? volume : kMaxVolume); }
    void setTextListEntry(uint32_t entry);

protected:
    void repair() override;
    void makeFresh() override;

private:
    uint8_t m_bytes[SaveFileLayout::PrefsSize] = {};
};

class SaveGame : public SaveFile {
public:
    static constexpr uint32_t kId = ServiceId::SaveGame;

    SaveGame();

    uint8_t* data() { return m_bytes + 8; }
    const uint8_t* data() const { return m_bytes + 8; }
    // Copies a whole game-state block into the image; nothing is written.
    void setData(const uint8_t* block);
    uint8_t savedFlag() const { return m_bytes[4]; }
    // The player has seen that the saved game was lost: later starts say
    // nothing more of it.
    void lossTold();

protected:
    void repair() override;

private:
    friend int saveGameFlagged();
    uint8_t m_bytes[SaveFileLayout::SaveGameSize] = {};
};

// Marks that the menus saved a game to continue and writes the file; the
// write result.
int saveGameFlagged();

// The start-up load: a stale temp file cleared, "hs.dat", "prefs.dat",
// "savegame.dat" in that order, then the stored sound switch, vibration
// switch and volume to the sound device. Returns the stored text-list entry, for the
// resource manager.
uint32_t loadSaveFiles();

// 1 when the last load of any of the three files could not read it; the
// player is told that the game runs without it.
int unreadableSaveFiles();
// 1 when the start found that no save can be written; the player is told.
int unwritableSaveFiles();

// The registered services, created on first use; null without an application.
HighScoreTable* getHighScoreTable();
Prefs* getPrefs();
SaveGame* getSaveGame();
// Lets the application's start-up make the three services by id.
void installSaveFileCreators();
