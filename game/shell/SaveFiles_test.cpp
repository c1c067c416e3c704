#include "game/shell/SaveFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/files/testing/MemoryFileSystem.h"
#include "game/shell/testing/FakeSound.h"
#include "platform/wince/PlatformSystem.h"
#include "tests/support/TestApp.h"

namespace {

using Bytes = std::vector<uint8_t>;

// CRC-32 as the files define it, bit by bit, independent of the service's table.
uint32_t referenceCrc(const uint8_t* p, size_t n)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint32_t(p[i]) << 24;
        for (int b = 0; b < 8; ++b)
            crc = crc & 0x80000000 ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    }
    return ~crc;
}

struct SaveFilesTest : ::testing::Test {
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    SaveFilesTest() { app.m_fileSystem = fs; }
    ~SaveFilesTest() override
    {
        app.m_fileSystem = nullptr;
        delete fs;
    }
    Bytes& file(const char16_t* name) { return fs->files[std::u16string(u"/data/") + name]; }
};

// One row per file: how to make its service and fill it with something other
// than the fresh image.
struct FileKind {
    const char16_t* name;
    uint32_t size;
    uint32_t freshCrc;
    std::function<std::unique_ptr<SaveFile>()> make;
    // Content of its own for each round; the save's result.
    std::function<int(SaveFile&, int round)> fill;
};

const FileKind kKinds[] = {
    {u"hs.dat", 96, 0xE764AD43, [] { return std::make_unique<HighScoreTable>(); },
     [](SaveFile& f, int round) { return static_cast<HighScoreTable&>(f).insert(u"Ann", 0, 899 + round); }},
    {u"prefs.dat", 16, 0xF663ABDE, [] { return std::make_unique<Prefs>(); },
     [](SaveFile& f, int round) {
         auto& p = static_cast<Prefs&>(f);
         p.setVibrationOn(true);
         p.setVolume(uint32_t(6 + round));
         return p.save();
     }},
    {u"savegame.dat", 9876, 0xAF1577AA, [] { return std::make_unique<SaveGame>(); },
     [](SaveFile& f, int round) {
         auto& g = static_cast<SaveGame&>(f);
         Bytes block(SaveFileLayout::GameStateSize);
         for (size_t i = 0; i < block.size(); ++i)
             block[i] = uint8_t(i * 7 + size_t(round));
         g.setData(block.data());
         return g.save();
     }},
};

} // namespace

TEST_F(SaveFilesTest, FreshInstallWritesZeroImagesWithTheirKnownCrc)
{
    for (const FileKind& kind : kKinds) {
        auto service = kind.make();
        EXPECT_EQ(service->load(), 0);
        EXPECT_EQ(service->m_damaged, 0u) << "a missing file is no damage";
        const Bytes& bytes = file(kind.name);
        ASSERT_EQ(bytes.size(), kind.size);
        EXPECT_EQ(loadLe32(bytes.data()), kind.freshCrc);
        EXPECT_EQ(referenceCrc(bytes.data() + 4, kind.size - 4), kind.freshCrc);
        EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.end()), Bytes(kind.size - 4, 0));
        // The file now loads as valid.
        EXPECT_EQ(kind.make()->load(), 1);
    }
}

TEST_F(SaveFilesTest, EveryBitFlipAndEveryCutIsRepairedAndReported)
{
    for (const FileKind& kind : kKinds) {
        auto writer = kind.make();
        writer->load();
        kind.fill(*writer, 1);
        const Bytes good = file(kind.name);
        ASSERT_EQ(referenceCrc(good.data() + 4, good.size() - 4), loadLe32(good.data()));
        EXPECT_EQ(kind.make()->load(), 1) << "round trip";
        EXPECT_EQ(Bytes(writer->image(), writer->image() + kind.size), good);
        fs->faults.shortReads = 1;
        EXPECT_EQ(kind.make()->load(), 1) << "a flaky read is no damage";

        auto expectRepaired = [&](const Bytes& damaged, const std::string& what) {
            file(kind.name) = damaged;
            auto service = kind.make();
            ASSERT_EQ(service->load(), 0) << what;
            ASSERT_EQ(service->m_damaged, 1u) << what;
            const Bytes& now = file(kind.name);
            ASSERT_EQ(now.size(), kind.size) << what;
            ASSERT_EQ(loadLe32(now.data()), referenceCrc(now.data() + 4, kind.size - 4)) << what;
            ASSERT_EQ(service->load(), 1) << what;
            // A lost game is told at every start until the player saw it.
            ASSERT_EQ(service->m_damaged, kind.size == SaveFileLayout::SaveGameSize ? 1u : 0u) << what;
        };
        // Every bit of the small files; bits spread over every stretch of the
        // saved game (a CRC-32 catches any single flip; this proves the check).
        const uint32_t step = kind.size > 100 ? 61 : 1;
        for (uint32_t bit = 0; bit < kind.size * 8; bit += step) {
            Bytes damaged = good;
            damaged[bit / 8] ^= uint8_t(1u << (bit % 8));
            expectRepaired(damaged, "flip " + std::to_string(bit));
        }
        for (uint32_t cut = 0; cut < kind.size; cut += step == 1 ? 1 : 41)
            expectRepaired(Bytes(good.begin(), good.begin() + cut), "cut " + std::to_string(cut));
    }
}

