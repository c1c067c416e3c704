// Start-up, event handling, the frame and shutdown of the game application.
#include "game/shell/GameApp.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <vector>

#include "framework/events/CallbackHandler.h"
#include "framework/events/HandlerList.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/events/TaskIds.h"
#include "framework/files/CrcService.h"
#include "framework/files/FileSystem.h"
#include "framework/files/SavedFiles.h"
#include "framework/properties/PropertySet.h"
#include "framework/resources/PropertiesSource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/ResourceTypes.h"
#include "framework/resources/TypedResources.h"
#include "framework/services/AppStateFlags.h"
#include "framework/services/IdHashMap.h"
#include "framework/services/Service.h"
#include "framework/services/ServiceAccessors.h"
#include "framework/strings/NameHash.h"
#include "framework/util/RandomService.h"
#include "game/shell/EngineService.h"
#include "game/shell/FlowManager.h"
#include "game/shell/FontManager.h"
#include "game/shell/HandlerListIndex.h"
#include "game/shell/KeyCodeMap.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/StatsOverlay.h"
#include "game/shell/TextRun.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/font/BitmapFont.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/NullService.h"
#include "platform/wince/PlatformApp.h"
#include "platform/wince/PlatformSystem.h"
#include "platform/wince/SoundDevice.h"

namespace {

// The router index's shape: bucket hint and nodes a block.
constexpr uint32_t kRouterBuckets = 150;
constexpr uint32_t kRouterNodesPerBlock = 50;
// The resource manager's table shape.
constexpr uint32_t kResourceBuckets = 500;
constexpr uint32_t kResourceNodesPerBlock = 33;
// The statistics overlay's task-group set-up.
constexpr uint32_t kOverlayBuckets = 50;
constexpr uint32_t kOverlayNodesPerBlock = 4;
constexpr uint32_t kOverlayHistory = 5;

// A frame surface of these buffering kinds keeps no picture between frames,
// so every mode repaints.
constexpr uint32_t kFlippedLayouts[] = {3, 4};
constexpr uint32_t kOpaqueBlack = 0xff000000;
// The power broadcasts that mean the device slept.
constexpr uint32_t kPowerSleepFlags = 0x01400000;

// The font the pause screen and the pack's failure are told with.
constexpr uint32_t kMessageFont = 0;

constexpr char kHandlerName[] = "GameApp";
constexpr char kUseGapiKey[] = "USE_GAPI";
constexpr char kLocalisationTestKey[] = "Kor-Test-Localisation";
constexpr char kTouchAndKeyKey[] = "TOUCHANDKEY_SUPPORT";
constexpr const char* kSoftkeyXKeys[4] = {"LSK_PORTRAIT_X", "RSK_PORTRAIT_X", "LSK_LANDSCAPE_X", "RSK_LANDSCAPE_X"};

PlatformApp* platformApp()
{
    return static_cast<PlatformApp*>(getPlatformApp());
}

// The dispatcher entry filed under the key, or null.
HandlerEntry* dispatcherEntry(HandlerList* dispatcher, uint32_t key)
{
    HandlerEntry* entry = nullptr;
    return dispatcher && dispatcher->find(0, key, &entry) ? entry : nullptr;
}

// What the player is told of a pack the game cannot run on: which file, in
// which folder when one is given, failed and how. Only what the game met
// counts: a name the folder holds but would not open, or a file whose bytes
// would not read, is neither missing nor damaged. found is what a failed
// open said of the name.
void packFailureText(WideString& text, const char16_t* folder, bool opened, int found, bool readFailed)
{
    const bool missing = !opened && found == kFileMissing;
    text = WideString(kResourcePackName);
    if (folder != nullptr) {
        text.appendNarrow(missing ? " is missing from the folder " : " in the folder ");
        text.append(folder);
    }
    text.appendNarrow(missing ? ". Put the game's pack there and start the game again."
                      : readFailed || (!opened && found == kFileUnknown)
                          ? " could not be read. Check the card or disk it is on and start the game again."
                      : !opened ? " cannot be opened. Make it readable and start the game again."
                                : " is damaged or is not the game's pack. Put a good copy there and start the game again.");
}

void tellPackFailure(const char16_t* path, bool opened, int found, bool readFailed)
{
    WideString folder;
    directoryOf(folder, path);
    WideString text;
    packFailureText(text, folder.chars(), opened, found, readFailed);
    showErrorMessage(text.chars());
}

} // namespace

