// The platform application: it owns the full-screen window, creates the
// system services and the game, runs the message loop and turns window
// messages into events. A 30 ms timer drives the frames: on each timer
// message the queued events go to the game, one frame runs, and the timer is
// armed again, so frames are 30 ms apart plus the frame's own time.
#pragma once

#include "framework/events/EventQueue.h"
#include "platform/host/HostAygShell.h"
#include "platform/host/HostMessages.h"
#include "platform/host/HostWindow.h"

#include <cstdint>

// The program-wide platform application: set while one exists.
class PlatformAppBase {
public:
    PlatformAppBase();
    virtual ~PlatformAppBase();
    PlatformAppBase(const PlatformAppBase&) = delete;
    PlatformAppBase& operator=(const PlatformAppBase&) = delete;

    // The exit code: 0 after a normal run, 1 when start-up failed.
    virtual int run() = 0;
    // Nonzero when the message was handled.
    virtual int handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual int reserved() { return 0; }
};

PlatformAppBase* getPlatformApp();

// True when the properties ask for "PIXEL_DOUBLING" = 1: frames are drawn at
// half the screen's size and stretched, and pointer positions are halved.
bool pixelDoublingOn();

class PlatformApp : public PlatformAppBase {
public:
    static constexpr uintptr_t kTimerId = 1;
    static constexpr UINT kFrameMs = 30;
    // The registry's AKU text: 7 UTF-16 units; its second is tested for '5'.
    static constexpr uint32_t kAkuChars = 7;

    explicit PlatformApp(HINSTANCE instance);
    ~PlatformApp() override;

    int run() override;
    int handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // The full-screen window; 0 when it could not be made.
    int createWindow();
    // Delivers every queued event once (also those posted meanwhile), then
    // runs one frame; a nested call only delivers.
    void processEvents();
    // The game key of a native key: the game's key-code map, then the
    // built-in table; keys it does not list come as PlatformKey::Unlisted
    // plus their code, and 0 (no key) is dropped.
    uint32_t mapKey(uint32_t nativeKey);
    // Halves the position when the property "PIXEL_DOUBLING" is 1.
    void scalePointer(int32_t& x, int32_t& y);
    void startTimer();
    void stopTimer();

    // A log file ".\Pennyfall-log.txt"; nothing in the program uses it.
    int openLog();
    void writeLog(const char* text);
    void closeLog();

    // GAPI is used when the game asks for it, except on AKU 5 devices.
    bool usesGapi() const;
    // Takes one waiting power notification without blocking: 1 and its
    // flags word, or 0 when none waits.
    int takePowerNotification(uint32_t& flags);
    // Hands the display back to GAPI after a resume.
    void resumeGapi();

    EventQueue& eventQueue() { return m_events; }
    HANDLE powerQueue() const { return m_powerQueue; }
    const char16_t* akuVersion() const { return m_akuVersion; }
    HWND window() const { return m_window; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    bool isActive() const { return m_active != 0; }
    bool isTimerRunning() const { return m_timerRunning != 0; }

private:
    // Steps up to the loop; false sends run() straight to the end sequence.
    bool startUp();
    void runLoop();
    // Always runs, whatever start-up reached: each step is guarded.
    void endSequence();
    void readAkuVersion();
    void postPointer(uint32_t eventId, uint32_t button, LPARAM lParam);
    void onActivate(HWND window, WPARAM wParam, LPARAM lParam);
    void onKeyDown(WPARAM wParam, LPARAM lParam);
    void onKeyUp(WPARAM wParam, LPARAM lParam);

    HINSTANCE m_instance;
    HANDLE m_powerQueue = nullptr;
    HANDLE m_powerNotifications = nullptr;
    char16_t m_akuVersion[kAkuChars] = {};
    HANDLE m_logFile;
    HWND m_window = nullptr;
    int32_t m_width;
    int32_t m_height;
    uint8_t m_active = 1;
    uint8_t m_timerRunning = 0;
    uint8_t m_redrawPending = 0;
    // The end sequence closes only what start-up opened.
    uint8_t m_gapiDisplayOpen = 0;
    uint8_t m_gapiInputOpen = 0;
    // Nesting of processEvents: a deactivation can re-enter it.
    uint32_t m_deliveryDepth = 0;
    EventQueue m_events;
    SHACTIVATEINFO m_activateInfo = {};
};
