#include "framework/files/SavedFiles.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/files/testing/MemoryFileSystem.h"
#include "tests/support/TestApp.h"

namespace {

std::u16string str(const WideString& s)
{
    return s.chars() != nullptr ? std::u16string(s.chars()) : std::u16string();
}

struct SavedFilesTest : ::testing::Test {
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    SavedFilesTest() { app.m_fileSystem = fs; }
    ~SavedFilesTest() override { delete fs; }
};

} // namespace

TEST_F(SavedFilesTest, PathsJoinFolderSeparatorAndName)
{
    WideString out;
    makeProgramFilePath(out, u"pennyfall.big");
    EXPECT_EQ(str(out), u"/prog/pennyfall.big");
    makeUserFilePath(out, u"hs.dat");
    EXPECT_EQ(str(out), u"/data/hs.dat");

    struct Case {
        const char16_t* path;
        std::u16string directory;
        std::u16string name;
    };
    const Case cases[] = {
        {u"/data/hs.dat", u"/data", u"hs.dat"},
        {u"a/b/c", u"a/b", u"c"},
        {u"hs.dat", u"", u"hs.dat"},
        {u"/hs.dat", u"", u"hs.dat"},
        {u"dir/", u"dir", u""},
        {nullptr, u"", u""},
    };
    for (const Case& c : cases) {
        directoryOf(out, c.path);
        EXPECT_EQ(str(out), c.directory);
        fileNameOf(out, c.path);
        EXPECT_EQ(str(out), c.name);
    }
}

TEST_F(SavedFilesTest, ReadFileExactTakesTheFirstBytesAndRefusesShortFiles)
{
    fs->put(u"/data/hs.dat", "abcdef");
    char buffer[8] = {};
    EXPECT_EQ(readUserFile(u"hs.dat", buffer, 4), 1);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(readUserFile(u"hs.dat", buffer, 7), 0);
    EXPECT_EQ(readUserFile(u"missing.dat", buffer, 1), 0);
    EXPECT_EQ(readUserFile(u"missing.dat", nullptr, 4), 1);
    EXPECT_EQ(readUserFile(u"missing.dat", buffer, 0), 1);
    fs->put(u"/prog/x.dat", "xy");
    EXPECT_EQ(readProgramFile(u"x.dat", buffer, 2), 1);
    EXPECT_EQ(readSaveGameFile(u"hs.dat", buffer, 6), 1);

    // What a read met: a file is cut only when its size is known to be
    // short, and missing only when the folder says so; newest data in a temp
    // file that will not move is kept, not taken for none.
    using Faults = MemoryFileSystem::Faults;
    const struct {
        const char* name;
        const char* file;  // null: none
        const char* temp;  // null: none
        Faults faults;
        FileRead found;
        bool folder = false;  // a folder takes the file's name: no missing file
        int statFails = 0;    // this stat (from 1) cannot tell
    } cases[] = {
        {"whole", "abcdef", nullptr, {}, FileRead::Whole},
        {"cut", "abc", nullptr, {}, FileRead::Cut},
        {"short read", "abcdef", nullptr, {.shortReads = 1}, FileRead::Unreadable},
        {"cut, size unknown", "abc", nullptr, {.size = true}, FileRead::Unreadable},
        {"will not open", "abcdef", nullptr, {.readOpens = -1}, FileRead::Unreadable},
        {"will not open, stat unknown", "abcdef", nullptr, {.readOpens = -1, .stat = true}, FileRead::Unreadable},
        {"will not open, first stat unknown", "abcdef", nullptr, {.readOpens = -1}, FileRead::Unreadable, false, 1},
        {"missing", nullptr, nullptr, {}, FileRead::Missing},
        {"missing, stat unknown", nullptr, nullptr, {.stat = true}, FileRead::Unreadable},
        {"pending", nullptr, "pendin", {}, FileRead::Whole},
        {"pending, will not move", nullptr, "pendin", {.rename = true}, FileRead::Unreadable},
        {"pending, size unknown", nullptr, "pendin", {.size = true}, FileRead::Unreadable},
        {"another file's temp", nullptr, "other file", {}, FileRead::Missing},
        {"a folder in its place", nullptr, nullptr, {}, FileRead::Unreadable, true},
    };
    for (const auto& c : cases) {
        fs->files.clear();
        fs->faults = {};
        if (c.file)
            fs->put(u"/data/f.dat", c.file);
        if (c.temp)
            fs->put(u"/data/temp.dat", c.temp);
        if (c.folder)
            fs->folders.insert(u"/data/f.dat");
        fs->faults = c.faults;
        fs->calls[MemoryFileSystem::Stat] = 0;
        fs->failing[MemoryFileSystem::Stat] = {c.statFails};
        FileRead found = FileRead::Whole;
        EXPECT_EQ(readUserFile(u"f.dat", buffer, 6, &found), c.found == FileRead::Whole ? 1 : 0) << c.name;
        EXPECT_EQ(int(found), int(c.found)) << c.name;
        fs->faults = {};
        fs->failing[MemoryFileSystem::Stat] = {};
        EXPECT_EQ(fs->text(u"/data/f.dat"), c.file ? c.file : c.found == FileRead::Whole ? c.temp : "<missing>") << c.name;
        EXPECT_EQ(fs->text(u"/data/temp.dat"), c.temp && c.found != FileRead::Whole ? c.temp : "<missing>") << c.name;
        fs->folders.erase(u"/data/f.dat");
    }
}