// Any order, any fault over two rounds, a kill at any change: whole files, none that will not open written.
TEST_F(SaveFilesTest, AFailedWriteAtAnyStepLeavesAReadableFile)
{
    using Faults = MemoryFileSystem::Faults;
    const Faults faults[] = {{.open = true},   {.write = true},  {.flush = true},     {.close = true}, {.remove = true},
                             {.rename = true}, {.readOpens = -1}, {.stat = true}, {.size = true}};
    size_t order[] = {0, 1, 2};
    const auto round = [&](const Faults& f) {
        fs->faults = f;
        for (size_t i : order)
            kKinds[i].fill(*kKinds[i].make(), 1);
    };
    do {
        for (const Faults& f : faults) {
            for (int kill = 0, died = 1; died; ++kill) {
                fs->files.clear();
                fs->written.clear();
                round({});
                round(f);
                fs->changesLeft = kill;
                round(f);
                died = fs->changesLeft == 0;
                fs->changesLeft = -1;
                if (!died)
                    round({});
                const std::vector<Bytes> whole = fs->written;
                for (const int readOpens : {-1, 0}) {
                    fs->faults = {.readOpens = readOpens};
                    for (const FileKind& kind : kKinds) {
                        auto reader = kind.make();
                        EXPECT_EQ(reader->load(), readOpens + 1) << kind.size << " fault " << &f - faults << " kill " << kill;
                        EXPECT_EQ(reader->m_unreadable + reader->m_damaged, readOpens < 0 ? 1u : 0u);
                        const Bytes now(reader->image(), reader->image() + kind.size);
                        EXPECT_TRUE(readOpens < 0 || std::find(whole.begin(), whole.end(), now) != whole.end());
                    }
                }
                EXPECT_EQ(fs->written.size(), whole.size()) << "a file was written over";
            }
        }
    } while (std::next_permutation(std::begin(order), std::end(order)));

    // Two calls of any two steps fail once each, in a start and a round of
    // saves over the files a clean round wrote: no start takes an intact file
    // for a damaged one, and the next start reads the last save that
    // succeeded, or a later one.
    int counts[MemoryFileSystem::StepCount] = {}, runs = 0;
    const auto run = [&](int a, int atA, int b, int atB) {
        fs->files.clear();
        std::vector<Bytes> images[2];
        std::vector<int> saved;
        for (int round = 0; round < 3; ++round) {
            std::fill(std::begin(fs->calls), std::end(fs->calls), 0);
            fs->failing[a] = fs->failing[b] = {};
            if (round == 1)
                fs->failing[a].insert(atA), fs->failing[b].insert(atB);
            for (size_t i = 0; i < std::size(kKinds); ++i) {
                auto f = kKinds[i].make();
                const int valid = f->load();
                EXPECT_EQ(f->m_damaged, 0u) << round;
                const Bytes now(f->image(), f->image() + kKinds[i].size);
                if (round == 2) {
                    EXPECT_EQ(valid, 1);
                    EXPECT_TRUE(now == images[1][i] || (!saved[std::size(kKinds) + i] && now == images[0][i]))
                        << kKinds[i].size;
                    continue;
                }
                saved.push_back(kKinds[i].fill(*f, round + 1));
                images[round].emplace_back(f->image(), f->image() + kKinds[i].size);
            }
            if (round == 1 && atA == 0)
                std::copy(std::begin(fs->calls), std::end(fs->calls), std::begin(counts));
        }
    };
    run(0, 0, 0, 0);  // the calls each step makes bound the sweep
    for (int a = 0; a < MemoryFileSystem::StepCount; ++a) {
        for (int b = a; b < MemoryFileSystem::StepCount; ++b) {
            for (int atA = 1; atA <= counts[a]; ++atA) {
                for (int atB = a == b ? atA + 1 : 1; atB <= counts[b]; ++atB, ++runs) {
                    SCOPED_TRACE(std::string(MemoryFileSystem::kStepNames[a]) + " " + std::to_string(atA) + ", " +
                                 MemoryFileSystem::kStepNames[b] + " " + std::to_string(atB));
                    run(a, atA, b, atB);
                }
            }
        }
    }
    EXPECT_GT(runs, 1000);
}

