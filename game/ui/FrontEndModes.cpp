// The page flows of start-up, main menu, options and the front end's error.
#include "game/ui/FrontEndModes.h"

#include <new>

#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/services/AppStateFlags.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/SaveFiles.h"
#include "game/ui/UiPage.h"
#include "platform/wince/SoundDevice.h"

namespace {

FrontEndHooks g_hooks;

const uint32_t kYesNo[] = {FrontEndText::No, FrontEndText::Yes};
const uint32_t kSystemMenu[] = {FrontEndText::Resume, FrontEndText::About, FrontEndText::Options,
                                FrontEndText::SaveGame, FrontEndText::Quit};
constexpr uint32_t kOpaqueBlack = 0xff000000;
constexpr uint32_t kSplashStyle = 304;
constexpr uint32_t kSplashMs = 2000;
constexpr int32_t kMargin = 10;
constexpr uint32_t kLanguagesMax = ChoicePage::kMaxItems;
constexpr uint32_t kNameMin = 1;
constexpr uint32_t kNameMax = 5;

namespace StartupPage {
constexpr int32_t Language = 1;
constexpr int32_t Sound = 2;
constexpr int32_t Logo = 7;
constexpr int32_t Preload = 8;
constexpr int32_t Splash = 10;
constexpr int32_t Damaged = 11;
constexpr int32_t Unreadable = 12;
constexpr int32_t Unwritable = 13;
} // namespace StartupPage

namespace MenuPage {
constexpr int32_t Loading = 9;
constexpr int32_t Launch = 10;
constexpr int32_t System = 11;
constexpr int32_t Options = 12;
constexpr int32_t About = 13;
constexpr int32_t QuitQuestion = 14;
constexpr int32_t Overwrite = 15;
constexpr int32_t Saved = 16;
constexpr int32_t SaveError = 17;
constexpr int32_t Score = 18;
constexpr int32_t Name = 19;
constexpr int32_t InsertError = 20;
constexpr int32_t HighScores = 21;
} // namespace MenuPage

constexpr int32_t kOptionsPage = 1;
constexpr int32_t kOptionsError = 2;
constexpr int32_t kFrontEndPage = 10;

template <typename Page>
Page* makePage(uint32_t titleId, uint32_t left, uint32_t right, bool margins)
{
    Page* page = new (std::nothrow) Page(titleId);
    if (page) {
        page->setSoftkeys(left, right, 1, 1);
        if (margins)
            page->setMargins(kMargin, kMargin);
    }
    return page;
}

MessagePage* makeMessage(uint32_t titleId, uint32_t textId, uint32_t left, bool margins,
                         uint32_t right = FrontEndText::SoftBack)
{
    MessagePage* page = makePage<MessagePage>(titleId, left, right, margins);
    if (page)
        page->setTextId(textId);
    return page;
}

ChoicePage* makeYesNo(uint32_t titleId, uint32_t textId, uint32_t right, bool margins)
{
    ChoicePage* page = makePage<ChoicePage>(titleId, FrontEndText::SoftOk, right, margins);
    if (page) {
        page->setTextId(textId);
        page->setItemIds(kYesNo, 2);
    }
    return page;
}

bool saveDamaged()
{
    const SaveGame* game = getSaveGame();
    return game && game->m_damaged != 0;
}

// The notice after the given start-up page (the splash or a notice), in
// this order, each only when it holds; 0 when none is left.
int32_t nextNotice(int32_t after)
{
    if (after < StartupPage::Damaged && saveDamaged())
        return StartupPage::Damaged;
    if (after < StartupPage::Unreadable && unreadableSaveFiles())
        return StartupPage::Unreadable;
    if (after < StartupPage::Unwritable && unwritableSaveFiles())
        return StartupPage::Unwritable;
    return 0;
}

// The error page's text for a save that did not land: one refused because
// its file could not be read says so, not that writing failed.
uint32_t saveErrorText(const SaveFile* file)
{
    return file && file->m_unreadable ? FrontEndText::UnreadableText : FrontEndText::ErrorText;
}

bool savedGamePresent()
{
    const SaveGame* game = getSaveGame();
    return game && game->savedFlag() != 0;
}

bool savePrefs()
{
    Prefs* prefs = getPrefs();
    return prefs && prefs->save() != 0;
}

// The stored sound switch, written, and the device's.
void setSoundOn(bool on)
{
    if (Prefs* prefs = getPrefs()) {
        prefs->setSoundOn(on);
        prefs->save();
    }
    if (SoundService* sound = getSound())
        sound->setSoundEnabled(on);
}

uint32_t score()
{
    const AppStateFlags* flags = getAppStateFlags();
    return flags ? uint32_t(flags->m_score) : 0u;
}

bool scoreQualifies(uint32_t score)
{
    const HighScoreTable* table = getHighScoreTable();
    return table && table->qualifies(0, int32_t(score)) != 0;
}

// Names cross to the pages as wide characters; the table keeps UTF-16 units.
bool insertHighScore(const wchar_t* name, uint32_t score)
{
    HighScoreTable* table = getHighScoreTable();
    char16_t units[HighScoreTable::kNameUnits] = {};
    for (uint32_t i = 0; name && i + 1 < HighScoreTable::kNameUnits && name[i] != 0; ++i)
        units[i] = char16_t(name[i]);
    return table && table->insert(units, 0, int32_t(score)) != 0;
}

const wchar_t* lastHighScoreName()
{
    static wchar_t name[HighScoreTable::kNameUnits];
    const HighScoreTable* table = getHighScoreTable();
    const char16_t* units = table ? table->getLastName() : nullptr;
    for (uint32_t i = 0; i < HighScoreTable::kNameUnits; ++i)
        name[i] = units ? wchar_t(units[i]) : 0;
    return name;
}

} // namespace

