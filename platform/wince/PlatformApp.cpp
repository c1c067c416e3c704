// The run loop and the translation of window messages into events.
#include "platform/wince/PlatformApp.h"

#include "framework/events/Event.h"
#include "framework/properties/PropertySet.h"
#include "framework/services/AppBase.h"
#include "platform/host/HostFile.h"
#include "platform/host/HostGapi.h"
#include "platform/host/HostKeys.h"
#include "platform/host/HostMsgQueue.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostSystem.h"
#include "platform/host/LastError.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformEvents.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/PlatformSystem.h"

#include <cstring>
#include <new>

namespace {

PlatformAppBase* g_platformApp = nullptr;

constexpr char16_t kTitle[] = u"Pennyfall";
constexpr char16_t kLogName[] = u".\\Pennyfall-log.txt";
constexpr char16_t kPowerQueueName[] = u"powerMsgQueue";
constexpr char16_t kVersionsKey[] = u"SYSTEM\\Versions";
constexpr char16_t kAkuValue[] = u"AKU";

// SHFullScreen: hide, then show again, the task bar, input-panel button and
// start icon.
constexpr DWORD kFullScreenHide = SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON;
constexpr DWORD kFullScreenShow = SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON | SHFS_SHOWSTARTICON;

constexpr DWORD kPowerQueueMaxMessage = 1024;
constexpr DWORD kPowerMask = PBT_TRANSITION | PBT_POWERINFOCHANGE;

// Native keys the built-in table passes on unchanged.
constexpr uint32_t kVkLinefeed = 10;
constexpr uint32_t kVkPause = 19;
constexpr uint32_t kVk129 = 129;

// Positions are signed 16-bit words: a stylus dragged past the left or top
// edge reports small negative values, not ones near 65535.
int32_t pointerX(LPARAM lParam)
{
    return static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(lParam)));
}

int32_t pointerY(LPARAM lParam)
{
    return static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(lParam)));
}

uint32_t packPointer(int32_t x, int32_t y)
{
    return (static_cast<uint32_t>(x) & 0xffff) | (static_cast<uint32_t>(y) << 16);
}

} // namespace

PlatformAppBase::PlatformAppBase()
{
    g_platformApp = this;
}

PlatformAppBase::~PlatformAppBase()
{
    if (g_platformApp == this)
        g_platformApp = nullptr;
}

PlatformAppBase* getPlatformApp()
{
    return g_platformApp;
}

PlatformApp::PlatformApp(HINSTANCE instance)
    : m_instance(instance),
      m_logFile(INVALID_HANDLE_VALUE),
      m_width(GetSystemMetrics(SM_CXSCREEN)),
      m_height(GetSystemMetrics(SM_CYSCREEN))
{
    setPlatformSystem(nullptr);
    setGameApp(nullptr);
    readAkuVersion();
}

PlatformApp::~PlatformApp()
{
    closeLog();
}

void PlatformApp::readAkuVersion()
{
    // A missing value leaves the text empty, which reads as "not AKU 5".
    std::memset(m_akuVersion, 0, sizeof m_akuVersion);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVersionsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD size = sizeof m_akuVersion;
    if (RegQueryValueExW(key, kAkuValue, nullptr, &type, reinterpret_cast<BYTE*>(m_akuVersion), &size) != ERROR_SUCCESS)
        std::memset(m_akuVersion, 0, sizeof m_akuVersion);
    RegCloseKey(key);
}

bool PlatformApp::usesGapi() const
{
    AppBase* app = getGameApp();
    return app && app->m_useGapi && m_akuVersion[1] != u'5';
}

int PlatformApp::takePowerNotification(uint32_t& flags)
{
    if (!m_powerQueue)
        return 0;
    // A power broadcast: type, then flags, then a name; larger messages are
    // read whole and ignored past the flags.
    uint32_t message[kPowerQueueMaxMessage / sizeof(uint32_t)] = {};
    DWORD read = 0;
    DWORD queueFlags = 0;
    if (!ReadMsgQueue(m_powerQueue, message, kPowerQueueMaxMessage, &read, 0, &queueFlags))
        return 0;
    flags = read >= 2 * sizeof(uint32_t) ? message[1] : 0;
    return 1;
}

void PlatformApp::resumeGapi()
{
    GXResume();
}