const uint32_t GameApp::kSubscribedIds[] = {
    0x67542658, 0x36754280, 0x8408f369, 0x6740942f, 0x54246de3, 0x75424363, 0x518e1a3b, 0x5152a73b, 0xc7424be6,
    0x43a39818, 0x8251b8de, 0x8918794c, 0x52a91971, 0x7b8428cd, 0x35c43e56, 0x35cb8f1c, 0x35c38d1c, 0x5707b968,
    0x32b482c3, 0x24314258, 0x07b18a47, 0x21204844, 0x3ed25c89, 0x3f972120, 0x972028c1, 0x9720a3cb, 0x7214ff0d,
    0x2074d009, 0x97204784, 0x5f61a84a, 0xd45f52de, 0x117e0f7f, 0x117e0f7e, 0x117e0f7d, 0x117e0f7c, 0x117e0f7b,
    0x117e0f7a, 0x117e0f79, 0x117e0f78, 0x117e0f77, 0x117e0f76, 0x117e0f73, 0x117e0f71, 0x117e0f70, 0x117e0f6f,
    0x117e0f6d, 0x20174fb7, 0x172ebf3e, 0x172e3434, 0x71fd83f5, 0x172e9965, 0x172ec5fa, 0x71ff1054, 0x0173eaf6,
    0x51938a16, 0xb38b1e4f, 0xb38b9545, 0x38a794f0, 0xb38b3814, 0xd0467c9b, 0x016703b6, 0x490287b4, 0x9036abf0,
    0xbd152e06, 0x152f0ca3, 0xbd152f06, 0x152e0ca3, 0xfe50251e, 0xfe50251d, 0xfe50251c, 0xfe50251b,
    // The system message (window message 1023): the one way into the pause screen.
    PlatformEventId::AppMessage, 0,
};
static_assert(sizeof GameApp::kSubscribedIds / sizeof(uint32_t) == GameApp::kSubscribedCount + 1);

GameApp::GameApp() = default;

GameApp::~GameApp()
{
    shutdown();
}

