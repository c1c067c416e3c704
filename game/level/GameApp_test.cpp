// The game application on the sample pack: in-process start-ups through the
// platform's WinMain (virtual clock, keys fed through SDL) and direct event
// routing. The modes are doubles installed as the flow's creators.
#include "game/shell/GameApp.h"

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/properties/PropertySet.h"
#include "framework/resources/ResourceManager.h"
#include "framework/services/AppStateFlags.h"
#include "framework/services/ServiceAccessors.h"
#include "game/level/GameInstall.h"
#include "game/level/GameProgress.h"
#include "game/level/GameRunSetup.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/LevelObjects.h"
#include "game/level/MenuEngine.h"
#include "game/shell/FlowManager.h"
#include "game/shell/FontManager.h"
#include "game/shell/Graphics3DService.h"
#include "game/shell/KeyCodeMap.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/testing/FakeSound.h"
#include "game/ui/testing/UiScene.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/font/BitmapFont.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostMsgQueue.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformApp.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/SoundDevice.h"
#include "platform/wince/WinMain.h"
#include "tests/support/BuildFixture.h"
#include "tools/pack/PackWriter.h"
#include "tools/pack/ResourceManifest.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// (mode, event id, first argument) of the events the journal keeps.
struct Seen {
    std::string mode;
    uint32_t id;
    uint32_t a;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> g_seen;
std::set<uint32_t> g_kept;

class JournalMode : public GameMode {
public:
    explicit JournalMode(const char* name) : m_name(name) {}
    int handleEvent(uint32_t id, uint32_t a, uint32_t) override
    {
        if (g_kept.empty() || g_kept.count(id))
            g_seen.push_back({m_name, id, a});
        // The start-up mode finishes on select.
        if (id == ActionId::MenuSelect && m_name == "startup")
            setResult(1);
        return 1;
    }
    // Each mode fills the screen with its own colour.
    int paint() override
    {
        fillRect(0, 0, 1024, 1024, m_name == "startup" ? 0xff00ff00 : 0xff0000ff);
        return 1;
    }

private:
    std::string m_name;
};

GameMode* makeStartup() { return new JournalMode("startup"); }
GameMode* makeFrontEnd() { return new JournalMode("frontend"); }
GameMode* makeMainMenu() { return new JournalMode("menu"); }

int g_shutdowns = 0;

class CountingGameApp : public GameApp {
public:
    void shutdown() override
    {
        ++g_shutdowns;
        GameApp::shutdown();
    }
};

std::vector<int32_t> stackIds()
{
    std::vector<int32_t> ids;
    if (GameApp* game = getGame(); game && game->flowManager()) {
        for (uint32_t i = 0; i < game->flowManager()->count(); ++i)
            ids.push_back(game->flowManager()->idAt(i));
    }
    return ids;
}

// The packs a start-up can meet: none, a bad header, no resource table, a
// name the pack cannot be opened under (a folder, a link the folder cannot
// follow).
enum class PackPlace { File, Folder, Loop };
struct BadPack {
    const char* name;
    Bytes bytes;
    PackPlace place = PackPlace::File;
    const char* said = nullptr;  // what the player is told, after the folder
};

class GameAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/pf-gameapp-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("PENNYFALL_HOME", folder, 1);
        hostSetInstanceFolder(m_folder);
        hostTestReset();
        hostDirectDrawReset();
        hostRegistryClear();
        hostTestUseVirtualClock(1000);
        installPlatformServices();
        installGame();
        setFlowModeCreator(FlowModeId::Startup, makeStartup);
        setFlowModeCreator(FlowModeId::FrontEnd, makeFrontEnd);
        setFlowModeCreator(FlowModeId::MainMenu, makeMainMenu);
        g_seen.clear();
        g_kept.clear();
        g_shutdowns = 0;
    }
    void TearDown() override
    {
        setFlowModeCreator(FlowModeId::Startup, nullptr);
        setFlowModeCreator(FlowModeId::FrontEnd, nullptr);
        setFlowModeCreator(FlowModeId::MainMenu, nullptr);
        setGameAppFactory(nullptr);
        hostTestSetPumpHook(nullptr);
        hostTestReset();
        unsetenv("PENNYFALL_HOME");
        hostSetInstanceFolder("");
        removeGameRunFolder(m_folder);
    }

    void writeFile(const char* name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(m_folder + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void placePack(const BadPack& c)
    {
        const std::string pack = m_folder + "/pennyfall.big";
        if (!c.bytes.empty()) {
            writeFile("pennyfall.big", c.bytes);
        } else if (c.place == PackPlace::Folder) {
            ASSERT_EQ(mkdir(pack.c_str(), 0700), 0);
        } else if (c.place == PackPlace::Loop) {
            ASSERT_EQ(symlink("pennyfall.big", pack.c_str()), 0);
        }
    }
    void putSamplePack()
    {
        const std::vector<uint8_t> pack = readBuildFixture("pennyfall.big");
        ASSERT_FALSE(pack.empty());
        writeFile("pennyfall.big", pack);
    }

    std::string m_folder;
};

// The packs a start-up can meet.
std::vector<BadPack> badPacks()
{
    Bytes withoutTable;
    PackWriter writer;
    writer.add(0x030001E4, 0x374F8659, Bytes{'A', '=', '1', '\n'});
    EXPECT_TRUE(writer.build(PackIndexForm::Sorted, withoutTable));
    Bytes badHeader = readBuildFixture("pennyfall.big");
    EXPECT_GT(badHeader.size(), 16u);
    // An index count no file could hold.
    for (size_t i = 12; i < 16 && i < badHeader.size(); ++i)
        badHeader[i] = 0xff;
    return {{"no pack", {}, PackPlace::File, ". Put the game's pack there"},
            {"a bad header", badHeader, PackPlace::File, " is damaged or is not the"},
            {"no resource table", withoutTable, PackPlace::File, " is damaged or is not the"},
            {"a folder", {}, PackPlace::Folder, " cannot be opened. Make it readable"},
            {"a loop", {}, PackPlace::Loop, " cannot be opened. Make it readable"}};
}

TEST_F(GameAppTest, StartUpNeedsAPackWithItsTableAndShutsDownOnce)
{
    std::vector<BadPack> cases = badPacks();
    cases.push_back({"the sample pack, closed after three ticks", readBuildFixture("pennyfall.big")});
    for (const BadPack& c : cases) {
        setGameAppFactory([]() -> AppBase* { return new (std::nothrow) CountingGameApp(); });
        placePack(c);
        hostTestCloseAfterTicks(3);
        const bool good = &c == &cases.back();
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), good ? 0 : 1) << c.name;
        EXPECT_EQ(g_shutdowns, 1) << c.name;
        EXPECT_EQ(hostTestTimerMessageCount(), good ? 3u : 0u) << c.name;
        EXPECT_EQ(getGameApp(), nullptr) << c.name;
        // A fresh folder and application for the next case.
        TearDown();
        SetUp();
    }
}

