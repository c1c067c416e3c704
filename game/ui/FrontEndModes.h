// The top-level modes the flow manager makes (start-up, front end, main
// menu) and the options stack the menus push: each is a stack of UI pages
// made by page id, reacting to the page that finished.
#pragma once

#include <cstdint>

#include "game/shell/ModeStack.h"

// Texts of the front-end pages, in the pack.
namespace FrontEndText {
constexpr uint32_t No = 0x21ff02a0;
constexpr uint32_t Yes = 0x21ff0249;
constexpr uint32_t SoundQuestion = 0x21ff013b;
constexpr uint32_t DamagedTitle = 0x21ff02a9;
constexpr uint32_t DamagedText = 0x21ff0106;
// A save file is there but could not be read: it is kept, and not saved over.
constexpr uint32_t UnreadableText = 0x21ff7e04;
constexpr uint32_t SystemMenu = 0x21ff0293;
constexpr uint32_t Resume = 0x21ff0217;
constexpr uint32_t About = 0x21ff0131;
constexpr uint32_t Options = 0x21ff01e5;
constexpr uint32_t SaveGame = 0x21ff01a4;
constexpr uint32_t Quit = 0x21ff0242;
constexpr uint32_t AboutTitle = 0x21ff018f;
constexpr uint32_t AboutText = 0x21ff0147;
constexpr uint32_t QuitQuestion = 0x21ff023c;
constexpr uint32_t OverwriteTitle = 0x21ff0113;
constexpr uint32_t OverwriteText = 0x21ff02ac;
constexpr uint32_t SavedTitle = 0x21ff022e;
constexpr uint32_t SavedText = 0x21ff0252;
constexpr uint32_t ErrorTitle = 0x21ff01ba;
constexpr uint32_t ErrorText = 0x21ff0289;
constexpr uint32_t ScoreTitle = 0x21ff01f7;
constexpr uint32_t ScoreText = 0x21ff0260;
constexpr uint32_t NameTitle = 0x21ff01b3;
constexpr uint32_t NamePrompt = 0x21ff0119;
constexpr uint32_t HighScores = 0x21ff0151;
constexpr uint32_t OptionsTitle = 0x21ff0190;
// The soft keys' labels.
constexpr uint32_t SoftOk = 434;
constexpr uint32_t SoftBack = 481;
} // namespace FrontEndText

// What the menus need of the running game, which lives above them: the game
// installs these. Without them there is no game to launch and no saved game
// to write.
struct FrontEndHooks {
    // The page that runs the game (the main menu's page 10).
    GameMode* (*makeLaunchPage)() = nullptr;
    // Flags the saved game of the launch page's game and writes it; true
    // when written.
    bool (*writeSavedGame)(GameMode* launch) = nullptr;
};

// A mode stack of pages: the page's result is read once, then cleared.
class PageStack : public ModeStack {
public:
    void onModeResult(int32_t id, GameMode* page) override;

protected:
    virtual void onPageResult(int32_t id, GameMode* page, uint32_t result) = 0;
    void replace(int32_t id) { requestTransition(id, Transition::Replace); }
    void push(int32_t id) { requestTransition(id, Transition::Push); }
    void popPage() { requestTransition(0, Transition::Pop); }
    // The margins of the menus' pages.
    bool m_margins = false;
};

class StartupMode : public PageStack {
public:
    int enter() override;
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override;
    int createMode(int32_t id, GameMode** out) override;

protected:
    void onPageResult(int32_t id, GameMode* page, uint32_t result) override;
};

class OptionsMode : public PageStack {
public:
    explicit OptionsMode(bool inGame = false) { m_margins = inGame; }
    int enter() override;
    int createMode(int32_t id, GameMode** out) override;

protected:
    void onPageResult(int32_t id, GameMode* page, uint32_t result) override;
};

class MainMenuMode : public PageStack {
public:
    MainMenuMode() { m_margins = true; }
    int enter() override;
    int createMode(int32_t id, GameMode** out) override;

    // The page that runs the game, or null while none is on the stack.
    GameMode* launchPage() const;

protected:
    void onPageResult(int32_t id, GameMode* page, uint32_t result) override;

private:
    // Page 16 when the game is running and its save was written, else 17.
    int32_t saveOutcomePage();
};

class FrontEndMode : public PageStack {
public:
    int enter() override;
    int createMode(int32_t id, GameMode** out) override;

protected:
    void onPageResult(int32_t id, GameMode* page, uint32_t result) override;
};

// Makes these the flow manager's modes, reaching the game through the hooks.
void installFrontEnd(const FrontEndHooks& hooks);