TEST_F(SaveFilesTest, HighScoreInsertionRanksNamesAndScores)
{
    HighScoreTable table;
    table.load();
    for (int32_t score : {100, 300, 500, 700, 900})
        ASSERT_EQ(table.insert(u"abc", 0, score), 1);
    struct Case {
        const char16_t* name;
        uint32_t table;
        int32_t score;
        int result;
        std::vector<int32_t> scores;
        std::u16string stored;  // the name at the new score's place
        std::u16string last;
    };
    const Case cases[] = {
        {u"Eve", 0, 500, 1, {900, 700, 500, 500, 300}, u"Eve", u"Eve"},
        {u"Bob", 0, 50, 1, {900, 700, 500, 500, 300}, u"", u"Bob"},
        {u"Bob", 1, 999, 0, {900, 700, 500, 500, 300}, u"", u"Bob"},
        {u"Longname", 0, 1000, 1, {1000, 900, 700, 500, 500}, u"Longn", u"Longn"},
        {u"", 0, 800, 1, {1000, 900, 800, 700, 500}, u"xxx", u""},
        {nullptr, 0, 950, 1, {1000, 950, 900, 800, 700}, u"xxx", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.insert(c.name, c.table, c.score), c.result);
        std::vector<int32_t> scores;
        for (uint32_t i = 0; i < 5; ++i)
            scores.push_back(table.getScore(0, i));
        EXPECT_EQ(scores, c.scores);
        EXPECT_EQ(std::u16string(table.getLastName()), c.last);
        if (!c.stored.empty()) {
            uint32_t at = 0;
            while (table.getScore(0, at) != c.score)
                ++at;
            EXPECT_EQ(std::u16string(table.getName(0, at)), c.stored);
        }
    }
    EXPECT_EQ(std::u16string(table.getName(0, 4)), u"abc");
    EXPECT_EQ(table.getName(1, 0), nullptr);
    EXPECT_EQ(table.getName(0, 5), nullptr);
    EXPECT_EQ(table.getScore(0, 5), 0);
    EXPECT_TRUE(table.qualifies(0, 700));
    EXPECT_FALSE(table.qualifies(0, 699));
    EXPECT_FALSE(table.qualifies(1, 5000));
    HighScoreTable reread;
    EXPECT_EQ(reread.load(), 1);
    EXPECT_EQ(Bytes(reread.image(), reread.image() + 96), Bytes(table.image(), table.image() + 96));
}

// Files with a valid CRC but values no game writes (another build, an edited
// file): brought into range before anything reads them.
TEST_F(SaveFilesTest, OutOfRangeValuesInValidFilesAreRepaired)
{
    PlatformSystem system;
    system.m_soundEnabled = 0;
    system.m_vibrationEnabled = 1;
    system.m_volume = 4;
    setPlatformSystem(&system);

    // A fresh preferences file takes the device's defaults.
    Prefs fresh;
    EXPECT_EQ(fresh.load(), 0);
    EXPECT_EQ(Bytes(fresh.image() + 4, fresh.image() + 16), (Bytes{0, 0, 0, 0, 0, 1, 4, 0, 0, 0, 0, 0}));

    auto withCrc = [](Bytes image) {
        storeLe32(image.data(), referenceCrc(image.data() + 4, image.size() - 4));
        return image;
    };
    // Stored word kept, sound from the device, switches 0/1, volume at most 10.
    file(u"prefs.dat") = withCrc({0, 0, 0, 0, 9, 8, 7, 6, 1, 5, 200, 3, 7, 0, 0, 0});
    system.m_soundEnabled = 1;
    Prefs prefs;
    EXPECT_EQ(prefs.load(), 1);
    EXPECT_EQ(Bytes(prefs.image() + 4, prefs.image() + 12), (Bytes{9, 8, 7, 6, 1, 1, 10, 0}));
    EXPECT_EQ(prefs.textListEntry(), 7u) << "no resource manager to check it against";

    Bytes scores(96, 0x41);
    HighScoreTable table;
    file(u"hs.dat") = withCrc(scores);
    EXPECT_EQ(table.load(), 1);
    EXPECT_EQ(std::u16string(table.getLastName()), u"\u4141\u4141\u4141\u4141\u4141");
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(std::u16string(table.getName(0, i)).size(), 5u);
    setPlatformSystem(nullptr);
}

