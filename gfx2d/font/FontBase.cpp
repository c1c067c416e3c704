// Character classes shared by every font.
#include "gfx2d/font/FontBase.h"

int FontBase::charClass(char16_t c)
{
    switch (c) {
    case 0: return CharClass::Nul;
    case 32: return CharClass::Space;
    case 9: return CharClass::Tab;
    case 10: return CharClass::Newline;
    default: return CharClass::Other;
    }
}
