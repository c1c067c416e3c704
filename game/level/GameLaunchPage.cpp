// Forwarding from the launch page to the in-game mode it holds.
#include "game/level/GameLaunchPage.h"

#include <new>

#include "game/level/GameWorld.h"
#include "game/level/InGameMode.h"
#include "game/shell/SaveFiles.h"

GameLaunchPage::~GameLaunchPage()
{
    exit();
}

int GameLaunchPage::enter()
{
    exit();
    m_inGame = new (std::nothrow) InGameMode();
    if (!m_inGame || !m_inGame->world()) {
        exit();
        return 1;
    }
    return m_inGame->enter();
}

void GameLaunchPage::exit()
{
    if (InGameMode* inGame = m_inGame) {
        m_inGame = nullptr;
        inGame->exit();
        delete inGame;
    }
}

int GameLaunchPage::handleEvent(uint32_t id, uint32_t a, uint32_t b)
{
    return m_inGame ? m_inGame->handleEvent(id, a, b) : 0;
}

int GameLaunchPage::update(uint32_t ms)
{
    return m_inGame ? m_inGame->update(ms) : 0;
}

int GameLaunchPage::paint()
{
    return m_inGame ? m_inGame->paint() : 0;
}

int GameLaunchPage::saveGameFlagged()
{
    GameWorld* world = m_inGame ? m_inGame->world() : nullptr;
    if (world && world->m_progress)
        world->m_progress->stage();
    return ::saveGameFlagged();
}
