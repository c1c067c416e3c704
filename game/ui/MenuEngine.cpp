// Screen changes of the menu engine.
#include "game/ui/MenuEngine.h"

void MenuEngine::setState(uint32_t screenId, int32_t selection, int32_t /*push*/)
{
    m_screenId = screenId;
    m_selection = selection;
    m_open = 1;
}