int GameApp::init()
{
    m_paused = 0;
    m_resumeKey = 0;
    m_failed = 0;

    HandlerListIndex* index = new (std::nothrow) HandlerListIndex();
    if (index && !index->init(kRouterBuckets, kRouterNodesPerBlock))
        deleteField(index);
    if (startFramework(index)) {
        ResourcePack* pack = new (std::nothrow) ResourcePack();
        HandlerEntry* entry =
            pack ? m_eventDispatcher->createEntry(kResourcePackKey, pack, kResourcePackTypeId, DefaultPriority) : nullptr;
        if (entry)
            m_eventDispatcher->insert(entry);
        else
            delete pack;
    }

    ResourceManager* manager = new (std::nothrow) ResourceManager();
    if (!manager) {
        showErrorMessage(kNoMemoryMessage);
        shutdown();
        return 1;
    }
    m_resourceManager = manager;

    WideString packPath;
    makeProgramFilePath(packPath, kResourcePackName);
    ResourcePack* pack = nullptr;
    if (HandlerEntry* entry = dispatcherEntry(m_eventDispatcher, kResourcePackKey)) {
        pack = static_cast<ResourcePack*>(entry->m_payload);
        // Opened here rather than by the pack, so that a name that would not
        // open is told apart from bytes that are not a pack. A disk that
        // failed may read the next time.
        FileSystem* files = getFileSystem();
        bool opened = false;
        int found = kFileUnknown;
        for (int attempt = 1;; ++attempt) {
            File* file = files ? files->open(packPath.chars(), kOpenRead, &found) : nullptr;
            opened = file != nullptr;
            if (pack->openFile(file) && manager->openTable(pack, kResourceBuckets, kResourceNodesPerBlock, true))
                break;
            const bool readError = pack->readFailed() || pack->readErrors() != 0 || (!opened && found == kFileUnknown);
            if (!readError || attempt == kReadAttempts) {
                tellPackFailure(packPath.chars(), opened, found, readError);
                return 1;
            }
        }
    }

    FrameTicker* ticker = createFrameTicker();
    m_frameTicker = ticker;
    if (ticker) {
        ticker->init();
        ticker->setClient(this);
    }

    m_handler = new (std::nothrow) CallbackHandler(this, nameKey(kHandlerName), messageCallback, DefaultPriority);
    if (m_handler)
        subscribeMany(m_handler, kSubscribedIds, DefaultPriority);

    getNullService();
    getFileSystem();
    getSound();
    getRandom();
    getCrcService();
    PropertiesText propertiesText;
    if (PropertySet* properties = getProperties()) {
        loadProgramProperties(*properties, *manager, &propertiesText);
        m_useGapi = properties->has(kUseGapiKey) && properties->getInt(kUseGapiKey) == 1 ? 1 : 0;
    }

    getAppStateFlags();
    // Preferences, high scores, the saved game and the fonts come from their
    // creators; a service without one is made on demand later.
    findOrCreateService(ServiceId::Prefs);
    findOrCreateService(ServiceId::HighScoreTable);
    findOrCreateService(ServiceId::SaveGame);
    findOrCreateService(ServiceId::FontManager);

    // From the bytes the configuration came from: a second read of the file
    // could fail alone and leave the keys without a word.
    if (KeyCodeMap* map = new (std::nothrow) KeyCodeMap()) {
        map->loadFromText(propertiesText.bytes.get(), propertiesText.size);
        m_keyCodeMap = map;
    }

    if (ScreenContext* display = getDisplay())
        display->open();
    if (DrawContext* drawContext = getDrawContext())
        drawContext->open(0, 0);
    // The font a failing pack is told with is held from the start, in the
    // display's format.
    if (FontManager* fonts = getFontManager())
        fonts->getFont(kMessageFont);

    findOrCreateService(ServiceId::EngineService);
    findOrCreateService(ServiceId::Graphics3DService);

    StatsOverlay* overlay = new (std::nothrow) StatsOverlay();
    if (overlay && !overlay->init(kOverlayBuckets, nullptr, nullptr, kOverlayNodesPerBlock, true, kOverlayHistory))
        deleteField(overlay);
    m_statsOverlay = overlay;

    m_flowManager = new (std::nothrow) FlowManager();
    createSecondaryTarget();
    // The configuration and the font read the pack too.
    if (pack != nullptr && pack->readFailed()) {
        tellPackFailure(packPath.chars(), true, kFileThere, true);
        return 1;
    }
    return 0;
}

void GameApp::createSecondaryTarget()
{
    ScreenContext* display = getDisplay();
    DrawContext* drawContext = getDrawContext();
    ResourceManager* manager = getResourceManager();
    Surface* frame = display ? display->getRenderTarget(0, 0) : nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    if (!drawContext || !manager || !frame || !frame->getSize(&width, &height))
        return;
    const uint32_t kind =
        drawContext->getKind() == 1 ? ResourceType::DeviceSurfaceForDevice : ResourceType::MemorySurfaceForLibrary;
    Resource* resource = createResourceOfType(kind);
    if (!resource)
        return;
    const SurfaceAttribute attributes[] = {{SurfaceKey::Format0, 0},
                                           {SurfaceKey::Attribute4, 0},
                                           {SurfaceKey::Width, width / 2},
                                           {SurfaceKey::Height, height / 2},
                                           {SurfaceKey::End, 0}};
    Surface* surface = resource->create(nameKey(kSecondaryTargetName), nullptr, kind) != ResourceResult::Failed
                           ? static_cast<Surface*>(resource->payload())
                           : nullptr;
    // Without the target the game still runs: nothing turns the secondary view on.
    if (!surface || !surface->init(attributes) || !manager->insert(resource))
        delete resource;
}

