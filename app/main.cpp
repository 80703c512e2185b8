#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int showCmd)
{
    return RunLauncher(::GetCommandLineW(), showCmd);
}