int PlatformApp::createWindow()
{
    m_window = CreateWindowExW(WS_EX_NODRAG, kTitle, kTitle, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, m_width,
        m_height, nullptr, nullptr, m_instance, nullptr);
    if (!m_window)
        return 0;
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    SHFullScreen(m_window, kFullScreenHide);
    MoveWindow(m_window, 0, 0, m_width, m_height, TRUE);
    return 1;
}

bool PlatformApp::startUp()
{
    // Each failure says why the game stops; the game tells its own.
    if (!createWindow()) {
        showErrorMessage(u"The game's window could not be made. Start the game again.");
        return false;
    }

    installPlatformServices();
    setPlatformSystem(new (std::nothrow) PlatformSystem());
    AppBase* app = createGameApp();
    setGameApp(app);
    if (!getPlatformSystem() || !app) {
        showErrorMessage(kNoMemoryMessage);
        return false;
    }

    if (app->init() != 0)
        return false;
    if (!AllKeys(TRUE) || !AllKeys(FALSE)) {
        showErrorMessage(u"The game could not take the keys. Start the game again.");
        return false;
    }

    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    if (usesGapi()) {
        m_gapiDisplayOpen = GXOpenDisplay(m_window, GX_FULLSCREEN) != 0;
        if (m_gapiDisplayOpen)
            m_gapiInputOpen = GXOpenInput() != 0;
        if (!m_gapiDisplayOpen || !m_gapiInputOpen) {
            showErrorMessage(u"The game could not take the screen and keys. Start the game again.");
            return false;
        }
    }

    MSGQUEUEOPTIONS options{};
    options.dwSize = sizeof options;
    options.dwFlags = 0;
    options.dwMaxMessages = 0;
    options.cbMaxMessage = kPowerQueueMaxMessage;
    options.bReadAccess = TRUE;
    m_powerQueue = CreateMsgQueue(kPowerQueueName, &options);
    if (m_powerQueue)
        m_powerNotifications = RequestPowerNotifications(m_powerQueue, kPowerMask);

    m_events.post(PlatformEventId::RunStart, 0, 0);
    startTimer();
    return true;
}

void PlatformApp::runLoop()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PlatformApp::endSequence()
{
    if (m_gapiDisplayOpen) {
        GXCloseDisplay();
        m_gapiDisplayOpen = 0;
    }
    if (m_gapiInputOpen) {
        GXCloseInput();
        m_gapiInputOpen = 0;
    }
    // Notifications go first: they write into the queue.
    if (m_powerNotifications) {
        StopPowerNotifications(m_powerNotifications);
        m_powerNotifications = nullptr;
    }
    if (m_powerQueue) {
        CloseMsgQueue(m_powerQueue);
        m_powerQueue = nullptr;
    }
    if (m_window)
        SHFullScreen(m_window, kFullScreenShow);
    AppBase* app = getGameApp();
    if (app)
        app->shutdown();
    delete getPlatformSystem();
    setPlatformSystem(nullptr);
    delete app;
    setGameApp(nullptr);
    m_events.clear();
}

int PlatformApp::run()
{
    int result = 1;
    if (startUp()) {
        runLoop();
        stopTimer();
        m_events.post(PlatformEventId::RunEnd, 0, 0);
        processEvents();
        const AppBase* app = getGameApp();
        result = app && app->m_failed ? 1 : 0;
    }
    endSequence();
    return result;
}

void PlatformApp::processEvents()
{
    AppBase* app = getGameApp();
    if (!app)
        return;
    // A handler or the frame can deactivate the window synchronously, which
    // comes back here from WM_ACTIVATE. That inner call delivers only what is
    // still undelivered (the pause) and leaves the reset and the one frame to
    // the outermost call. Events posted during delivery join the same pass.
    ++m_deliveryDepth;
    Event event;
    while (m_events.takeNext(&event))
        app->dispatch(event.id, event.arg1, event.arg2);
    if (m_deliveryDepth == 1) {
        m_events.resetCount();
        app->frame();
        m_redrawPending = 0;
    }
    --m_deliveryDepth;
}