// A save killed between deleting the old file and the rename leaves only
// "temp.dat"; the start-up's repair of another, damaged file must not write
// over it before it is back under its own name.
TEST_F(SaveFilesTest, AnInterruptedSaveOutlivesTheRepairOfAnotherFile)
{
    installSaveFileCreators();
    for (const FileKind& cut : kKinds) {
        for (const FileKind& damaged : kKinds) {
            if (&cut == &damaged)
                continue;
            fs->files.clear();
            for (const FileKind& kind : kKinds) {
                std::unique_ptr<SaveFile> f = kind.make();
                f->load();
                kind.fill(*f, 1);
                f->save();
            }
            const Bytes progress = file(cut.name);
            ASSERT_EQ(progress.size(), cut.size);
            file(u"temp.dat") = progress;
            fs->files.erase(std::u16string(u"/data/") + cut.name);
            Bytes& bad = file(damaged.name);
            bad[std::min<size_t>(40, bad.size() - 1)] ^= 1;

            // Where it cannot be moved, the start leaves it where it is.
            fs->faults.rename = true;
            loadSaveFiles();
            EXPECT_EQ(file(u"temp.dat"), progress);
            fs->faults.rename = false;
            loadSaveFiles();
            EXPECT_EQ(file(cut.name), progress) << "cut " << cut.size << ", damaged " << damaged.size;
            EXPECT_EQ(fs->files.count(u"/data/temp.dat"), 0u);
        }
    }
}

TEST_F(SaveFilesTest, StartUpLoadsTheFilesAndHandsThePreferencesOn)
{
    installSaveFileCreators();
    auto* sound = new FakeSound();
    app.m_soundDevice = sound;
    PlatformSystem system;
    system.m_vibrationEnabled = 0;
    system.m_volume = 3;
    setPlatformSystem(&system);
    Prefs stored;
    stored.load();
    stored.setTextListEntry(2);
    stored.save();
    EXPECT_EQ(loadSaveFiles(), 2u);
    setPlatformSystem(nullptr);
    EXPECT_EQ(std::vector<uint8_t>({sound->on, sound->vibration, uint8_t(sound->volume)}),
              std::vector<uint8_t>({1, 0, 3}));
    for (const char16_t* name : {u"hs.dat", u"prefs.dat", u"savegame.dat"})
        EXPECT_FALSE(file(name).empty());
    // A stale temp file (a link, say) goes at start; a name the saves
    // cannot clear fails them all, and the start says so.
    fs->put(u"/data/temp.dat", "stale");
    loadSaveFiles();
    EXPECT_EQ(fs->files.count(u"/data/temp.dat") + unwritableSaveFiles(), 0u);
    fs->folders.insert(u"/data/temp.dat");
    loadSaveFiles();
    EXPECT_EQ(unwritableSaveFiles(), 1);
    fs->folders.clear();
    // Nor can they in a folder that takes no new file.
    fs->faults.open = true;
    loadSaveFiles();
    EXPECT_EQ(unwritableSaveFiles(), 1);
    fs->faults.open = false;
    // Nor where the probe cannot be removed once it is made; a removal that
    // fails once is tried again.
    fs->failing[MemoryFileSystem::Remove] = {fs->calls[MemoryFileSystem::Remove] + 2};
    loadSaveFiles();
    EXPECT_EQ(fs->files.count(u"/data/temp.dat") + unwritableSaveFiles(), 0u);
    fs->faults.remove = true;
    loadSaveFiles();
    EXPECT_EQ(unwritableSaveFiles(), 1);
    fs->faults.remove = false;

    SaveGame* game = getSaveGame();
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(getSaveGame(), game);
    game->load();
    // A flag the file never got is not shown as a saved game.
    fs->faults.open = true;
    EXPECT_EQ(saveGameFlagged(), 0);
    EXPECT_EQ(game->savedFlag(), 0);
    fs->faults.open = false;
    EXPECT_EQ(saveGameFlagged(), 1);
    SaveGame reread;
    EXPECT_EQ(reread.load(), 1);
    EXPECT_EQ(reread.savedFlag(), 1);
    delete game;
}