TEST_F(SavedFilesTest, WriteDirectReplacesTheFileAndRefusesNoData)
{
    fs->put(u"/data/prefs.dat", "old contents");
    EXPECT_EQ(writeUserFileDirect(u"prefs.dat", "new", 3), 1);
    EXPECT_EQ(fs->text(u"/data/prefs.dat"), "new");
    EXPECT_EQ(writeUserFileDirect2(u"prefs.dat", "two", 3), 1);
    EXPECT_EQ(fs->text(u"/data/prefs.dat"), "two");
    EXPECT_EQ(writeUserFileDirect(u"prefs.dat", nullptr, 3), 0);
    EXPECT_EQ(writeUserFileDirect(u"prefs.dat", "x", 0), 0);
    EXPECT_EQ(fs->text(u"/data/prefs.dat"), "two");
    fs->faults.write = true;
    EXPECT_EQ(writeUserFileDirect(u"prefs.dat", "four", 4), 0);
}

TEST_F(SavedFilesTest, SafeWriteReplacesThroughTempFileAndLeavesNoTemp)
{
    fs->put(u"/data/savegame.dat", "old");
    fs->put(u"/data/temp.dat", "leftover from a crash, longer than the save");
    EXPECT_EQ(writeSaveGameFile(u"savegame.dat", "new save", 8), 1);
    EXPECT_EQ(fs->text(u"/data/savegame.dat"), "new save");
    EXPECT_FALSE(fs->exists(u"/data/temp.dat"));
    EXPECT_EQ(fs->renames, 1);
}

TEST_F(SavedFilesTest, SafeWriteOfNothingDeletesTheFile)
{
    fs->put(u"/data/hs.dat", "scores");
    EXPECT_EQ(writeUserFile(u"hs.dat", "x", 0), 1);
    EXPECT_FALSE(fs->exists(u"/data/hs.dat"));
    fs->put(u"/data/hs.dat", "scores");
    EXPECT_EQ(writeUserFile(u"hs.dat", nullptr, 5), 1);
    EXPECT_FALSE(fs->exists(u"/data/hs.dat"));
}