void PageStack::onModeResult(int32_t id, GameMode* page)
{
    const uint32_t result = page->getResult();
    page->clearResult();
    onPageResult(id, page, result);
}

// --- Start-up ---------------------------------------------------------------

int StartupMode::enter()
{
    ModeStack::init();
    ResourceManager* resources = getResourceManager();
    push(resources && resources->languageCount() >= 2 ? StartupPage::Language : StartupPage::Sound);
    return 0;
}

int StartupMode::handleEvent(uint32_t id, uint32_t a, uint32_t b)
{
    if (id == ActionId::PlayQuit) {
        if (GameApp* game = getGame())
            game->m_quitRequested = 1;
        return 1;
    }
    // Start-up cannot be backed out of.
    if (id == ActionId::MenuBack || id == ActionId::SoftRight)
        return 1;
    return dispatch(id, a, b);
}

int StartupMode::createMode(int32_t id, GameMode** out)
{
    switch (id) {
    case StartupPage::Language: {
        ChoicePage* page = makePage<ChoicePage>(0, FrontEndText::SoftOk, 0, false);
        ResourceManager* resources = getResourceManager();
        if (page && resources) {
            const char16_t* names[kLanguagesMax] = {};
            const uint32_t count = resources->languageCount() < kLanguagesMax ? resources->languageCount() : kLanguagesMax;
            for (uint32_t i = 0; i < count; ++i)
                names[i] = resources->languageName(i);
            page->setItemTexts(names, count);
        }
        *out = page;
        break;
    }
    case StartupPage::Sound:
        *out = makeYesNo(0, FrontEndText::SoundQuestion, 0, false);
        break;
    case StartupPage::Logo:
        *out = new (std::nothrow) LogoPage();
        break;
    case StartupPage::Preload: {
        LoadingPage* page = new (std::nothrow) LoadingPage();
        if (page) {
            page->setTiming(ShellResourceId::PreloadList, 0);
            page->setAppearance(kOpaqueBlack);
        }
        *out = page;
        break;
    }
    case StartupPage::Splash: {
        SplashPage* page = new (std::nothrow) SplashPage();
        if (page)
            page->setup(kOpaqueBlack, kSplashStyle, kSplashMs);
        *out = page;
        break;
    }
    case StartupPage::Damaged:
        *out = makeMessage(FrontEndText::DamagedTitle, FrontEndText::DamagedText, FrontEndText::SoftOk, false, 0);
        break;
    case StartupPage::Unreadable:
        *out = makeMessage(FrontEndText::ErrorTitle, FrontEndText::UnreadableText, FrontEndText::SoftOk, false, 0);
        break;
    case StartupPage::Unwritable:
        *out = makeMessage(FrontEndText::ErrorTitle, FrontEndText::ErrorText, FrontEndText::SoftOk, false, 0);
        break;
    default:
        *out = nullptr;
        break;
    }
    return 0;
}

