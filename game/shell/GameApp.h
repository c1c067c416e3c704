// The game's application object: start-up of every service in a fixed order,
// event delivery to the flow of modes, the frame (timed tasks, update,
// render) and the ordered shutdown. The platform makes one per run.
#pragma once

#include <cstdint>

#include "framework/events/FrameTicker.h"
#include "framework/services/AppBase.h"
#include "game/shell/TextRun.h"

class CallbackHandler;
class FlowManager;
class Message;

class GameApp : public AppBase, public TickClient {
public:
    // The 72 ids the "GameApp" handler subscribes to, 0-terminated.
    static const uint32_t kSubscribedIds[];
    static constexpr uint32_t kSubscribedCount = 72;

    GameApp();
    ~GameApp() override;

    // 0 on success, 1 on failure.
    int init() override;
    // Safe to call more than once, and after a failed init.
    void shutdown() override;
    void frame() override;
    // Delivers the event to its handlers, then lets the ticker react.
    void dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2) override;

    void update() override;
    void render() override;
    bool isDrawingSuspended() override;

    int handleMessage(uint32_t id, uint32_t a, uint32_t b);
    static int messageCallback(Message& message, CallbackHandler& handler);

    FlowManager* flowManager() const { return m_flowManager; }
    FrameTicker* ticker() const { return static_cast<FrameTicker*>(m_frameTicker); }

    CallbackHandler* m_handler = nullptr;
    FlowManager* m_flowManager = nullptr;
    uint8_t m_touchAndKey = 1;
    uint8_t m_quitRequested = 0;
    // Left and right soft-key label x in portrait, then in landscape; -1 unset.
    int32_t m_softkeyX[4] = {-1, -1, -1, -1};
    uint8_t m_paused = 0;
    // The pause screen's text of the current language, laid out.
    TextLines m_pauseText;
    // The key that left the pause screen, until its release; 0 for none.
    uint32_t m_resumeKey = 0;
    // What the window says once the pack failed a read for good.
    TextLines m_failureText;

private:
    void prepareDrawContext();
    // True when the current language has a pause text.
    bool loadPauseText();
    // True once the pack failed a read for good; the first time, tells it.
    bool packFailed();
    // The text on black, centred in three quarters of the screen from a line
    // above the middle: the pause screen and the pack's failure.
    void drawNotice(TextLines& text, int32_t width, int32_t height);
    void createSecondaryTarget();
    void onStart();
    // True when the pause screen took the event for itself.
    bool answersPause(uint32_t id, uint32_t key);
    void onKey(uint32_t id, uint32_t key);
    int forward(uint32_t id, uint32_t a, uint32_t b);
};

// The running game application, or null.
GameApp* getGame();
