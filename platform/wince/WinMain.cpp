#include "platform/wince/WinMain.h"

#include "platform/host/HostAygShell.h"
#include "platform/wince/PlatformApp.h"

#include <new>

LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformAppBase* app = getPlatformApp();
    if (app && app->handleMessage(window, message, wParam, lParam))
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    aygshellOrdinal9();
    if (HWND running = FindWindowW(kWindowTitle, kWindowTitle)) {
        SetForegroundWindow(running);
        return 0;
    }

    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResourceId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kWindowTitle;
    if (!RegisterClassW(&windowClass)) {
        MessageBoxW(nullptr, u"Error Registering wndClass", kWindowTitle, MB_ICONERROR);
        return 1;
    }

    int result = 1;
    if (PlatformApp* app = new (std::nothrow) PlatformApp(instance)) {
        result = app->run();
        delete app;
    }
    UnregisterClassW(kWindowTitle, instance);
    return result;
}