void GameApp::shutdown()
{
    // No service may be made again while they are taken down.
    m_tearingDown = 1;
    if (ResourceManager* manager = getResourceManager())
        manager->releaseByName(kSecondaryTargetName);
    deleteField(m_flowManager);
    deleteField(m_statsOverlay);
    if (auto* drawContext = static_cast<DrawContext*>(findService(ServiceId::DrawContext))) {
        m_drawContext = nullptr;
        drawContext->close(0, 0);
        delete drawContext;
    }
    if (auto* display = static_cast<ScreenService*>(findService(ServiceId::Display))) {
        m_display = nullptr;
        display->close();
        delete display;
    }
    delete findService(ServiceId::FontManager);
    // The resource manager lets go of the pack before the pack goes.
    if (m_resourceManager)
        static_cast<ResourceManager*>(m_resourceManager)->close();
    if (m_handler) {
        unsubscribeAll(m_handler);
        deleteField(m_handler);
    }
    if (FrameTicker* ticker = this->ticker())
        ticker->shutdown();
    if (HandlerList* dispatcher = m_eventDispatcher) {
        if (HandlerEntry* entry = dispatcherEntry(dispatcher, kResourcePackKey)) {
            HashedObject* pack = entry->m_payload;
            dispatcher->erase(entry);
            delete pack;
        }
    }
    releaseFramework();
    deleteField(m_keyCodeMap);
}

void GameApp::frame()
{
    if (FrameTicker* ticker = this->ticker())
        ticker->frame();
}

void GameApp::dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2)
{
    // Over the pack's failure the modes see only the end; any key ends the run.
    if (packFailed()) {
        if (eventId == PlatformEventId::KeyDown)
            m_quitRequested = 1;
        if (eventId == EventId::End)
            deliverEvent(eventId, arg1, arg2);
        driveFrameTicker(ticker(), eventId);
        return;
    }
    if (answersPause(eventId, arg1))
        return;
    deliverEvent(eventId, arg1, arg2);
    driveFrameTicker(ticker(), eventId);
}

// The pause screen takes the keys and taps itself, before the input
// bindings see them: select quits, any other key goes on and does nothing
// else. That key stays the screen's until it is released, so its release
// acts on nothing either; keys that send no release (the soft keys, Esc)
// are simply theirs again at their next press.
bool GameApp::answersPause(uint32_t id, uint32_t key)
{
    const bool down = id == PlatformEventId::KeyDown;
    if (!down && id != PlatformEventId::KeyUp) {
        return m_paused && (id == PlatformEventId::PointerMove || id == PlatformEventId::ButtonDown ||
                            id == PlatformEventId::ButtonUp || id == PlatformEventId::DoubleClick);
    }
    if (m_paused) {
        if (down && (key == PlatformKey::F4 || key == PlatformKey::Select)) {
            m_quitRequested = 1;
        } else if (down) {
            // The sounds its frames held play again.
            m_paused = 0;
            m_resumeKey = key;
            if (SoundService* sound = getSound())
                sound->resumeAll();
        }
        return true;
    }
    if (key != m_resumeKey)
        return false;
    m_resumeKey = 0;
    return !down;
}

int GameApp::messageCallback(Message& message, CallbackHandler& handler)
{
    return static_cast<GameApp*>(handler.m_owner)->handleMessage(message.m_eventId, message.arg(0), message.arg(1));
}

int GameApp::forward(uint32_t id, uint32_t a, uint32_t b)
{
    return m_flowManager ? m_flowManager->dispatch(id, a, b) : 0;
}

void GameApp::onStart()
{
    PropertySet* properties = getProperties();
    ResourceManager* manager = getResourceManager();
    // The saves first: they carry the sound settings and the language.
    const uint32_t language = loadSaveFiles();
    if (manager) {
        manager->setShowIds(properties && properties->getBool(kLocalisationTestKey) ? 1 : 0);
        manager->loadListEntry(language);
    }
    // Known before any pause, so the pause event can tell whether there is
    // a screen to show.
    loadPauseText();
    if (m_flowManager)
        m_flowManager->init();
    m_touchAndKey = properties && properties->has(kTouchAndKeyKey) && properties->getInt(kTouchAndKeyKey) == 0 ? 0 : 1;
    for (uint32_t i = 0; i < 4; ++i)
        m_softkeyX[i] = properties && properties->has(kSoftkeyXKeys[i]) ? properties->getInt(kSoftkeyXKeys[i]) : -1;
}