// Whatever step of a safe write fails, the next read finds the old record or
// the new one, whole, never neither; only the first save may find none.
TEST_F(SavedFilesTest, SafeWriteFailingAtAnyStepLeavesTheOldOrTheNewFile)
{
    using Faults = MemoryFileSystem::Faults;
    struct Case {
        const char* name;
        bool hadOldFile;
        Faults faults;
        int result;
        const char* readBack;  // null: nothing to read
        bool tempLeft = false;  // a disk that cannot delete keeps the temp
    };
    const Case cases[] = {
        {"no fault", true, {}, 1, "new record 00002"},
        {"open", true, {.open = true}, 0, "old record 00001"},
        {"write", true, {.write = true}, 0, "old record 00001"},
        {"flush", true, {.flush = true}, 0, "old record 00001"},
        {"close", true, {.close = true}, 0, "old record 00001"},
        {"remove", true, {.remove = true}, 0, "old record 00001", true},
        {"rename", true, {.rename = true}, 0, "new record 00002"},
        // Neither "there" nor "missing": the temp file may be the only copy.
        {"rename, then stat", true, {.rename = true, .stat = true}, 0, "new record 00002"},
        {"size", true, {.size = true}, 0, "old record 00001"},
        {"first save", false, {}, 1, "new record 00002"},
        {"first save, write", false, {.write = true}, 0, nullptr},
        {"first save, rename", false, {.rename = true}, 0, "new record 00002"},
    };
    for (const Case& c : cases) {
        fs->files.clear();
        fs->faults = {};
        if (c.hadOldFile)
            fs->put(u"/data/savegame.dat", "old record 00001");
        fs->faults = c.faults;
        EXPECT_EQ(writeSaveGameFile(u"savegame.dat", "new record 00002", 16), c.result) << c.name;
        fs->faults = {};
        char buffer[16] = {};
        EXPECT_EQ(readSaveGameFile(u"savegame.dat", buffer, 16), c.readBack ? 1 : 0) << c.name;
        if (c.readBack) {
            EXPECT_EQ(std::string(buffer, 16), c.readBack) << c.name;
        }
        // A recovered file is back under its own name.
        EXPECT_EQ(fs->text(u"/data/savegame.dat"), c.readBack ? c.readBack : "<missing>") << c.name;
        EXPECT_EQ(fs->exists(u"/data/temp.dat"), c.tempLeft ? 1 : 0) << c.name;
    }
}

TEST_F(SavedFilesTest, LeftoverTempOfAnotherSizeIsNeverTakenForAMissingFile)
{
    // The folder's one temp file may be another save's: prefs.dat is 16
    // bytes, the leftover is a 96-byte score table.
    fs->put(u"/data/temp.dat", std::string(96, 's'));
    char buffer[16];
    EXPECT_EQ(readUserFile(u"prefs.dat", buffer, 16), 0);
    EXPECT_FALSE(fs->exists(u"/data/prefs.dat"));
    EXPECT_EQ(fs->text(u"/data/temp.dat"), std::string(96, 's'));
    // A present file, even a short one, is never replaced by the temp file.
    fs->put(u"/data/hs.dat", "short");
    char scores[96];
    EXPECT_EQ(readUserFile(u"hs.dat", scores, 96), 0);
    EXPECT_EQ(fs->text(u"/data/hs.dat"), "short");
}

TEST_F(SavedFilesTest, SafeWriteOfABareNameKeepsTempBesideIt)
{
    fs->put(u"hs.dat", "old");
    EXPECT_EQ(writeFileSafely(u"hs.dat", "new", 3), 1);
    EXPECT_EQ(fs->text(u"hs.dat"), "new");
    EXPECT_EQ(fs->lastRenameFrom, u"temp.dat");
    EXPECT_FALSE(fs->exists(u"/temp.dat"));
    EXPECT_FALSE(fs->exists(u"temp.dat"));
    // The temporary file was "temp.dat" itself, never one in the root.
    fs->faults.rename = true;
    EXPECT_EQ(writeFileSafely(u"hs.dat", "newer", 5), 0);
    EXPECT_EQ(fs->text(u"temp.dat"), "newer");
    EXPECT_FALSE(fs->exists(u"/temp.dat"));

    // A file in the root keeps its temporary file in the root too.
    fs->faults = {};
    fs->put(u"/hs.dat", "old");
    EXPECT_EQ(writeFileSafely(u"/hs.dat", "newer", 5), 1);
    EXPECT_EQ(fs->text(u"/hs.dat"), "newer");
    EXPECT_EQ(fs->lastRenameFrom, u"/temp.dat");
    EXPECT_FALSE(fs->exists(u"/temp.dat"));
}