uint32_t PlatformApp::mapKey(uint32_t nativeKey)
{
    if (const uint32_t mapped = lookupGameKeyCode(nativeKey))
        return mapped;
    switch (nativeKey) {
    case VK_BACK:
    case VK_ESCAPE:
        return PlatformKey::Back;
    case VK_RETURN:
        return PlatformKey::Select;
    case VK_LEFT:
        return PlatformKey::Left;
    case VK_UP:
        return PlatformKey::Up;
    case VK_RIGHT:
        return PlatformKey::Right;
    case VK_DOWN:
        return PlatformKey::Down;
    case VK_F1:
        return PlatformKey::SoftLeft;
    case VK_F2:
        return PlatformKey::SoftRight;
    case VK_F3:
        return PlatformKey::F3;
    case VK_F4:
        return PlatformKey::F4;
    case VK_F6:
        return PlatformKey::VolumeUp;
    case VK_F7:
        return PlatformKey::VolumeDown;
    case VK_F8:
        return PlatformKey::Star;
    case VK_F9:
        return PlatformKey::Hash;
    case kVk129:
        return PlatformKey::Key129;
    case VK_TAB:
    case kVkLinefeed:
    case kVkPause:
        return nativeKey;
    default:
        // Digits and the rest of printable ASCII stand for themselves; any
        // other key is still a key press.
        if (nativeKey >= 32 && nativeKey <= 127)
            return nativeKey;
        return nativeKey != 0 && nativeKey <= 0xFF ? PlatformKey::Unlisted + nativeKey : PlatformKey::None;
    }
}

bool pixelDoublingOn()
{
    PropertySet* properties = getProperties();
    return properties && properties->has("PIXEL_DOUBLING") && properties->getInt("PIXEL_DOUBLING") == 1;
}

void PlatformApp::scalePointer(int32_t& x, int32_t& y)
{
    if (pixelDoublingOn()) {
        x >>= 1;
        y >>= 1;
    }
}

void PlatformApp::startTimer()
{
    SetTimer(m_window, kTimerId, kFrameMs, nullptr);
    m_timerRunning = 1;
}

void PlatformApp::stopTimer()
{
    KillTimer(m_window, kTimerId);
    m_timerRunning = 0;
}

void PlatformApp::postPointer(uint32_t eventId, uint32_t button, LPARAM lParam)
{
    int32_t x = pointerX(lParam);
    int32_t y = pointerY(lParam);
    scalePointer(x, y);
    m_events.post(eventId, button, packPointer(x, y));
}

void PlatformApp::onActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        if (m_active) {
            stopTimer();
            m_events.post(PlatformEventId::Pause, 0, 0);
            processEvents();
        }
        m_active = 0;
    } else {
        if (!m_active) {
            m_events.post(PlatformEventId::Resume, 0, 0);
            startTimer();
        } else {
            m_events.post(PlatformEventId::Redraw, 0, 0);
        }
        m_active = 1;
    }
    SHHandleWMActivate(window, wParam, lParam, &m_activateInfo, 0);
}

// The soft keys and Esc send their one key-down on release, so a "back" or a
// soft-key press fires once, not once per edge.
void PlatformApp::onKeyDown(WPARAM wParam, LPARAM lParam)
{
    const uint32_t nativeKey = static_cast<uint32_t>(wParam & 0xffff);
    if ((lParam & KEY_PREVIOUS_DOWN) || nativeKey == VK_F1 || nativeKey == VK_F2 || nativeKey == VK_ESCAPE)
        return;
    const uint32_t key = mapKey(nativeKey);
    if (key == PlatformKey::None || key == PlatformKey::SoftLeft || key == PlatformKey::SoftRight)
        return;
    m_events.post(PlatformEventId::KeyDown, key, 0);
}

void PlatformApp::onKeyUp(WPARAM wParam, LPARAM lParam)
{
    if (!(lParam & KEY_PREVIOUS_DOWN))
        return;
    const uint32_t nativeKey = static_cast<uint32_t>(wParam & 0xffff);
    if (nativeKey == VK_F4)
        PostQuitMessage(0);
    const uint32_t key = mapKey(nativeKey);
    if (key == PlatformKey::None)
        return;
    if (key == PlatformKey::SoftLeft || key == PlatformKey::SoftRight || nativeKey == VK_ESCAPE)
        m_events.post(PlatformEventId::KeyDown, key, 0);
    else
        m_events.post(PlatformEventId::KeyUp, key, 0);
}

