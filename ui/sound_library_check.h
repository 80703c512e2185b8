#pragma once
#include <windows.h>

// Tries to create the XACT audio engine the game plays its sound with. When
// it cannot be made, offers the DirectX download page in a message box owned
// by `owner`; nothing else depends on the answer.
void CheckSoundLibrary(HWND owner);