void StartupMode::onPageResult(int32_t id, GameMode* page, uint32_t result)
{
    const bool ok = result == PageResult::Ok;
    switch (id) {
    case StartupPage::Language:
        if (!ok)
            break;
        if (ResourceManager* resources = getResourceManager())
            resources->loadListEntry(static_cast<ChoicePage*>(page)->selected());
        replace(StartupPage::Sound);
        return;
    case StartupPage::Sound:
        if (!ok)
            break;
        {
            const bool on = static_cast<ChoicePage*>(page)->itemId(static_cast<ChoicePage*>(page)->selected()) == FrontEndText::Yes;
            setSoundOn(on);
        }
        replace(StartupPage::Logo);
        return;
    case StartupPage::Logo:
        if (ok)
            replace(StartupPage::Preload);
        else if (GameApp* game = getGame())
            game->m_quitRequested = 1;
        return;
    case StartupPage::Preload:
        if (!ok)
            break;
        replace(StartupPage::Splash);
        return;
    case StartupPage::Damaged:
        if (SaveGame* game = getSaveGame())
            game->lossTold();
        [[fallthrough]];
    case StartupPage::Splash:
    case StartupPage::Unreadable:
    case StartupPage::Unwritable:
        if (!ok)
            break;
        if (const int32_t notice = nextNotice(id))
            replace(notice);
        else
            setResult(1);
        return;
    default:
        return;
    }
    setResult(2);
}

// --- Options ----------------------------------------------------------------

int OptionsMode::enter()
{
    ModeStack::init();
    push(kOptionsPage);
    return 0;
}

int OptionsMode::createMode(int32_t id, GameMode** out)
{
    if (id == kOptionsPage)
        *out = makePage<OptionsPage>(FrontEndText::OptionsTitle, FrontEndText::SoftOk, FrontEndText::SoftBack, m_margins);
    else if (id == kOptionsError)
        *out = makeMessage(FrontEndText::ErrorTitle, saveErrorText(getPrefs()), 0, m_margins);
    else
        *out = nullptr;
    return 0;
}

void OptionsMode::onPageResult(int32_t id, GameMode*, uint32_t result)
{
    if (id == kOptionsPage && result == PageResult::Ok && !savePrefs())
        replace(kOptionsError);
    else
        setResult(id == kOptionsPage && result != PageResult::Ok ? 2 : 1);
}

// --- Main menu --------------------------------------------------------------

int MainMenuMode::enter()
{
    clear();
    ModeStack::init();
    push(MenuPage::Loading);
    return 0;
}

GameMode* MainMenuMode::launchPage() const
{
    return findMode(MenuPage::Launch);
}

int32_t MainMenuMode::saveOutcomePage()
{
    GameMode* launch = launchPage();
    return launch && g_hooks.writeSavedGame && g_hooks.writeSavedGame(launch) ? MenuPage::Saved : MenuPage::SaveError;
}

int MainMenuMode::createMode(int32_t id, GameMode** out)
{
    using namespace FrontEndText;
    *out = nullptr;
    switch (id) {
    case MenuPage::Loading: {
        LoadingPage* page = new (std::nothrow) LoadingPage();
        if (page)
            page->setAppearance(kOpaqueBlack);
        *out = page;
        break;
    }
    case MenuPage::Launch:
        *out = g_hooks.makeLaunchPage ? g_hooks.makeLaunchPage() : nullptr;
        break;
    case MenuPage::System: {
        if (SoundService* sound = getSound()) {
            sound->stop(0);
            sound->stopVibrate(0);
        }
        ChoicePage* page = makePage<ChoicePage>(SystemMenu, SoftOk, SoftBack, true);
        if (page)
            page->setItemIds(kSystemMenu, 5);
        *out = page;
        break;
    }
    case MenuPage::Options:
        *out = new (std::nothrow) OptionsMode(true);
        break;
    case MenuPage::About:
        *out = makeMessage(AboutTitle, AboutText, 0, true);
        break;
    case MenuPage::QuitQuestion:
        *out = makeYesNo(QuitQuestion, 0, SoftBack, true);
        break;
    case MenuPage::Overwrite:
        *out = makeMessage(OverwriteTitle, OverwriteText, SoftOk, true);
        break;
    case MenuPage::Saved:
        *out = makeMessage(SavedTitle, SavedText, 0, true);
        break;
    case MenuPage::SaveError:
        *out = makeMessage(ErrorTitle, saveErrorText(getSaveGame()), 0, true);
        break;
    case MenuPage::InsertError:
        *out = makeMessage(ErrorTitle, saveErrorText(getHighScoreTable()), 0, true);
        break;
    case MenuPage::Score: {
        MessagePage* page = makeMessage(ScoreTitle, ScoreText, SoftOk, false);
        if (page)
            page->setStateValueText(int32_t(score()));
        *out = page;
        break;
    }
    case MenuPage::Name: {
        NameEntryPage* page = makePage<NameEntryPage>(NameTitle, SoftOk, SoftBack, false);
        if (page) {
            page->setPromptId(NamePrompt);
            page->setLengthRange(kNameMin, kNameMax);
            page->setInitialText(lastHighScoreName());
        }
        *out = page;
        break;
    }
    case MenuPage::HighScores:
        *out = makePage<HighScorePage>(HighScores, 0, SoftBack, false);
        break;
    default:
        break;
    }
    return 0;
}