// The program itself, as the phone's shell starts it.
TEST_F(GameAppTest, TheExecutableEndsWithExitCodeOneWithoutAUsablePack)
{
    const std::string program = std::string(std::getenv("PF_BUILD_DIR")) + "/pennyfall";
    ASSERT_EQ(access(program.c_str(), X_OK), 0);
    for (const BadPack& c : badPacks()) {
        std::remove((m_folder + "/pennyfall.big").c_str());
        placePack(c);
        const std::string command = "env PENNYFALL_HOME=" + m_folder + " PF_INSTANCE_DIR=" + m_folder + " " + program
                                    + " 2>" + m_folder + "/said";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        EXPECT_EQ(WEXITSTATUS(status), 1) << c.name;
        std::ifstream in(m_folder + "/said");
        const std::string said{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(said.find(m_folder + c.said), std::string::npos) << said;
    }
}

MemoryFileSystem* g_memoryFiles = nullptr;
uint32_t framePixel(uint32_t x, uint32_t y);
void showOnMemoryFrame(MemorySurface& frame);

// A whole start on files in memory (the sample pack, a configuration with a
// key line, the saves a first start wrote), its pages into the level and the
// world's second read of the saved game, with the n-th open, read, seek, stat
// or size failing, or every one from it on: one failure changes no frame; a
// pack that would not read is told so, never missing or damaged, and every
// frame after shows the message; the configuration is the file's with its
// keys, or the pack's; no save the game did not read is run on untold; no
// file changes. Each step's failures in four tests, every fourth call each,
// so each stays quick.
class StartFaults : public GameAppTest, public testing::WithParamInterface<int> {};
constexpr MemoryFileSystem::Step kStartFaultSteps[] = {MemoryFileSystem::OpenRead, MemoryFileSystem::Read,
                                                       MemoryFileSystem::Seek, MemoryFileSystem::Stat,
                                                       MemoryFileSystem::Size};

TEST_P(StartFaults, AStartWhoseReadsFailTellsWhatItMetAndChangesNoFile)
{
    using Step = MemoryFileSystem::Step;
    installGame();
    MemorySurface frame;
    showOnMemoryFrame(frame);
    const std::u16string pack = u"/prog/pennyfall.big", config = u"/prog/properties.dat";
    const std::string text = "KOR_VERSION=file\nKOR_KEYCODE_HASH=0x72\n";
    std::map<std::u16string, MemoryFileSystem::Bytes> disk{{pack, readBuildFixture("pennyfall.big")},
                                                          {config, {text.begin(), text.end()}}};
    setFileSystemCreator([]() -> HashedObject* { return g_memoryFiles; });
    int clean[MemoryFileSystem::StepCount] = {};
    std::vector<std::vector<uint32_t>> cleanFrames, failureFrame;
    const auto start = [&](Step step, int from, bool once) {
        SCOPED_TRACE(std::string(MemoryFileSystem::kStepNames[step]) + (once ? " at " : " from ") + std::to_string(from));
        // Made before the application, so not its to delete.
        const std::unique_ptr<MemoryFileSystem> files(g_memoryFiles = new MemoryFileSystem());
        MemoryFileSystem& fs = *files;
        fs.files = disk;
        fs.failingFrom[step] = once ? 0 : std::max(from, 0);
        fs.failing[step] = {once ? from : 0};
        hostTestReset();
        hostTestUseVirtualClock(1000);
        GameApp app;
        if (app.init() != 0) {
            const std::string said = hostLastMessageBoxText();
            EXPECT_EQ(fs.failedOn.count(pack) * !once, 1u) << said;
            EXPECT_NE(said.find("could not be read"), std::string::npos) << said;
        } else {
            app.dispatch(EventId::Start, 0, 0);
            const PropertySet* properties = getProperties();
            const bool fromFile = properties->has("KOR_VERSION"), fromPack = properties->has("TOUCHANDKEY_SUPPORT");
            EXPECT_TRUE(fromFile ? !fromPack : fs.failedOn.count(config) && (fromPack || fs.failedOn.count(pack)));
            EXPECT_EQ(getKeyCodeMap()->count(), fromFile ? 1u : 0u);
            const auto runsOnWhatItRead = [&] {
                const std::pair<SaveFile*, const char16_t*> saves[] = {
                    {getHighScoreTable(), kHighScoreFileName}, {getPrefs(), kPrefsFileName}, {getSaveGame(), kSaveGameFileName}};
                for (const auto& [file, name] : saves) {
                    const auto& bytes = disk[std::u16string(u"/data/") + name];
                    EXPECT_EQ(file->m_damaged + file->m_unwritable, 0u);
                    EXPECT_TRUE(file->m_unreadable ? unreadableSaveFiles() != 0
                                                   : std::equal(bytes.begin(), bytes.end(), file->image()));
                }
            };
            runsOnWhatItRead();
            // Select every so often: each frame is a clean start's while the
            // pack reads, then the message and nothing else.
            for (size_t tick = 0; tick < 40; ++tick) {
                if (tick % 8 == 4 || tick % 8 == 5)
                    app.dispatch(tick % 8 == 4 ? PlatformEventId::KeyDown : PlatformEventId::KeyUp, PlatformKey::Select, 0);
                hostTestAdvanceClock(30);
                app.frame();
                std::vector<uint32_t> shot;
                for (uint32_t i = 0; i < 64 * 48; ++i)
                    shot.push_back(framePixel(i % 64, i / 64));
                if (from <= 0)
                    cleanFrames.resize(tick), cleanFrames.push_back(shot);
                else if (app.m_failed && failureFrame.empty())
                    failureFrame.push_back(shot);
                if (from > 0 && fs.failedOn.size() == fs.failedOn.count(pack)) {
                    ASSERT_EQ(shot, app.m_failed ? failureFrame.at(0) : cleanFrames.at(tick)) << "frame " << tick;
                }
            }
            const std::string said = hostLastMessageBoxText();
            EXPECT_EQ(app.m_failed, once ? 0 : fs.failedOn.count(pack)) << said;
            EXPECT_EQ(app.m_failed, said.find("pennyfall.big in the folder /prog could not be read") != std::string::npos);
            // Any key ends a failed run, with the exit code of a failed start.
            app.dispatch(PlatformEventId::KeyDown, PlatformKey::Up, 0);
            EXPECT_EQ(app.m_quitRequested, app.m_failed);
            // The world reads the saved game again: its failing read brings
            // in the front end's page, which tells it as unreadable.
            getAppStateFlags()->m_flags[AppFlag::SaveFailed] = 0;
            { GameProgress progress(nullptr); }
            runsOnWhatItRead();
            EXPECT_EQ(getAppStateFlags()->m_flags[AppFlag::SaveFailed], getSaveGame()->m_unreadable);
        }
        app.shutdown();
        EXPECT_TRUE(from < 0 || fs.files == disk) << "a file changed";
        if (from <= 0)
            std::copy(std::begin(fs.calls), std::end(fs.calls), std::begin(clean)), disk = fs.files;
    };
    start(Step::Read, -1, false);  // writes the saves
    start(Step::Read, 0, false);
    const Step step = kStartFaultSteps[GetParam() / 4];
    for (int from = 1 + GetParam() % 4; from <= clean[step]; from += 4)
        start(step, from, true), start(step, from, false);
    EXPECT_GT(clean[step], 0);
    // Pack reads and seeks run on to the level: failing from any of them
    // on is told.
    if (step == Step::Read || step == Step::Seek) {
        ASSERT_EQ(failureFrame.size(), 1u);
    }
    for (const auto& shot : failureFrame)
        EXPECT_LT(std::count(shot.begin(), shot.end(), 0u), 64 * 48 * 99 / 100) << "no message";
    setDisplayCreator(nullptr);
    setDrawContextCreator(nullptr);
}

INSTANTIATE_TEST_SUITE_P(EveryReadStep, StartFaults, testing::Range(0, 4 * int(std::size(kStartFaultSteps))),
                         [](const testing::TestParamInfo<int>& info) {
                             std::string name = MemoryFileSystem::kStepNames[kStartFaultSteps[info.param / 4]];
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name + "_" + std::to_string(info.param % 4 + 1);
                         });

TEST_F(GameAppTest, ListedEventsReachTheActiveModeLifecycleEventsEveryMode)
{
    putSamplePack();
    setSoundDeviceCreator([]() -> HashedObject* { return new (std::nothrow) FakeSound(); });
    {
        GameApp app;
        ASSERT_EQ(app.init(), 0);
        FakeSound* sound = static_cast<FakeSound*>(getSound());
        ASSERT_NE(sound, nullptr);
        app.dispatch(EventId::Start, 0, 0);
        app.frame();
        ASSERT_EQ(stackIds(), std::vector<int32_t>{FlowModeId::Startup});
        // The pause text comes from the current language's text table.
        ASSERT_NE(app.m_pauseText.text().chars(), nullptr);
        EXPECT_EQ(std::u16string(app.m_pauseText.text().chars()),
            u"Paused. Press select to quit, or any other key to go on.");
        // A failed save brings the front end over whatever runs.
        getAppStateFlags()->m_flags[AppFlag::SaveFailed] = 1;
        app.dispatch(PlatformEventId::Redraw, 0, 0);
        app.frame();
        ASSERT_EQ(stackIds(), (std::vector<int32_t>{FlowModeId::Startup, FlowModeId::FrontEnd}));
        // The main menu comes in silence: every voice and the vibration stop.
        GameMode* menu = nullptr;
        app.flowManager()->createMode(FlowModeId::MainMenu, &menu);
        EXPECT_EQ(sound->stops, std::vector<uint32_t>{0});
        EXPECT_EQ(sound->vibrationStops, 1);
        delete menu;

        const struct {
            uint32_t id;
            std::vector<std::string> modes;
        } cases[] = {
            {0x3ed25c89, {"frontend"}},
            {PlatformEventId::KeyDown, {"frontend"}},
            {ActionId::PlayQuit, {"frontend"}},
            {PlatformEventId::Redraw, {"startup", "frontend"}},
            {PlatformEventId::ScreenSizeSettled, {"startup", "frontend"}},
            {EventId::Pause, {"startup", "frontend"}},
            {EventId::Resume, {"startup", "frontend"}},
            {0x0badf00d, {}},
            // The first of the two screen-size notices is not subscribed.
            {0x747ab255, {}},
            // The application message pauses in the shell; the modes see only the input let go.
            {PlatformEventId::AppMessage, {"startup", "frontend"}},
        };
        for (const auto& c : cases) {
            g_seen.clear();
            app.dispatch(c.id, 99, 0);
            std::vector<std::string> modes;
            for (const Seen& s : g_seen) {
                EXPECT_EQ(s.id, c.id == PlatformEventId::AppMessage ? InputEventId::InputWipe : c.id);
                modes.push_back(s.mode);
            }
            EXPECT_EQ(modes, c.modes) << std::hex << c.id;
        }
        // Message 1023 paused and its frames hold the sounds; select quits
        // from there, any other key goes on, with the sounds.
        EXPECT_EQ(app.m_paused, 1);
        sound->playing.insert(1);
        const int pauses = sound->pauses, resumes = sound->resumes;
        app.dispatch(EventId::Resume, 0, 0);  // the window's return: the sounds stay paused
        // The resume's frame drew only; the next one updates.
        for (int i = 0; i < 2; ++i) {
            hostTestAdvanceClock(30);
            app.frame();
        }
        EXPECT_EQ(sound->pauses, pauses + 1);
        // Taps and the key that leaves the pause screen act on nothing, until that key is pressed anew.
        g_seen.clear();
        g_kept = {PlatformEventId::ButtonDown, PlatformEventId::KeyDown, PlatformEventId::KeyUp, ActionId::MenuUp,
                  ActionId::PlayUp, ActionId::PlayUpReleased};
        app.dispatch(PlatformEventId::ButtonDown, 0, 0);
        app.dispatch(PlatformEventId::KeyDown, PlatformKey::Up, 0);
        EXPECT_EQ(app.m_paused, 0);
        EXPECT_EQ(sound->resumes, resumes + 1);
        EXPECT_EQ(app.m_quitRequested, 0);
        for (const uint32_t id : {PlatformEventId::KeyUp, PlatformEventId::KeyDown}) {
            hostTestAdvanceClock(30);
            app.frame();
            EXPECT_EQ(g_seen.size(), 0u) << std::hex << id;
            app.dispatch(id, PlatformKey::Up, 0);
        }
        EXPECT_EQ(g_seen.at(0), (Seen{"frontend", PlatformEventId::KeyDown, PlatformKey::Up}));
        hostTestAdvanceClock(30);
        app.frame();
        app.dispatch(PlatformEventId::AppMessage, 0, 0);
        g_seen.clear();
        for (int i = 0; i < 4; ++i) {
            hostTestAdvanceClock(600);
            app.frame();
        }
        EXPECT_EQ(g_seen.size(), 0u) << "Up, held into the pause, repeats nothing there";
        // A select pressed before the pause is released on its screen: nothing.
        app.dispatch(PlatformEventId::KeyUp, PlatformKey::Select, 0);
        EXPECT_EQ(app.m_quitRequested, 0);
        app.dispatch(PlatformEventId::KeyDown, PlatformKey::Select, 0);
        EXPECT_EQ(app.m_paused, 1);
        EXPECT_EQ(app.m_quitRequested, 1);
        app.shutdown();
        app.shutdown();
        EXPECT_EQ(app.flowManager(), nullptr);
        // Taken down, services are never made again.
        EXPECT_EQ(getAppStateFlags(), nullptr);
        EXPECT_EQ(getProperties(), nullptr);
    }
    EXPECT_EQ(getGameApp(), nullptr);
}

// A second start binds the keys anew, not twice over: a press is one
// action however often the game started.
TEST_F(GameAppTest, ASecondStartBindsEachKeyOnce)
{
    putSamplePack();
    g_kept = {ActionId::MenuSelect};
    {
        GameApp app;
        ASSERT_EQ(app.init(), 0);
        for (int start = 1; start <= 2; ++start) {
            app.dispatch(EventId::Start, 0, 0);
            hostTestAdvanceClock(30);
            app.frame();
            g_seen.clear();
            app.dispatch(PlatformEventId::KeyDown, PlatformKey::Select, 0);
            app.dispatch(PlatformEventId::KeyUp, PlatformKey::Select, 0);
            hostTestAdvanceClock(30);
            app.frame();
            EXPECT_EQ(g_seen.size(), 1u) << "start " << start;
        }
        app.shutdown();
    }
}

TEST_F(GameAppTest, KeysThroughTheWindowBecomeActionsAndF4Quits)
{
    putSamplePack();
    const std::string properties = "Kor-Softkey-Reverse=TRUE\nKOR_KEYCODE_HASH=0x72\n";
    writeFile("properties.dat", std::vector<uint8_t>(properties.begin(), properties.end()));
    g_kept = {PlatformEventId::KeyDown, PlatformEventId::KeyUp, ActionId::MenuSelect, ActionId::Digit0 - 5,
        ActionId::PlayAction, ActionId::Digit5Released, ActionId::SoftLeft, ActionId::SoftRight, ActionId::PlayMenu,
        ActionId::PlayQuit, EventId::Pause, EventId::Resume};

    std::vector<int32_t> stackAtTick2;
    std::vector<uint32_t> volumes;
    std::vector<uint32_t> colours;
    uint32_t lastTick = 0;
    // The hook runs at every message wait: each tick's script runs once.
    hostTestSetPumpHook([&] {
        const uint32_t tick = hostTestTimerMessageCount();
        if (tick == lastTick)
            return;
        lastTick = tick;
        switch (tick) {
        case 2:
            stackAtTick2 = stackIds();
            colours.push_back(hostLastFrame().argb(10, 10));
            hostTestPushKey(SDL_SCANCODE_5, true);
            break;
        case 3:
            hostTestPushKey(SDL_SCANCODE_5, false);
            break;
        case 4:
            hostTestPushKey(SDL_SCANCODE_F1, true);
            hostTestPushKey(SDL_SCANCODE_F1, false);
            hostTestPushKey(SDL_SCANCODE_F3, true);
            hostTestPushKey(SDL_SCANCODE_F3, false);
            break;
        case 5:
            hostTestPushKey(SDL_SCANCODE_F7, true);
            hostTestPushKey(SDL_SCANCODE_F7, false);
            // The device slept: the next update reads it and posts a pause
            // and a resume. A notice without those flags is ignored.
            hostBroadcastPower(PBT_TRANSITION, 0x00400000, u"resuming");
            hostBroadcastPower(PBT_TRANSITION, 0x00010000, u"on");
            break;
        case 6:
            colours.push_back(hostLastFrame().argb(10, 10));
            volumes.push_back(getSound()->getVolume());
            // From 5 one more than reaches the top.
            for (int i = 0; i < 6; ++i) {
                hostTestPushKey(SDL_SCANCODE_F6, true);
                hostTestPushKey(SDL_SCANCODE_F6, false);
            }
            break;
        case 7:
            volumes.push_back(getSound()->getVolume());
            hostTestPushKey(SDL_SCANCODE_F4, true);
            break;
        default:
            break;
        }
    });
    // F4 ends the run well before the window would close.
    hostTestCloseAfterTicks(40);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_LT(hostTestTimerMessageCount(), 10u);
    EXPECT_EQ(stackAtTick2, std::vector<int32_t>{FlowModeId::Startup});
    // The platform's default volume is 6; F7 lowers it, F6 raises it.
    EXPECT_EQ(volumes, (std::vector<uint32_t>{5, 10}));
    // The volume keys change the stored preference too.
    std::ifstream prefs(m_folder + "/prefs.dat", std::ios::binary);
    const std::vector<char> stored{std::istreambuf_iterator<char>(prefs), std::istreambuf_iterator<char>()};
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored[10], 10);
    // What the window showed: the start-up mode, then the main menu.
    EXPECT_EQ(colours, (std::vector<uint32_t>{0xff00ff00, 0xff0000ff}));

    const uint32_t down = PlatformEventId::KeyDown;
    const uint32_t up = PlatformEventId::KeyUp;
    std::vector<Seen> expected = {
        {"startup", down, '5'},
        {"startup", ActionId::MenuSelect, '5'},
        {"startup", ActionId::Digit0 - 5, '5'},
        {"startup", ActionId::PlayAction, '5'},
        {"startup", up, '5'},
        {"startup", ActionId::Digit5Released, '5'},
        // Select finished the start-up mode: the main menu follows it.
        // The left soft key sends its one key-down on release; reversed, it
        // fires the right soft key's actions.
        {"menu", down, 15},
        {"menu", down, 35},
        {"menu", up, 35},
        {"menu", ActionId::SoftRight, 15},
        {"menu", ActionId::PlayMenu, 15},
        {"menu", down, 18},
        {"menu", up, 18},
        {"menu", EventId::Pause, 0},
        {"menu", EventId::Resume, 0},
    };
    for (int i = 0; i < 6; ++i) {
        expected.push_back({"menu", down, 17});
        expected.push_back({"menu", up, 17});
    }
    expected.push_back({"menu", down, 3});
    expected.push_back({"menu", ActionId::PlayQuit, 3});

    EXPECT_EQ(g_seen.size(), expected.size());
    for (size_t i = 0; i < std::min(g_seen.size(), expected.size()); ++i) {
        EXPECT_EQ(g_seen[i].mode, expected[i].mode) << i;
        EXPECT_EQ(g_seen[i].id, expected[i].id) << i;
        EXPECT_EQ(g_seen[i].a, expected[i].a) << i;
    }
}

