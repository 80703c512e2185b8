#pragma once
// The player's language choice, kept under the game key.

#include <windows.h>

// The language of the stored code: Russian when none is stored, the first
// table row when the code names no row.
WORD ReadStoredLanguage();
// Stores the code of the current language's row.
void StoreLanguage();