void MainMenuMode::onPageResult(int32_t id, GameMode* page, uint32_t result)
{
    const bool ok = result == PageResult::Ok;
    const uint32_t points = score();
    switch (id) {
    case MenuPage::Loading:
        ok ? replace(MenuPage::Launch) : push(MenuPage::System);
        break;
    case MenuPage::Launch:
        if (result == 1) {
            requestTransition(MenuPage::Score, Transition::ClearAndPush);
        } else if (result == 2) {
            page->handleEvent(kLevelMenuRequestId, 0, 0);
            page->clearResult();
        }
        break;
    case MenuPage::System: {
        if (!ok) {
            popPage();
            break;
        }
        const ChoicePage* menu = static_cast<const ChoicePage*>(page);
        switch (menu->itemId(menu->selected())) {
        case FrontEndText::Resume:
            popPage();
            break;
        case FrontEndText::About:
            push(MenuPage::About);
            break;
        case FrontEndText::Options:
            push(MenuPage::Options);
            break;
        case FrontEndText::Quit:
            push(MenuPage::QuitQuestion);
            break;
        case FrontEndText::SaveGame:
            push(savedGamePresent() ? MenuPage::Overwrite : saveOutcomePage());
            break;
        default:
            break;
        }
        break;
    }
    case MenuPage::QuitQuestion: {
        const ChoicePage* question = static_cast<const ChoicePage*>(page);
        if (ok && question->itemId(question->selected()) == FrontEndText::Yes)
            setResult(2);
        else
            popPage();
        break;
    }
    case MenuPage::Overwrite:
        ok ? replace(saveOutcomePage()) : popPage();
        break;
    case MenuPage::Options:
    case MenuPage::About:
    case MenuPage::Saved:
    case MenuPage::SaveError:
        popPage();
        break;
    case MenuPage::InsertError:
        replace(MenuPage::HighScores);
        break;
    case MenuPage::Score:
        if (!ok)
            push(MenuPage::System);
        else
            replace(scoreQualifies(points) ? MenuPage::Name : MenuPage::HighScores);
        break;
    case MenuPage::Name:
        if (!ok)
            push(MenuPage::System);
        else
            replace(insertHighScore(static_cast<NameEntryPage*>(page)->getText(), points) ? MenuPage::HighScores
                                                                                          : MenuPage::InsertError);
        break;
    case MenuPage::HighScores:
        setResult(1);
        break;
    default:
        break;
    }
}

// --- Front end --------------------------------------------------------------

int FrontEndMode::enter()
{
    clear();
    ModeStack::init();
    push(kFrontEndPage);
    return 0;
}

int FrontEndMode::createMode(int32_t id, GameMode** out)
{
    // Brought in by a saved game that did not land.
    *out = id == kFrontEndPage ? makeMessage(FrontEndText::ErrorTitle, saveErrorText(getSaveGame()), 0, false) : nullptr;
    return 0;
}

void FrontEndMode::onPageResult(int32_t, GameMode*, uint32_t)
{
    setResult(2);
}

void installFrontEnd(const FrontEndHooks& hooks)
{
    g_hooks = hooks;
    setFlowModeCreator(FlowModeId::Startup, []() -> GameMode* { return new (std::nothrow) StartupMode(); });
    setFlowModeCreator(FlowModeId::FrontEnd, []() -> GameMode* { return new (std::nothrow) FrontEndMode(); });
    setFlowModeCreator(FlowModeId::MainMenu, []() -> GameMode* { return new (std::nothrow) MainMenuMode(); });
}
