// A mode holding up to ten child modes: events go to the active (top) mode
// or, for the lifecycle ids, to all; painting runs bottom to top; the stack
// changes only at the start of an update, through one pending request.
#pragma once

#include "game/shell/GameMode.h"

class ModeStack : public GameMode {
public:
    static constexpr uint32_t kMaxModes = 10;

    explicit ModeStack(uint32_t typeId = TypeId::ModeStack) : GameMode(typeId) {}
    ~ModeStack() override;

    int enter() override { return init(); }
    void exit() override { clear(); }
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override { return dispatch(id, a, b); }
    int update(uint32_t ms) override;
    int paint() override;

    // A new mode for the id, or null; the result is 0.
    virtual int createMode(int32_t id, GameMode** out);
    // The active mode reported a result.
    virtual void onModeResult(int32_t /*id*/, GameMode* /*mode*/) {}

    int init();
    // Applied at the next update; a later request replaces this one.
    void requestTransition(int32_t id, int32_t kind);
    GameMode* findMode(int32_t id) const;
    // 1 for a null mode or a full stack; else the mode's enter result.
    int pushMode(int32_t id, GameMode* mode);
    int pushNew(int32_t id);
    void pop();
    int popTo(int32_t id);
    void clear();
    int dispatch(uint32_t id, uint32_t a, uint32_t b);

    uint32_t count() const { return m_count; }
    int32_t idAt(uint32_t i) const { return i < m_count ? m_entries[i].id : 0; }
    GameMode* modeAt(uint32_t i) const { return i < m_count ? m_entries[i].mode : nullptr; }
    GameMode* activeMode() const { return m_active; }
    int32_t activeId() const { return m_activeId; }

private:
    struct Entry {
        int32_t id;
        GameMode* mode;
    };

    bool holds(const GameMode* mode) const;
    // Makes the top active; after a push the new top is skipped, as its
    // enter follows.
    void activateTop(bool afterPush);
    void applyPending();

    Entry m_entries[kMaxModes] = {};
    uint32_t m_count = 0;
    int32_t m_pendingId = 0;
    int32_t m_pendingKind = Transition::None;
    GameMode* m_active = nullptr;
    int32_t m_activeId = 0;
};
