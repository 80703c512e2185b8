#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCmd)
{
    return RunLauncher(instance, ::GetCommandLineW(), showCmd);
}