// A display of the library over a 64 x 48 memory frame, and a mode that
// fills the frame green.
MemorySurface* g_frame = nullptr;
TestScreen* g_screen = nullptr;

class GreenMode : public GameMode {
public:
    int paint() override
    {
        fillRect(0, 0, 64, 48, 0xff00ff00);
        return 1;
    }
};

uint32_t framePixel(uint32_t x, uint32_t y)
{
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    if (!g_frame->lock(&pixels, &pitch, 0, nullptr))
        return 0xdeadbeef;
    uint32_t value = 0;
    std::memcpy(&value, pixels + y * uint32_t(pitch) + x * 4, 4);
    g_frame->unlock();
    return value & 0xffffff;
}

// The game's display and drawing context draw onto the frame.
void showOnMemoryFrame(MemorySurface& frame)
{
    g_frame = &frame;
    setDisplayCreator([]() -> HashedObject* {
        g_screen = new TestScreen();
        g_screen->init();
        makeTarget(*g_frame, 64, 48);
        return g_screen;
    });
    setDrawContextCreator([]() -> HashedObject* { return new DrawContext(); });
}

TEST_F(GameAppTest, FramesPaintTheModesOntoTheDisplayAndPausedFramesAreBlack)
{
    putSamplePack();
    MemorySurface frame;
    showOnMemoryFrame(frame);
    setFlowModeCreator(FlowModeId::Startup, []() -> GameMode* { return new GreenMode(); });
    {
        GameApp app;
        ASSERT_EQ(app.init(), 0);
        // The secondary target: half the frame, registered by name.
        Resource* target = nullptr;
        ASSERT_EQ(getResourceManager()->findByName(kSecondaryTargetName, &target), 1);
        uint32_t width = 0, height = 0;
        ASSERT_TRUE(static_cast<Surface*>(target->payload())->getSize(&width, &height));
        EXPECT_EQ(width, 32u);
        EXPECT_EQ(height, 24u);

        app.dispatch(EventId::Start, 0, 0);
        app.frame();
        EXPECT_EQ(framePixel(0, 0), 0x00ff00u);
        EXPECT_EQ(framePixel(63, 47), 0x00ff00u);
        const uint32_t presents = g_screen->m_presents;
        EXPECT_GE(presents, 1u);

        app.m_paused = 1;
        hostTestAdvanceClock(30);
        app.frame();
        EXPECT_EQ(g_screen->m_presents, presents + 1);
        // Black, with the text's lines centred in the middle three quarters
        // from a line above the middle down.
        RefPicture paused(64, 48, 0);
        const char16_t* lines[] = {u"Paused.", u"Press select", u"to quit, or", u"any other", u"key to go"};
        for (int i = 0; i < 5; ++i)
            paused.centred(lines[i], 8, 56, 17 + 7 * i, 0);
        for (uint32_t y = 0; y < 48; ++y)
            for (uint32_t x = 0; x < 64; ++x)
                ASSERT_EQ(framePixel(x, y), paused.px[y * 64 + x] & 0xffffff) << x << ", " << y;

        // The pause screen follows a change of language.
        EXPECT_EQ(std::u16string(app.m_pauseText.text().chars()), u"Paused. Press select to quit, or any other key to go on.");
        ASSERT_EQ(getResourceManager()->loadListEntry(1), ResourceResult::Loaded);
        hostTestAdvanceClock(30);
        app.frame();
        EXPECT_EQ(std::u16string(app.m_pauseText.text().chars()),
                  u"Pause. Auswahl beendet, jede andere Taste spielt weiter.");
        EXPECT_EQ(framePixel(0, 0), 0u);

        // Suppressed drawing: frames go on, nothing is presented.
        getAppStateFlags()->m_flags[AppFlag::DrawingSuppressed] = 1;
        hostTestAdvanceClock(30);
        app.frame();
        EXPECT_EQ(g_screen->m_presents, presents + 2);
        app.shutdown();
        EXPECT_EQ(getResourceManager(), nullptr);
    }

    // Packs of the sample's texts with the English pause text given, and
    // the German one dropped.
    std::ifstream in(std::string(std::getenv("PF_SOURCE_DIR")) + "/tools/samplepack/pennyfall.manifest");
    const std::string manifest{std::istreambuf_iterator<char>(in), {}};
    const std::string pauseRow = "row 0x03007F01 0x243 0xF686AADC plain 4 utf8 ";
    const size_t at = manifest.find(pauseRow), german = manifest.find("row 0x03007F03 0x243 ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(german, std::string::npos);
    const auto startOnPack = [&](GameApp& app, const std::string& pause) {
        PackManifest pack;
        std::string error;
        Bytes bytes;
        std::string text = manifest;
        text.erase(german, text.find('\n', german) + 1 - german);
        text.replace(at + pauseRow.size(), text.find('\n', at) - at - pauseRow.size(), pause);
        text += "spanprograms deflated 4\n";
        EXPECT_TRUE(parseResourceManifest(text, "", pack, error)) << error;
        EXPECT_TRUE(pack.writer.build(pack.form, bytes));
        writeFile("pennyfall.big", bytes);
        EXPECT_EQ(app.init(), 0);
        app.dispatch(EventId::Start, 0, 0);
        app.frame();
    };

    // After a change to a language without a pause text, the window's
    // message pauses nothing: the modes go on drawing, never a black screen.
    {
        GameApp app;
        startOnPack(app, "Paused.");
        ASSERT_EQ(getResourceManager()->loadListEntry(1), ResourceResult::Loaded);
        app.dispatch(PlatformEventId::AppMessage, 0, 0);
        EXPECT_EQ(app.m_paused, 0);
        hostTestAdvanceClock(30);
        app.frame();
        EXPECT_EQ(framePixel(0, 0), 0x00ff00u);
        app.shutdown();
    }

    // A pause text of one long word costs the first paused frame glyph
    // lookups in proportion to its length, however far below the screen it
    // runs; the frames after it cost the lines they draw.
    const auto pausedFrameProbes = [&](size_t letters) -> std::pair<uint64_t, uint64_t> {
        GameApp app;
        startOnPack(app, std::string(letters, 'W'));
        app.m_paused = 1;
        BitmapFont* font = getFontManager()->getFont(0);
        EXPECT_NE(font, nullptr);
        uint64_t probes[2] = {};
        for (uint64_t& frameProbes : probes) {
            const uint64_t before = font ? font->probes() : 0;
            hostTestAdvanceClock(30);
            app.frame();
            frameProbes = font ? font->probes() - before : 0;
        }
        EXPECT_EQ(app.m_pauseText.text().length(), letters);
        app.shutdown();
        return {probes[0], probes[1]};
    };
    const auto [n, next] = pausedFrameProbes(20000);
    const uint64_t twice = pausedFrameProbes(40000).first;
    EXPECT_GE(n, 20000u);
    EXPECT_LE(twice * 10, n * 23) << n << " " << twice;
    // Five lines of twelve letters, measured and drawn.
    EXPECT_LE(next, 5u * 12 * 2 * 6) << next;
    setDisplayCreator(nullptr);
    setDrawContextCreator(nullptr);
}

} // namespace

