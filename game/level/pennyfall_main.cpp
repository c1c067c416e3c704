// The program's entry: installs the game into the platform and runs it.
#include "game/level/GameInstall.h"
#include "platform/wince/WinMain.h"

int main()
{
    installGame();
    return WinMain(nullptr, nullptr, nullptr, 0);
}