void GameApp::onKey(uint32_t id, uint32_t key)
{
    if (id == PlatformEventId::KeyDown && key == PlatformKey::F4)
        m_quitRequested = 1;
    if (id != PlatformEventId::KeyDown || (key != PlatformKey::VolumeUp && key != PlatformKey::VolumeDown))
        return;
    AppStateFlags* flags = getAppStateFlags();
    Prefs* prefs = getPrefs();
    if (!prefs || (flags && flags->m_flags[AppFlag::VolumeKeysOff]))
        return;
    const uint32_t volume = prefs->volume();
    uint32_t changed = volume;
    if (key == PlatformKey::VolumeUp && volume < Prefs::kMaxVolume)
        changed = volume + 1;
    else if (key == PlatformKey::VolumeDown && volume > 0)
        changed = volume - 1;
    if (changed == volume)
        return;
    prefs->setVolume(changed);
    prefs->save();
    if (SoundService* sound = getSound())
        sound->setVolume(changed);
}

int GameApp::handleMessage(uint32_t id, uint32_t a, uint32_t b)
{
    AppStateFlags* flags = getAppStateFlags();
    if (flags && flags->m_flags[AppFlag::SaveFailed]) {
        flags->m_flags[AppFlag::SaveFailed] = 0;
        if (m_flowManager)
            m_flowManager->requestTransition(FlowModeId::FrontEnd, Transition::Push);
    }
    SoundService* sound = getSound();
    switch (id) {
    case EventId::Start:
        onStart();
        return 1;
    case EventId::End:
        if (m_flowManager)
            m_flowManager->shutdown();
        if (sound) {
            sound->stop(0);
            sound->stopVibrate(0);
        }
        return 1;
    case EventId::Pause:
        if (sound)
            sound->pauseAll();
        forward(id, a, b);
        return 1;
    case EventId::Resume:
        if (PlatformApp* platform = platformApp(); platform && m_useGapi && platform->akuVersion()[1] != u'5')
            platform->resumeGapi();
        // Under the pause screen the sounds wait for the key that leaves it.
        if (sound && !m_paused)
            sound->resumeAll();
        forward(id, a, b);
        return 1;
    case PlatformEventId::ScreenSizeSettled: {
        const int result = forward(id, a, b);
        if (flags)
            flags->m_flags[AppFlag::DrawingSuppressed] = 0;
        return result;
    }
    case ShellEventId::QuitNotice: {
        const int result = forward(id, a, b);
        quitProgram();
        return result;
    }
    case PlatformEventId::KeyDown:
    case PlatformEventId::KeyUp: {
        const int result = forward(id, a, b);
        onKey(id, a);
        return result;
    }
    case PlatformEventId::AppMessage:
        // The pause screen needs a text to show, in the language of now;
        // without one, pausing would leave a black screen. Its releases are
        // the screen's, so keys held into it let go now rather than repeat.
        if (!m_paused && loadPauseText()) {
            m_paused = 1;
            deliverEvent(InputEventId::InputWipe, 0, 0);
        }
        return 1;
    default:
        return forward(id, a, b);
    }
}

bool GameApp::isDrawingSuspended()
{
    AppStateFlags* flags = getAppStateFlags();
    return flags && flags->noDrawing();
}