namespace {

// Configured soft-key labels take the taps of the strip's first 20 rows
// from the bottom, before the strip's quarters: each label w/4 wide.
TEST_F(GameAppTest, TapsOnConfiguredSoftKeyLabelsBecomeTheSoftKeys)
{
    putSamplePack();
    const std::string properties = "LSK_PORTRAIT_X=150\nRSK_PORTRAIT_X=0\n";
    writeFile("properties.dat", std::vector<uint8_t>(properties.begin(), properties.end()));
    GameApp app;
    ASSERT_EQ(app.init(), 0);
    app.dispatch(EventId::Start, 0, 0);
    EXPECT_EQ(std::vector<int32_t>(app.m_softkeyX, app.m_softkeyX + 4), (std::vector<int32_t>{150, 0, -1, -1}));
    const int32_t w = getScreenWidth();
    const int32_t h = getScreenHeight();
    ASSERT_EQ(w, 240);
    {
        GameWorld world;
        int32_t error = LevelError::None;
        world.m_level = new Level(&world, error);
        world.m_levelIndex = 3;
        world.m_menu->close();
        world.m_level->m_player = new Player(nullptr, &world);
        const struct {
            int32_t x, y;
            int32_t key;
        } taps[] = {
            {150, h - 19, 22}, {210, h - 19, 22}, // the left label, both edges
            {0, h - 19, 23},   {30, h - 19, 23},  // the right label, where a quarter would say left
            {60, h - 19, 23},  {100, h - 19, 21}, // past both: the screen's thirds
            {211, h - 19, 23}, {30, h - 20, 19},  // the right quarter; above the strip
        };
        for (const auto& t : taps) {
            world.m_level->m_lastPressed = -1;
            world.onPointerPressed(t.x, t.y);
            EXPECT_EQ(world.m_level->m_lastPressed, t.key) << t.x << "," << t.y;
            world.onPointerReleased();
        }
    }
    app.shutdown();
}

} // namespace
