#pragma once
// The window toolkit's ActiveX host: windows of the class that dialog
// templates name for hosted controls create the control whose CLSID (in
// braces) is their text and keep it active in their client area. A control
// that cannot be created leaves an empty window.

#include <windows.h>

bool AxHostInit();

// Asks the control hosted in the window for an interface; fails when the
// window hosts none.
HRESULT AxGetControl(HWND host, REFIID iid, void** out);