int PlatformApp::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
        PostQuitMessage(0);
        return 1;
    case WM_ACTIVATE:
        onActivate(window, wParam, lParam);
        return 0;
    case WM_SETFOCUS:
        // Our window is in front already, so this asks for no new activation.
        SetForegroundWindow(window);
        SHFullScreen(window, kFullScreenHide);
        MoveWindow(window, 0, 0, m_width, m_height, TRUE);
        return 0;
    case WM_KILLFOCUS:
        SHFullScreen(window, kFullScreenShow);
        if (m_gapiDisplayOpen)
            GXSuspend();
        return 0;
    case WM_PAINT:
        if (!m_redrawPending) {
            m_events.post(PlatformEventId::Redraw, 0, 0);
            m_redrawPending = 1;
        }
        ValidateRect(window, nullptr);
        return 1;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) {
            m_width = GetSystemMetrics(SM_CXSCREEN);
            m_height = GetSystemMetrics(SM_CYSCREEN);
            m_events.post(PlatformEventId::ScreenSizeChanged, 0, 0);
            m_events.post(PlatformEventId::ScreenSizeSettled, 0, 0);
            m_events.post(PlatformEventId::Redraw, 0, 0);
        }
        SHHandleWMSettingChange(window, wParam, lParam, &m_activateInfo);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        RECT client;
        if (GetClientRect(window, &client)) {
            m_width = client.right - client.left;
            m_height = client.bottom - client.top;
        }
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE);
        return 1;
    }
    case WM_KEYDOWN:
        onKeyDown(wParam, lParam);
        return 1;
    case WM_KEYUP:
        onKeyUp(wParam, lParam);
        return 1;
    case WM_TIMER:
        if (!m_timerRunning)
            return 1;
        processEvents();
        // A deactivation during the frame stopped the timer; it stays stopped.
        if (m_timerRunning)
            startTimer();
        return 1;
    case WM_HSCROLL:
    case WM_VSCROLL:
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE);
        return 1;
    case WM_MOUSEMOVE: {
        const uint32_t buttons =
            ((wParam & MK_LBUTTON) ? 1u : 0u) | ((wParam & MK_RBUTTON) ? 2u : 0u) | ((wParam & MK_MBUTTON) ? 4u : 0u);
        postPointer(PlatformEventId::PointerMove, buttons, lParam);
        return 0;
    }
    case WM_LBUTTONDOWN:
        postPointer(PlatformEventId::ButtonDown, 0, lParam);
        return 0;
    case WM_LBUTTONUP:
        postPointer(PlatformEventId::ButtonUp, 0, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        postPointer(PlatformEventId::DoubleClick, 0, lParam);
        return 0;
    case WM_RBUTTONDOWN:
        postPointer(PlatformEventId::ButtonDown, 1, lParam);
        return 0;
    case WM_RBUTTONUP:
        postPointer(PlatformEventId::ButtonUp, 1, lParam);
        return 0;
    case WM_RBUTTONDBLCLK:
        postPointer(PlatformEventId::DoubleClick, 1, lParam);
        return 0;
    case WM_MBUTTONDOWN:
        postPointer(PlatformEventId::ButtonDown, 2, lParam);
        return 0;
    case WM_MBUTTONUP:
        postPointer(PlatformEventId::ButtonUp, 2, lParam);
        return 0;
    case WM_MBUTTONDBLCLK:
        postPointer(PlatformEventId::DoubleClick, 2, lParam);
        return 0;
    case kAppMessage:
        static_assert(kAppMessage == kPhoneBackgroundMessage, "the stand-in sends the phone's message");
        m_events.post(PlatformEventId::AppMessage, 0, 0);
        return 1;
    default:
        return 0;
    }
}

int PlatformApp::openLog()
{
    m_logFile = CreateFileW(kLogName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
        nullptr);
    return m_logFile != INVALID_HANDLE_VALUE ? 1 : 0;
}

void PlatformApp::writeLog(const char* text)
{
    if (m_logFile == INVALID_HANDLE_VALUE || !text)
        return;
    DWORD written = 0;
    WriteFile(m_logFile, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    const char lineFeed = '\n';
    WriteFile(m_logFile, &lineFeed, 1, &written, nullptr);
}

void PlatformApp::closeLog()
{
    if (m_logFile == INVALID_HANDLE_VALUE)
        return;
    FlushFileBuffers(m_logFile);
    CloseHandle(m_logFile);
    m_logFile = INVALID_HANDLE_VALUE;
}