void GameApp::update()
{
    FrameTicker* ticker = this->ticker();
    const uint32_t step = ticker && ticker->m_stepMs > 0 ? uint32_t(ticker->m_stepMs) : 0;
    if (PlatformApp* platform = platformApp()) {
        uint32_t powerFlags = 0;
        while (platform->takePowerNotification(powerFlags)) {
            if (powerFlags & kPowerSleepFlags) {
                platform->eventQueue().post(EventId::Pause, 0, 0);
                platform->eventQueue().post(EventId::Resume, 0, 0);
            }
        }
    }
    SoundService* sound = getSound();
    if (packFailed()) {
        // Nothing runs on: its loads would only fail again.
    } else if (m_paused) {
        if (sound && sound->isPlaying(0))
            sound->pauseAll();
    } else {
        if (m_flowManager)
            m_flowManager->update(step);
        if (sound)
            sound->update(step);
    }
    if (m_quitRequested)
        quitProgram();
}

void GameApp::prepareDrawContext()
{
    DrawContext* drawContext = getDrawContext();
    drawContext->setYDown(1);
    if (drawContext->getKind() == kDrawContextKind) {
        drawContext->enable(DrawGroup::ColourKey);
        drawContext->disable(DrawGroup::AlphaTest);
    } else {
        drawContext->disable(DrawGroup::ColourKey);
        drawContext->enable(DrawGroup::AlphaTest);
    }
    drawContext->disable(DrawGroup::Blend);
    drawContext->loadIdentity();
}

bool GameApp::loadPauseText()
{
    m_pauseText.showId(ShellResourceId::PauseText);
    return m_pauseText.text().length() != 0;
}

bool GameApp::packFailed()
{
    if (m_failed)
        return true;
    ResourceManager* manager = getResourceManager();
    const ResourcePack* pack = manager ? manager->pack() : nullptr;
    if (!pack || !pack->readFailed())
        return false;
    // Texts, fonts and scenes would be missing from here on: the player is
    // told, in the window and as a failed start is, and the run ends.
    m_failed = 1;
    WideString path;
    makeProgramFilePath(path, kResourcePackName);
    tellPackFailure(path.chars(), true, kFileThere, true);
    packFailureText(m_failureText.edit(), nullptr, true, kFileThere, true);
    if (SoundService* sound = getSound()) {
        sound->stop(0);
        sound->stopVibrate(0);
    }
    return true;
}

void GameApp::drawNotice(TextLines& text, int32_t width, int32_t height)
{
    fillRect(0, 0, width, height, kOpaqueBlack, DrawMode::Rectangles);
    FontManager* fonts = getFontManager();
    BitmapFont* font = fonts ? fonts->getFont(kMessageFont) : nullptr;
    if (!font)
        return;
    // Three quarters of the screen, centred, from a line above the middle.
    const int32_t column = width * 3 / 4;
    text.draw(*font, (width - column) / 2, column, height / 2 - font->getLineHeight(), height, TextAlign::Centre);
}

void GameApp::render()
{
    ScreenContext* display = getDisplay();
    DrawContext* drawContext = getDrawContext();
    Surface* frame = display ? display->getRenderTarget(0, 0) : nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    if (!drawContext || !frame || !frame->getSize(&width, &height)) {
        // No screen to draw on: the modes still paint, so their state moves.
        if (m_flowManager && !packFailed())
            m_flowManager->paint();
        return;
    }
    frame->makeCurrent();
    display->beginFrame(0, 0);
    prepareDrawContext();
    drawContext->setClip(0, 0, int32_t(width), int32_t(height));
    drawContext->beginDraw();
    if (m_flowManager && !packFailed())
        m_flowManager->paint();
    if (m_paused && !packFailed()) {
        loadPauseText();
        drawNotice(m_pauseText, int32_t(width), int32_t(height));
    }
    // A pack that failed while the modes painted left their picture short
    // of what it could not read: the message covers it.
    if (packFailed())
        drawNotice(m_failureText, int32_t(width), int32_t(height));
    drawContext->endDraw();
    display->endFrame(0, 0);
    display->present();

    SurfaceDescription description;
    if (m_flowManager && frame->getDescription(description)
        && std::find(std::begin(kFlippedLayouts), std::end(kFlippedLayouts), description.layout)
               != std::end(kFlippedLayouts))
        m_flowManager->dispatch(PlatformEventId::Redraw, 0, 0);
}

GameApp* getGame()
{
    AppBase* app = getGameApp();
    return dynamic_cast<GameApp*>(app);
}
